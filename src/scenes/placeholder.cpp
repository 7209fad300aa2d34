#include "scenes/placeholder.h"

#include <GL/glew.h>

#include "funcs/quads.h"
#include "main/driver.h"

void drawPlaceholder(int scene, float timer) {
  float ink = gColor > 0.5f ? 0.1f : 0.9f;
  glColor4f(ink, ink, ink, 1);
  drawCircle(0, 0, 0, 12.0f + float(scene));
  setLight(1);
  glPushMatrix();
  glRotatef(timer * 40.0f, 0, 1, 0);
  glRotatef(15.0f * scene, 1, 0, 0);
  glScalef(0.6f, 0.6f, 0.6f);
  glColor4f(0.3f + 0.05f * scene, 0.6f, 1.0f - 0.05f * scene, 1);
  glCallList(plane);
  glPopMatrix();
  setLight(0);
}
