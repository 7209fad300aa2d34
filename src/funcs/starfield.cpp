// A field of 400 tumbling cubes flying at the viewer.
#include "funcs/starfield.h"

#include <GL/glew.h>

#include "funcs/cubebatch.h"
#include "main/driver.h"
#include "noise.h"

static float position[20][20][3];

const float (*starTable())[20][3] { return position; }

void drawStarfield(float x, float y, float z, float alpha) {
  static int loaded = 0;
  if (!loaded) {
    // Same field on every run: positions come from the noise only.
    for (int i = 0; i < 20; i++)
      for (int j = 0; j < 20; j++) {
        position[i][j][0] = perlin_2D_noise(float(i), float(j), 42) * 20.0f;
        position[i][j][1] = perlin_2D_noise(0.0f, float(j), i) * 20.0f;
        position[i][j][2] = perlin_2D_noise(float(i), 0.0f, j) * 50.0f;
      }
    loaded = 1;
    return;
  }
  glPushMatrix();
  glTranslatef(x, y, z);
  const float colour[4] = {1, 1, 1, alpha};
  glColor4fv(colour);
  for (int i = 0; i < 20; i++)
    for (int j = 0; j < 20; j++) {
      float *s = position[i][j];
      if (drawingFrame) {
        CubeFrame f = cubeFrame();
        frameTranslate(f, s[0], s[1], s[2]);
        frameRotate(f, float(s[2] * 90.0), 1, 1, 0);
        batchSolidCube(f, 0.5f, colour);
      }
      // Drawn at the old depth, then moved; past 40 it wraps to the back.
      s[2] = float(s[2] + 2.0);
      if (s[2] > 40.0f) s[2] = float(s[2] - 50.0);
    }
  flushCubeBatch(alpha >= 1.0f);
  glPopMatrix();
}
