// Scene 1: the title. The computer drifts through, the presenting line and
// a black cube show only as holes, the wire lattice flies in, the point
// waves grow, the antenna sends four bursts of rings, then all fades out.
#include <GL/glew.h>

#include <cmath>

#include "funcs/cubes.h"
#include "funcs/quads.h"
#include "funcs/text.h"
#include "funcs/wirelattice.h"
#include "main/driver.h"
#include "scenes/scenes.h"

static float timer = 0;
static float cube_fade = 0.01f;
static float cube_distance = -100.0f;
static float sine_amp = 0;
static float radius = 0;
static float towercolor = 0;
static float fade_queue1 = 0;

static void pointWaves(float t) {
  const double A = sine_amp;
  sine_amp = float(sine_amp + 0.005);
  if (!drawingFrame) return;
  glBegin(GL_POINTS);
  glColor4f(1, 1, 1, 1);
  for (float x = -30.0f; x < 30.0f; x = float(x + 0.1)) {
    glColor4f(1, 1, 1, 1);
    glVertex3f(x, float(A * std::sin(double(25 * t + x)) - 14), 0);
    glVertex3f(x, float(A * std::sin(double(2 + x + 30 * t)) - 14), 0);
    glColor4f(0.6f, 0.6f, 0.6f, 1);
    glVertex3f(10 + x, float(A * std::cos(double(2 + x + 30 * t)) + x), 0);
    glVertex3f(x, float(10 - A * std::sin(double(2 + x + t))), 0);
    glVertex3f(x, float(std::cos(std::sin(0.2 * t) * x + 0.2 * t + 1)), 0);
  }
  glEnd();
}

static void antenna(float t) {
  glPushMatrix();
  glRotatef(-45, 0, 0, 1);
  glColor4f(towercolor, towercolor, towercolor, 1);
  draw2DTexture(-5, -30, -1, 5, 10, antennaTex);
  glPushMatrix();
  glTranslatef(-5, -18, 0);
  // Two rings one unit apart, growing with the square of the time since
  // the last burst.
  drawCircle(0, 0, 0, radius * radius);
  drawCircle(0, 0, 0, radius * radius - 1);
  glPopMatrix();
  radius = float(radius + 0.1);
  if (t > 10.1 && t < 10.2) radius = 0;
  if (t > 11.8 && t < 11.9) radius = 0;
  if (t > 13.3 && t < 13.4) radius = 0;
  if (t > 15.0f && t < 15.1) radius = 0;
  glPopMatrix();
  if (towercolor < 0.4) towercolor = float(towercolor + 0.05);
}

void scene01() {
  gColor = 0.1f;
  timer = sceneClock();
  const float t = timer;
  beginOffscreen(false);

  // The picture is opaque and drawn first: blending would only read the
  // cleared target under it.
  glColor4f(1, 1, 1, 1);
  glDisable(GL_BLEND);
  draw2DTexture(200 - 10 * t, 200 - 20 * t, -100, 400, 400, c64Tex);
  glEnable(GL_BLEND);

  // Drawn with alpha 0: they leave the colour alone and write only depth,
  // so they cut holes in what comes after them further back.
  glPushMatrix();
  glScalef(0.5f, 0.5f, 0.5f);
  drawText("Brenik/pyxlor presents...", 30 - 13 * t, 0, -1, 0);
  glColor4f(0, 0, 0, 0);
  glPushMatrix();
  glRotatef(10 * t, 1, 1, 0);
  wireCube(13.0);
  glPopMatrix();
  glPopMatrix();

  glPushMatrix();
  glTranslatef(-15, 10, -5);
  glRotatef(40 * t, 0, 1, 0);
  glScalef(0.3f, 0.3f, 0.3f);
  glColor4f(1, 1, 1, 0.1f);
  glPolygonMode(GL_FRONT, GL_LINE);
  glPolygonMode(GL_BACK, GL_LINE);
  if (drawingFrame) glCallList(plane);
  glPolygonMode(GL_FRONT, GL_FILL);
  glPolygonMode(GL_BACK, GL_FILL);
  glPopMatrix();

  // The lattice starts 150 units away and comes 0.2 nearer a frame,
  // turning by as many degrees as its distance.
  glPushMatrix();
  if (cube_fade < 0.6) cube_fade = float(cube_fade + 0.01);
  cube_distance = float(cube_distance + 0.2);
  glTranslatef(0, 0, cube_distance);
  glRotatef(cube_distance, 1, 1, 0);
  // 14 x 14 x 14 wire cubes of one grey: the colour is set once.
  glColor4f(cube_fade, cube_fade, cube_fade, 0.8f);
  wireCubeLattice(-10, 1.5f, 10, 0.5);
  glPopMatrix();

  pointWaves(t);

  if (t > 8.5f) antenna(t);

  if (t > 18.0f) {
    fade(fade_queue1, fadeTex);
    fade_queue1 = float(fade_queue1 + 0.012);
    cube_fade = float(cube_fade - 0.011);
    if (t > 24.0f) handOver(t);
  }

  composite(0, true);
}
