// Cubes centred on the origin of the current frame, with GLUT's faces and
// normals. Every cube of the show goes through here, so the way they are
// drawn can change in one place.
#pragma once

void solidCube(double size);
void wireCube(double size);

// wireCube draws six faces of four edges. Face f (0 to 5): its four
// corners, counter-clockwise seen from outside, and its outward normal.
void cubeFace(double size, int f, float corners[4][3], float normal[3]);

// The twelve edges of wireCube's outline, each once, in the order the outline
// first draws them: every edge borders two faces, and the second time it is
// drawn it lies at the very depth of the first and fails the depth test,
// so drawing it once shows the same. Fills out with 24 corners and faceOf
// with the face each edge is first drawn for; returns 24.
int cubeEdges(double size, float out[24][3], int faceOf[12]);
