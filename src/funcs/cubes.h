// Cubes centred on the origin of the current frame, with GLUT's faces and
// normals. Every cube of the show goes through here, so the way they are
// drawn can change in one place.
#pragma once

void solidCube(double size);
void wireCube(double size);

// The outline wireCube draws, as separate segments in its order: six faces
// of four edges, two corners each. Fills out and returns the 48 corners.
int cubeEdgeSegments(double size, float out[48][3]);

// Face f (0 to 5) of that outline: its four corners, counter-clockwise
// seen from outside, and its outward normal.
void cubeFace(double size, int f, float corners[4][3], float normal[3]);
