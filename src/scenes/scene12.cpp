// Scene 12: the end. The plane falls through the title, the title shakes
// and settles, the plane rises again under a ring, the picture fades to
// black with the title turning white, and the show ends at 30 s.
#include <GL/glew.h>
#include <GL/glut.h>

#include <cstdlib>

#include "funcs/text.h"
#include "main/driver.h"
#include "noise.h"
#include "scenes/scenes.h"

static float shake = 0;        // the title's jitter sample
static float calmdown = 2.0f;  // its amplitude, down to 0 over 20 frames

static void fallingPlane(float timer) {
  glPushMatrix();
  glTranslatef(0, timer * -30.0 + 30.0, 0);
  glRotatef(90, 0, 1, 0);
  glRotatef(timer * 50.0, 1, 1, 1);
  glColor4f(0.5f, 0.5f, 0.5f, 1);
  glScalef(0.3f, 0.3f, 0.3f);
  if (drawingFrame) glCallList(plane);
  glPopMatrix();
}

// The plane and its ring darken with the background.
static void risingPlane(float timer) {
  glPushMatrix();
  glTranslatef(0, timer * 10.0 - 60.0, -10.0f);
  glRotatef(timer * 20.0, 0, 1, 0);

  glPushMatrix();
  glColor4f(gColor, gColor, gColor * 0.8, 1);
  glTranslatef(2.0f, 4.0f, 0);
  glRotatef(90, 1, 0, 0);
  glScalef(0.15f, 0.15f, 0.15f);
  if (drawingFrame) glutSolidTorus(1.0, 20.0, 8, 40);
  glPopMatrix();

  glColor4f(gColor, gColor, gColor, 1);
  glScalef(0.3f, 0.3f, 0.3f);
  if (drawingFrame) glCallList(plane);
  glPopMatrix();
}

void scene12() {
  static float timer = 0;
  timer = sceneClock();
  setLight(0);
  beginOffscreen(false);

  // The title in the inverse of the background, offset along the diagonal
  // by the jitter of the frame before.
  glPushMatrix();
  glColor4f(1 - gColor, 1 - gColor, 1 - gColor, 1);
  float d = shake * calmdown;
  glTranslatef(d, d, 0);
  drawColorText("vy-01:the zembrit", -10.0f, 0, 0, 0.5f);
  glPopMatrix();

  if (timer > 2.0f && calmdown > 0.0f) {
    shake = perlin_2D_noise(timer * 10.0, timer * 50.0, 1337);
    calmdown = float(calmdown - 0.1);
  }
  // White to black in 101 frames; it comes to rest just below 0.
  if (timer > 5.0f && gColor > 0.0f) gColor = float(gColor - 0.01);

  glPushMatrix();
  setLight(1);
  if (timer < 2.0f) fallingPlane(timer);
  if (timer > 3.0f && timer < 10.0f) risingPlane(timer);
  glPopMatrix();

  composite(0, false);

  // The last frame is neither blurred, captured nor shown.
  if (timer > 30.0f) {
    reportLastScene();
    exit(0);
  }
}
