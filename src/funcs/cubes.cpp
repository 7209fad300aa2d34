// Cubes drawn by hand with GLUT's own geometry: the same corners, face
// order, normals, triangle split and vertex order as freeglut's solid and
// wire cube, so the pixels do not change, at a fraction of the cost per
// call (no client-array set-up, no allocation for sizes other than 1).
#include "funcs/cubes.h"

#include <GL/glew.h>

namespace {

// Corners of the unit cube and the six faces as quads of corner indices,
// counter-clockwise seen from outside, each with its outward normal.
const GLfloat corner[8][3] = {
    {.5f, .5f, .5f},   {-.5f, .5f, .5f},  {-.5f, -.5f, .5f}, {.5f, -.5f, .5f},
    {.5f, -.5f, -.5f}, {.5f, .5f, -.5f},  {-.5f, .5f, -.5f}, {-.5f, -.5f, -.5f},
};
const GLfloat faceNormal[6][3] = {
    {0.0f, 0.0f, 1.0f},  {1.0f, 0.0f, 0.0f},  {0.0f, 1.0f, 0.0f},
    {-1.0f, 0.0f, 0.0f}, {0.0f, -1.0f, 0.0f}, {0.0f, 0.0f, -1.0f},
};
const unsigned char face[6][4] = {
    {0, 1, 2, 3}, {0, 3, 4, 5}, {0, 5, 6, 1}, {1, 6, 7, 2}, {7, 4, 3, 2}, {4, 7, 6, 5},
};
// Each quad as two triangles: (0, 1, 2) and (0, 2, 3).
const unsigned char split[6] = {0, 1, 2, 0, 2, 3};

// GLUT scales the corners in single precision, size first.
void scaledCorners(double size, GLfloat out[8][3]) {
  const GLfloat s = (GLfloat)size;
  for (int i = 0; i < 8; ++i)
    for (int c = 0; c < 3; ++c) out[i][c] = s * corner[i][c];
}

}  // namespace

void solidCube(double size) {
  GLfloat v[8][3];
  scaledCorners(size, v);
  // GLUT draws from vertex arrays, which leave the current normal alone;
  // immediate mode leaves the last face's normal behind, which would light
  // anything drawn later without a normal of its own differently.
  GLfloat keptNormal[3];
  glGetFloatv(GL_CURRENT_NORMAL, keptNormal);
  glBegin(GL_TRIANGLES);
  for (int f = 0; f < 6; ++f)
    for (int k = 0; k < 6; ++k) {
      glNormal3fv(faceNormal[f]);
      glVertex3fv(v[face[f][split[k]]]);
    }
  glEnd();
  glNormal3fv(keptNormal);
}

void wireCube(double size) {
  GLfloat v[8][3];
  scaledCorners(size, v);
  GLfloat keptNormal[3];
  glGetFloatv(GL_CURRENT_NORMAL, keptNormal);
  for (int f = 0; f < 6; ++f) {
    glBegin(GL_LINE_LOOP);
    for (int k = 0; k < 4; ++k) {
      glNormal3fv(faceNormal[f]);
      glVertex3fv(v[face[f][k]]);
    }
    glEnd();
  }
  glNormal3fv(keptNormal);
}
