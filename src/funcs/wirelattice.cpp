// A cubic lattice of wire cubes through one small client array.
#include "funcs/wirelattice.h"

#include <GL/glew.h>

#include "funcs/cubes.h"

void wireCubeLattice(float from, float step, float to, double size) {
  float edges[48][3];
  const int n = cubeEdgeSegments(size, edges);
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
