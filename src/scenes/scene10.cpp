// Scene 10: the credits, seen from inside two huge turning wire spheres
// with the toy plane rocking in the middle; after 20 s everything shrinks
// away.
#include <GL/glew.h>
#include <GL/glut.h>

#include <cmath>

#include "funcs/text.h"
#include "main/driver.h"
#include "noise.h"
#include "scenes/scenes.h"

// Common size of both spheres and the plane. It steps down past 0 to
// -0.0099993 and stays there: the spheres then come out as small inside-out
// ones of radius about -1, and the plane at a scale of about -0.003.
static float spherescale = 1.0f;

void scene10() {
  static float timer = 0;
  timer = sceneClock();
  setLight(0);
  gColor = 1.0f;
  // Scene 9's hand-over blur fades out over 91 frames. The last step would
  // take it just below 0 (-0.0099995): the accumulation buffer would then
  // hold 1.01 x a white picture, past its range, and show it black. Rest at 0.
  if (mblur > 0.0f) mblur = float(mblur - 0.01);
  if (mblur < 0.0f) mblur = 0.0f;

  beginOffscreen(false);
  glPushMatrix();
  setLight(1);

  // Radius 100 encloses the camera: its far side is the backdrop.
  glPushMatrix();
  glColor4f(0, 0, 0, 0.5f);
  glRotatef(90, 1, 0, 1);
  glRotatef(timer * -10.0, 0, 0, 1);
  if (drawingFrame && spherescale != 0) glutWireSphere(spherescale * 100.0, 50, 50);
  glPopMatrix();

  glPushMatrix();
  glRotatef(sin(timer * 0.5) * 45.0, 1, 0, 0);
  glTranslatef(0, 0, sin(2 * timer) * 10.0 - 10.0);
  glColor4f(1, 1, 1, 1);
  float k = float(spherescale * 0.3);
  glScalef(k, k, k);
  if (drawingFrame) glCallList(plane);
  glPopMatrix();

  glColor4f(1, 1, 1, 1);
  // Grey and opacity flicker together; at or below 0 the lines vanish.
  float n = perlin_2D_noise(timer * 10.0, 0.0, 42);
  glColor4f(n, n, n, n);
  drawColorText("code:brenik", timer * -10.0 + 60.0, 10.0f, 0, 0.6f);
  drawColorText("music:brenik", timer * -10.0 + 100.0, -10.0f, 0, 0.6f);
  drawColorText("ideas:_vorni", timer * -10.0 + 120.0, 0.0f, 0, 0.6f);

  glPushMatrix();
  glColor4f(0, 0, 0, 0.8f);
  glRotatef(90, 1, 1, 0);
  glRotatef(timer * -9.0, 0, 0, 1);
  if (drawingFrame && spherescale != 0) glutWireSphere(spherescale * 110.0, 50, 50);
  glPopMatrix();
  glPopMatrix();

  composite(0, false);

  if (timer > 20.0f && spherescale > 0.0f) spherescale = float(spherescale - 0.01);
  if (timer > 25.0f) {
    handOver(timer);
    mblur = 0.94f;
  }
}
