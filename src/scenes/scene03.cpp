// Scene 3: the black toy plane bobbing over two noise silhouettes on white,
// a wire sphere turning round the view, the band and the scroller strip.
// After 15.5 s the picture inverts, the landscape sinks and the view swings
// a quarter turn; then scene 4 carries on with the same clock.
#include <GL/glew.h>
#include <GL/glut.h>

#include <cmath>

#include "funcs/bands.h"
#include "funcs/quads.h"
#include "main/driver.h"
#include "noise.h"
#include "scenes/scenes.h"

static const float landHalfWidth = 12;

// One silhouette: a filled outline whose top is scrolling octave noise.
static void silhouette(float cornerZ, float speed, int seed, double base, float unz, float timer) {
  if (!drawingFrame) return;
  glBegin(GL_POLYGON);
  glVertex3f(-landHalfWidth, -25, cornerZ);
  for (float x = -landHalfWidth; x < landHalfWidth; x = float(x + 0.1))
    glVertex3f(x, float(0.4 * perlin_2D_noise(20 + x + speed * timer, 0, seed) - base + unz), 30);
  glVertex3f(landHalfWidth, -25, cornerZ);
  glEnd();
}

void scene03() {
  static float timer = 0;
  static float bigRotate = 0;
  static float hopup = 10;
  static float planePos_x = -25;
  static float unz_timer = 0;
  static float unz = 0;

  // The inversion and the swing go by last frame's clock.
  if (timer > 15.5f && gColor > 0) gColor = float(gColor - 0.06);
  if (timer > 15.5f && bigRotate < 90) bigRotate = bigRotate + 1;
  mblur = 0;
  glClearColor(gColor, gColor, gColor, 1);  // for the next frame's clear
  timer = sceneClock();

  // Straight onto the window, inside the swing; scene 4 inherits the turn
  // in the hand-over frame.
  setLight(1);
  glRotatef(bigRotate, 0, 1, 0);

  // Bobbing starts from phase 0 at the last frame at or before 1.6 s.
  if (timer > 1.6)
    unz = float(0.5 * std::sin((timer - unz_timer) * 14.736842105263158));
  else
    unz_timer = timer;
  // Once the landscape is up the plane flies in.
  if (planePos_x < -10 && hopup < 0.1) planePos_x = float(planePos_x + 1.5);
  if (hopup > 0 && timer < 5) hopup = hopup - 1;
  if (timer > 15.5f) hopup = hopup + 1;

  if (gColor > 0) {
    glPushMatrix();
    glColor4f(0, 0, 0, 1);
    glRotatef(90, 1, 0, 0);
    glRotatef(-10 * timer, 0, 0, 1);
    if (drawingFrame) glutWireSphere(50, 20, 10);
    glPopMatrix();
  }

  drawBand(0, 0, 0, timer);

  // The silhouettes carry no normals of their own and the light is on:
  // face them to the light, so they show their greys and not whatever
  // normal was drawn last.
  if (hopup < 20) {
    glNormal3f(0, 0, 1);
    glPushMatrix();
    glColor4f(0, 0, 0, 1);
    glTranslatef(0, -hopup, 0);
    silhouette(30, 13, 1337, 5.0, unz, timer);
    glPopMatrix();
    // Grey on white, white on black.
    float c = 1 - 0.5f * gColor;
    glPushMatrix();
    glColor4f(c, c, c, 1);
    glTranslatef(0, -hopup, 0);
    silhouette(20, 8, 42, 2.0, unz, timer);
    glPopMatrix();
  }

  glPushMatrix();
  glColor4f(1 - gColor, 1 - gColor, 1 - gColor, 1);
  glTranslatef(planePos_x - 6, float(2 * std::sin(double(2 * timer)) + 3), 0);
  glRotatef(float(4 * std::sin(double(-2 * timer))), 0, 0, 1);
  glScalef(0.2f, 0.2f, 0.2f);
  if (drawingFrame) glCallList(plane);
  glPopMatrix();

  glPushMatrix();
  glColor4f(1, 1, 1, 1);
  glRotatef(180, 0, 1, 0);
  draw2DTexture(10 * timer - 100, float(std::sin(double(timer))), 0, 64, 2, scrollerTex);
  glPopMatrix();

  if (bigRotate == 90) handOver(timer, true);
}
