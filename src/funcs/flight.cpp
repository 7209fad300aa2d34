#include "funcs/flight.h"

#include <GL/glew.h>

#include <cmath>

#include "main/driver.h"

void drawBobbingPlane(float x, float timer, float spin) {
  glPushMatrix();
  glColor4f(1, 1, 1, 1);
  glTranslatef(x, float(2 * std::sin(double(2 * timer)) + 3), 15);
  glRotatef(float(4 * std::sin(double(-2 * timer))), 0, 0, 1);
  glRotatef(90, 0, 1, 0);
  if (spin != 0) glRotatef(spin, 1, 0, 0);
  glScalef(0.2f, 0.2f, 0.2f);
  if (drawingFrame) glCallList(plane);
  glPopMatrix();
}
