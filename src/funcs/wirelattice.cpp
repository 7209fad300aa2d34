// A cubic lattice of wire cubes as one array of segments, cube by cube in
// the loops' order, each edge once, kept in a buffer object: one draw a
// frame instead of a matrix and a draw per cube.
#include "funcs/wirelattice.h"

#include <GL/glew.h>

#include <vector>

#include "funcs/cubes.h"
#include "main/driver.h"

void wireCubeLattice(float from, float step, float to, double size) {
  static GLuint buffer = 0;
  static GLsizei count = 0;
  static float builtFrom, builtStep, builtTo;
  static double builtSize;
  if (!drawingFrame) return;
  if (!buffer || from != builtFrom || step != builtStep || to != builtTo || size != builtSize) {
    float edges[24][3];
    int faceOf[12];
    const int n = cubeEdges(size, edges, faceOf);
    std::vector<float> v;
    for (float x = from; x < to; x += step)
      for (float y = from; y < to; y += step)
        for (float z = from; z < to; z += step)
          for (int k = 0; k < n; k++) {
            v.push_back(x + edges[k][0]);
            v.push_back(y + edges[k][1]);
            v.push_back(z + edges[k][2]);
          }
    if (!buffer) glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(v.size() * sizeof(float)), v.data(), GL_STATIC_DRAW);
    count = GLsizei(v.size() / 3);
    builtFrom = from;
    builtStep = step;
    builtTo = to;
    builtSize = size;
  }
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, nullptr);
  glDrawArrays(GL_LINES, 0, count);
  glDisableClientState(GL_VERTEX_ARRAY);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
}
