// Immediate-mode drawing of a model read by glmReadOBJ.
//
// The program compiles this once into a display list, so the only state it
// leaves behind is the current normal of the last corner.

// The preconditions below guard against misuse in release builds too.
#undef NDEBUG
#include "glm/glm.h"

#include <GL/gl.h>

#include <cassert>
#include <cstdio>

void glmDraw(GlmModel *model, unsigned mode) {
  assert(model);
  assert(model->vertices);

  if ((mode & GLM_SMOOTH) && !model->normals) {
    puts("glmDraw() warning: smooth render mode requested with no normals "
         "defined.");
    mode &= ~GLM_SMOOTH;
  }
  const bool smooth = (mode & GLM_SMOOTH) != 0;

  // The reader has checked every index against its array, and an index
  // kind a face left out is 0, whose entry is zeros.
  for (const GlmGroup *group = model->groups; group; group = group->next) {
    glBegin(GL_TRIANGLES);
    for (unsigned i = 0; i < group->trianglecount; ++i) {
      const GlmTriangle &t = model->triangles[group->triangles[i]];
      for (int c = 0; c < 3; ++c) {
        if (smooth) glNormal3fv(&model->normals[3 * size_t{t.normalindex[c]}]);
        glVertex3fv(&model->vertices[3 * size_t{t.vertexindex[c]}]);
      }
    }
    glEnd();
  }
}
