// Scene 2: the title slides away, black rings burst from the centre, the
// box lattice rushes in and explodes, the toy plane flies in, and the
// background flashes and blinks; boxes and plane are its inverse.
#include <GL/glew.h>

#include "boxsplotion.h"
#include "funcs/quads.h"
#include "funcs/text.h"
#include "main/driver.h"
#include "scenes/scenes.h"

static float timer = 0;
static float textfade = 0;
static float textscale = 0.4f;
static float r = 0.1f;
static int explosion = 0;
static float oldtimer = 0;
static float pz = -150.0f;
static float _angle = 0;
static float tsize = 0;

// Four white flashes, then black from 4.5 s, white from 5 s, two black
// blinks near the end. Steps of 0.1 a frame in between.
static void backgroundLevel(float t) {
  float &g = gColor;
  if (t > 3.4 && t < 3.5f) g = 1.0f;
  if (t > 3.6 && t < 3.65) g = 1.0f;
  if (t > 4.0f && t < 4.1) g = 1.0f;
  if (t > 4.2 && t < 4.3) g = 1.0f;
  if (t > 13.6 && t < 13.65) g = 0;
  if (t > 13.9 && t < 14.0f) g = 0;
  if (g > 0 && t < 4.5f) g = float(g - 0.1);
  if (t > 10.2 && g < 1.0) g = float(g + 0.1);
  if (t > 5.0f && t < 10.0f && g < 1.0) g = float(g + 0.1);
}

static void title(float t) {
  if (t < 4.9) {
    if (textscale <= 0) return;
  } else if (textscale > 0) {
    // Shrinks to nothing in 8 frames, then goes on being drawn that small.
    textscale = float(textscale - 0.05);
  }
  glPushMatrix();
  glScalef(textscale, textscale, textscale);
  drawText("#the zembrit", -2 * t - 15, 0, 0, textfade);
  glPopMatrix();
}

static void rings(float t) {
  glColor4f(0, 0, 0, 1);
  r = r + r / 4;
  drawCircle(0, 0, 0, r);
  drawCircle(0, 0, 0, r + 1);
  if (t > 1.7 && t < 1.8) r = 0.1f;
  if (t > 3.3 && t < 3.4) r = 0.1f;
  if (t > 4.9 && t < 5.3) r = 0.1f;
}

// Rushes in from behind the camera and waits at -40; once set off it comes
// towards the camera at 10 units a second while it explodes.
static void boxLattice(float t) {
  const float g = gColor;
  const float z0 = 60 - 20 * t;
  glPushMatrix();
  if (z0 > -40)
    glTranslatef(0, 0, z0);
  else if (!explosion)
    glTranslatef(0, 0, -40);
  else
    glTranslatef(0, 0, 10 * (t - oldtimer) - 40);
  glRotatef(10 * t, 1, 1, 0);
  glColor4f(1 - g, 1 - g, 1 - g, 1);
  boxsplotion(0, 0, 0, explosion);
  glPopMatrix();
  if (!explosion) oldtimer = t;
}

// The turn about y is left on the matrix on purpose: it swings the whole
// flight path.
static void toyPlane(float t) {
  const float g = gColor;
  pz = float(pz + 1.0);
  _angle = float(_angle + 0.25);
  glRotatef(_angle, 0, 1, 0);
  if (tsize < 2.0f) tsize = float(tsize + 0.01);
  glPushMatrix();
  glColor4f(1 - g, 1 - g, 1 - g, 1);
  glTranslatef(0, 0, pz);
  glRotatef(-90, 0, 1, 0);
  glRotatef(10 * t, 1, 0, 0);
  glScalef(tsize, tsize, tsize);
  if (drawingFrame) glCallList(plane);
  glPopMatrix();
}

void scene02() {
  beginOffscreen(false);
  timer = sceneClock();
  const float t = timer;

  backgroundLevel(t);
  setLight(1);
  if (textfade < 1.0) textfade = float(textfade + 0.1);
  title(t);
  rings(t);
  if (t > 6.0f && t < 6.2 && t > 5.1) explosion = 1;
  boxLattice(t);
  if (explosion == 1 && t < 12.0f) toyPlane(t);

  if (t > 15.4) {
    handOver(t);
    gColor = 1.0f;
  }
  composite(1, true);
}
