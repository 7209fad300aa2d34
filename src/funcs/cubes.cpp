// Cubes drawn by hand with GLUT's own geometry: the same corners, face
// order, normals, triangle split and vertex order as freeglut's solid and
// wire cube, so the pixels do not change. Each size's arrays are built
// once, not per call, and nothing is allocated.
#include "funcs/cubes.h"

#include <GL/glew.h>

#include "main/driver.h"

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

// A cube's vertices and normals in drawing order, kept for the last size
// asked for (runs of cubes share one): per corners to a face, taken in the
// given order.
struct CubeArrays {
  double size = -1;
  GLfloat vertex[36][3], normal[36][3];
};

const CubeArrays &cubeArrays(CubeArrays &a, double size, const unsigned char *order, int per) {
  if (size != a.size) {
    GLfloat v[8][3];
    scaledCorners(size, v);
    for (int f = 0; f < 6; ++f)
      for (int k = 0; k < per; ++k)
        for (int c = 0; c < 3; ++c) {
          a.vertex[f * per + k][c] = v[face[f][order[k]]][c];
          a.normal[f * per + k][c] = faceNormal[f][c];
        }
    a.size = size;
  }
  return a;
}

// Drawn from client arrays, as GLUT does: fewer calls than immediate mode,
// and the current normal is left as it was.
void drawArrays(const CubeArrays &a, GLenum mode, const GLint *first, const GLsizei *count,
                GLsizei draws) {
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, a.vertex);
  glNormalPointer(GL_FLOAT, 0, a.normal);
  glMultiDrawArrays(mode, first, count, draws);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace

void solidCube(double size) {
  if (!drawingFrame) return;
  static CubeArrays triangles;
  static const GLint first[1] = {0};
  static const GLsizei count[1] = {36};
  drawArrays(cubeArrays(triangles, size, split, 6), GL_TRIANGLES, first, count, 1);
}

void wireCube(double size) {
  if (!drawingFrame) return;
  // Six loops of four, each face's corners as they stand.
  static CubeArrays loops;
  static const unsigned char round[4] = {0, 1, 2, 3};
  static const GLint first[6] = {0, 4, 8, 12, 16, 20};
  static const GLsizei count[6] = {4, 4, 4, 4, 4, 4};
  drawArrays(cubeArrays(loops, size, round, 4), GL_LINE_LOOP, first, count, 6);
}

void cubeFace(double size, int f, float corners[4][3], float normal[3]) {
  GLfloat v[8][3];
  scaledCorners(size, v);
  for (int k = 0; k < 4; k++)
    for (int c = 0; c < 3; c++) corners[k][c] = v[face[f][k]][c];
  for (int c = 0; c < 3; c++) normal[c] = faceNormal[f][c];
}

int cubeEdges(double size, float out[24][3], int faceOf[12]) {
  GLfloat v[8][3];
  scaledCorners(size, v);
  bool seen[8][8] = {};
  int n = 0;
  for (int f = 0; f < 6; f++)
    for (int e = 0; e < 4; e++) {
      const int a = face[f][e], b = face[f][(e + 1) % 4];
      if (seen[a][b]) continue;
      seen[a][b] = seen[b][a] = true;
      for (int c = 0; c < 3; c++) {
        out[2 * n][c] = v[a][c];
        out[2 * n + 1][c] = v[b][c];
      }
      faceOf[n++] = f;
    }
  return 2 * n;
}
