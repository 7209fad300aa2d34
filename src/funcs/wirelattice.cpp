// A cubic lattice of wire cubes through one small client array.
#include "funcs/wirelattice.h"

#include <GL/glew.h>

#include <initializer_list>

// The unit cube's corners and its faces as GLUT outlines them, each face a
// closed loop of four corners.
static const float corner[8][3] = {{.5f, .5f, .5f},   {-.5f, .5f, .5f}, {-.5f, -.5f, .5f},
                                   {.5f, -.5f, .5f},  {.5f, -.5f, -.5f}, {.5f, .5f, -.5f},
                                   {-.5f, .5f, -.5f}, {-.5f, -.5f, -.5f}};
static const int face[6][4] = {{0, 1, 2, 3}, {0, 3, 4, 5}, {0, 5, 6, 1},
                               {1, 6, 7, 2}, {7, 4, 3, 2}, {4, 7, 6, 5}};

void wireCubeLattice(float from, float step, float to, double size) {
  // The loops as separate segments, in drawing order: 6 faces x 4 edges.
  float edges[6 * 4 * 2][3];
  int n = 0;
  for (auto &f : face)
    for (int e = 0; e < 4; e++)
      for (int c : {f[e], f[(e + 1) % 4]}) {
        for (int a = 0; a < 3; a++) edges[n][a] = float(size) * corner[c][a];
        n++;
      }
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, edges);
  // Translating per cube keeps the vertex arithmetic of one cube at a time;
  // folding the offsets into one big array moves some edges by a pixel.
  for (float x = from; x < to; x += step)
    for (float y = from; y < to; y += step)
      for (float z = from; z < to; z += step) {
        glPushMatrix();
        glTranslatef(x, y, z);
        glDrawArrays(GL_LINES, 0, n);
        glPopMatrix();
      }
  glDisableClientState(GL_VERTEX_ARRAY);
}
