// Scene 11: the title card. The title fades in on white while the toy
// plane shoots away from the camera, tumbling, until it is gone.
#include <GL/glew.h>

#include "funcs/text.h"
#include "main/driver.h"
#include "scenes/scenes.h"

void scene11() {
  static float timer = 0;
  timer = sceneClock();
  setLight(0);
  gColor = 1.0f;
  // Down from scene 10's 0.94 in eight frames; 0.14 holds to the end.
  if (mblur > 0.2f) mblur = float(mblur - 0.1);

  beginOffscreen(false);
  glPushMatrix();
  glColor4f(0, 0, 0, timer * 0.2);
  drawColorText("vy-01:the zembrit", -10.0f, 0, 0, 0.5f);
  glPopMatrix();

  glPushMatrix();
  setLight(1);
  // 10 units before the eye at first, then away along z as 40 - 25 t^2:
  // past the far plane before 3 s.
  glPushMatrix();
  glRotatef(timer * 10.0, 1, 0, 0);
  glTranslatef(0, 5.0f, timer * -25.0 * timer + 40.0);
  glRotatef(90, 0, 1, 0);
  glRotatef(timer * 20.0, 1, 0, 0);
  glColor4f(0.5f, 0.5f, 0.5f, 1);
  glScalef(0.3f, 0.3f, 0.3f);
  if (drawingFrame) glCallList(plane);
  glPopMatrix();
  glPopMatrix();

  composite(0, false);

  if (timer > 5.0f) handOver(timer);
}
