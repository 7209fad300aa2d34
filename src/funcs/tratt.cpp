// The tratt tower and the city's houses.
#include "funcs/tratt.h"

#include <GL/glew.h>

#include <cmath>

#include "funcs/cubes.h"

void drawTratt(float x, float y, float z) {
  static float timer = 0;
  timer = timer - 0.1f;
  glPushMatrix();
  glTranslatef(x, y, z);
  glRotatef(float(timer * 10.0), 0, 1, 0);
  glPushMatrix();
  for (float a = -10.0f; a < 10.0f; a = float(a + 0.1)) {
    // Negative where the band is off: such cubes are drawn but do not show.
    double w = sin(double(timer) + a);
    glPushMatrix();
    glTranslatef(0, 2 * a, 0);
    glColor4f(0.6f, 0.6f, 0.9f, float(w * 0.8));
    wireCube(0.2);
    glPopMatrix();
    double up = 0.7 * a;
    // The turns accumulate across arms and levels; only the pops at the
    // end undo them.
    for (float b = 0; b < 4; b++) {
      glRotatef(float(b * 45.0), 0, 1, 0);
      glPushMatrix();
      glTranslatef(float(w + a), float(up * up), 0);
      glColor4f(0.6f, 0.6f, 1.0f, float(w * 0.8));
      wireCube(0.5);
      glPopMatrix();
      glPushMatrix();
      glTranslatef(float(-a - w), float(up * -up), 0);
      glColor4f(0.5f, 0.5f, 1.0f, float(w));
      wireCube(0.5);
      glPopMatrix();
    }
  }
  glPopMatrix();
  glPopMatrix();
}

void drawHouse(float x, float y, float z, float halfSize, float height) {
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
