// Scene 9: a ribbon of six thousand cubes swings through three nested
// spheres on white, while a message scrolls across the top.
// Every growth here counts frames; the clock only moves things.
#include <GL/glew.h>
#include <GL/glut.h>

#include <cmath>

#include "funcs/cubebatch.h"
#include "funcs/text.h"
#include "main/driver.h"
#include "scenes/scenes.h"

static float in = 0;            // size factor of the spheres
static float cubes = -50.0f;    // x of the ribbon's head
static float cube_start = -30.0f;  // x of the ribbon's tail
static int shrink = 0;          // frames since the ribbon was full

// Cubes one hundredth apart from the tail to the head. Each one is turned
// about the origin by angles of its own x before it is moved out, so the
// whole ribbon sways and coils.
// They are opaque and closed: their far faces are left out.
static void ribbon(float timer) {
  glPushMatrix();
  for (float px = cube_start; drawingFrame && px < cubes; px = float(px + 0.01)) {
    double s = sin(timer + px);
    CubeFrame f = cubeFrame();
    frameRotate(f, float(s * 40.0), 1.0f, 0.1f, 0.5f);
    frameRotate(f, float(sin(px + timer * 0.01) * 90.0), 1, 0, 0);
    frameTranslate(f, px, float(s * 10.0), 0);
    // Blue runs up to 1.9; GL clamps it, we do not.
    const float colour[4] = {0.4f, 0.4f, float((s + 1) * 0.6 + 0.7), 1.0f};
    batchSolidCube(f, 1.0f, colour);
  }
  flushCubeBatch(true);
  // The head runs out to x = 30 (6000 cubes), then the tail follows it.
  if (cubes > 30.0f) shrink++;
  if (shrink == 0)
    cubes = float(cubes + 0.2);
  else
    cube_start = float(cube_start + 0.2);
  glPopMatrix();
}

static void spheres(float timer) {
  glPushMatrix();
  glRotatef(90, 1, 0, 0);
  glColor4f(0, 0, 0, 1);
  glRotatef(timer * 3.0, 1, 0, 1);
  if (drawingFrame) glutWireSphere(in * 20.0, 20, 20);
  glPopMatrix();

  glPushMatrix();
  glRotatef(90, 1, 0, 0);
  glColor4f(0, 0, 0, 1);
  glRotatef(timer * -2.0, 0, 1, 1);
  if (drawingFrame) glutWireSphere(in * 19.0, 20, 20);
  glPopMatrix();

  glPushMatrix();
  glRotatef(90, 1, 0, 0);
  glColor4f(0.5f, 0.5f, 0.5f, 0.2f);
  glRotatef(timer * -2.0, 1, 1, 1);
  if (drawingFrame) glutSolidSphere(in * 15.0, 20, 20);
  glPopMatrix();
}

void scene09() {
  static float timer = 0;
  timer = sceneClock();
  if (in < 1.0f) in = float(in + 0.01);
  // Ease out of scene 8's heavy blur: 0.9 down to 0.39 in 51 frames.
  if (mblur > 0.4f) mblur = float(mblur - 0.01);

  beginOffscreen(true);
  setLight(1);
  ribbon(timer);
  spheres(timer);
  drawText("sry quillomer, just had to steal one of ur spheres... I just don't remember why...     "
           "can u guess what's inside? :D",
           timer * -20.0 + 10.0, 20.0f, -10.0f, 1.0f);
  composite(0, false);

  if (timer > 20.0f) {
    handOver(timer);
    mblur = 0.9f;
  }
}
