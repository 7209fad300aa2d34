// Thousands of cubes in one draw: each cube's frame and colour go into one
// vertex array per flush instead of a matrix, a colour and a draw call each,
// which a software renderer pays for per call. The cubes keep GLUT's
// corners, faces, normals and triangle split.
#pragma once

// A rigid frame (turns and moves only, as glRotatef and glTranslatef make
// them) relative to the modelview current at the flush; column-major as GL.
struct CubeFrame {
  float m[16];
};

CubeFrame cubeFrame();  // the identity
void frameRotate(CubeFrame &f, float angle, float x, float y, float z);
void frameTranslate(CubeFrame &f, float x, float y, float z);

// Adds a cube of the given edge and colour (unclamped, as glColor4f takes
// it), drawn at the next flush after the cubes added before it.
void batchSolidCube(const CubeFrame &f, float size, const float rgba[4]);
void batchWireCube(const CubeFrame &f, float size, const float rgba[4]);

// Draws the solid cubes, then the wire cubes, added since the last flush,
// under the current modelview, and empties the batch. With dropHidden the
// solid cubes' faces turned away from the camera are left out: only for
// closed opaque cubes, whose back faces never show from outside (cubes
// near enough to hold the camera or to be cut by the near plane are drawn
// whole).
void flushCubeBatch(bool dropHidden = false);

