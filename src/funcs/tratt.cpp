// The tratt tower and the city's houses.
#include "funcs/tratt.h"

#include <GL/glew.h>

#include <cmath>

#include "funcs/cubebatch.h"
#include "main/driver.h"

void drawTratt(float x, float y, float z) {
  static float timer = 0;
  timer = timer - 0.1f;
  if (!drawingFrame) return;
  glPushMatrix();
  glTranslatef(x, y, z);
  glRotatef(float(timer * 10.0), 0, 1, 0);
  // The turns accumulate across arms and levels, and only end with the
  // tower.
  CubeFrame turn = cubeFrame();
  for (float a = -10.0f; a < 10.0f; a = float(a + 0.1)) {
    // Negative where the band is off: such cubes are drawn but do not show.
    double w = sin(double(timer) + a);
    CubeFrame f = turn;
    frameTranslate(f, 0, 2 * a, 0);
    const float core[4] = {0.6f, 0.6f, 0.9f, float(w * 0.8)};
    batchWireCube(f, 0.2f, core);
    double up = 0.7 * a;
    const float outer[4] = {0.6f, 0.6f, 1.0f, float(w * 0.8)};
    const float inner[4] = {0.5f, 0.5f, 1.0f, float(w)};
    for (float b = 0; b < 4; b++) {
      frameRotate(turn, float(b * 45.0), 0, 1, 0);
      f = turn;
      frameTranslate(f, float(w + a), float(up * up), 0);
      batchWireCube(f, 0.5f, outer);
      f = turn;
      frameTranslate(f, float(-a - w), float(up * -up), 0);
      batchWireCube(f, 0.5f, inner);
    }
  }
  flushCubeBatch();
  glPopMatrix();
}

void drawHouse(float x, float y, float z, float halfSize, float height) {
  if (!drawingFrame) return;
  float s = halfSize, h = height;
  glPushMatrix();
  glTranslatef(x, y, z);
  glBegin(GL_QUADS);
  // front, back, left, right, roof; no floor
  glVertex3f(-s, h, s);
  glVertex3f(s, h, s);
  glVertex3f(s, 0, s);
  glVertex3f(-s, 0, s);
  glVertex3f(-s, h, -s);
  glVertex3f(s, h, -s);
  glVertex3f(s, 0, -s);
  glVertex3f(-s, 0, -s);
  glVertex3f(-s, h, s);
  glVertex3f(-s, h, -s);
  glVertex3f(-s, 0, -s);
  glVertex3f(-s, 0, s);
  glVertex3f(s, h, s);
  glVertex3f(s, h, -s);
  glVertex3f(s, 0, -s);
  glVertex3f(s, 0, s);
  glVertex3f(-s, h, s);
  glVertex3f(-s, h, -s);
  glVertex3f(s, h, -s);
  glVertex3f(s, h, s);
  glEnd();
  glPopMatrix();
}
