// Scene 4: scene 3 after its swing: the band turned a quarter, the white
// plane bobbing in front of it on black, on scene 3's clock.
#include <GL/glew.h>

#include <cmath>

#include "funcs/bands.h"
#include "main/driver.h"
#include "scenes/scenes.h"

void scene04() {
  static float timer = 0;
  timer = sceneClock();

  glPushMatrix();
  glRotatef(90, 0, 1, 0);
  drawBand(0, 0, 0, timer);
  glPopMatrix();

  // Same bobbing and roll on the same clock as in scene 3.
  glPushMatrix();
  glColor4f(1, 1, 1, 1);
  glTranslatef(0, float(2 * std::sin(double(2 * timer)) + 3), 15);
  glRotatef(float(4 * std::sin(double(-2 * timer))), 0, 0, 1);
  glRotatef(90, 0, 1, 0);
  glScalef(0.2f, 0.2f, 0.2f);
  glCallList(plane);
  glPopMatrix();

  if (timer > 22.2) {
    handOver(timer);
    gColor = 1.0f;
  }
}
