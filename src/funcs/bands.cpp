// Twisted ribbons of cubes: three strands winding about the x axis with a
// phase that travels along them.
#include "funcs/bands.h"

#include <GL/glew.h>

#include <cmath>

#include "funcs/cubebatch.h"
#include "main/driver.h"

static void cube(float grey, float alpha, float x, float y, float z) {
  CubeFrame f = cubeFrame();
  frameTranslate(f, x, y, z);
  const float colour[4] = {grey, grey, grey, alpha};
  batchSolidCube(f, 0.5f, colour);
}

// Grows the band by one step, then draws it.
static void band(float &length, float &amp, float x, float y, float z, float t, float alpha) {
  if (length < -15.0f) length = float(length + 0.2);
  if (amp < 10.0f) amp = float(amp + 0.1);
  float phase = float(t * 10.0);
  glPushMatrix();
  glTranslatef(x, y, z);
  // The wider the winding, the closer the cubes, so the strands stay whole.
  for (float px = -50.0f; px < length; px = float(px + 1 / (amp * 4.0))) {
    if (!drawingFrame) continue;
    float u = px + phase;
    double s0 = std::sin(double(u)), c0 = std::cos(double(u));
    double s2 = std::sin(u + 2.0), s4 = std::sin(u + 4.0);
    cube(0.4f, alpha, px, float(amp * s0), float(amp * c0));
    cube(0.2f, alpha, px, float(amp * s2), float(amp * s0));
    cube(0.8f, alpha, px, float(amp * s4), float(amp * s2));
  }
  // Faded bands show their back faces through the front ones.
  flushCubeBatch(alpha >= 1.0f);
  glPopMatrix();
}

void drawBand(float x, float y, float z, float t) {
  static float length = -30.0f, amp = 5.0f;
  band(length, amp, x, y, z, t, 1.0f);
}

void drawBandFast(float x, float y, float z, float t, float alpha) {
  static float length = -30.0f, amp = 5.0f;
  band(length, amp, x, y, z, t, alpha);
}
