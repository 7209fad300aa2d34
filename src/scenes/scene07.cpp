// Scene 7: a black sine wave rises, faster and faster, over the white view;
// scene 8 then opens on black.
#include <GL/glew.h>

#include <cmath>

#include "main/driver.h"
#include "scenes/scenes.h"

void scene07() {
  static float timer = 0;
  static float fadescreen = -30;  // height of the wave's centre line
  gColor = 1.0f;
  timer = sceneClock();
  glClearColor(gColor, gColor, gColor, 1);
  beginOffscreen(false);
  setLight(1);

  glPushMatrix();
  glColor4f(0, 0, 0, 1);
  if (drawingFrame) {
    glBegin(GL_POLYGON);
    glVertex3f(-30, -30, 0);
    for (float x = -30; x < 30; x = float(x + 0.4))
      glVertex3f(x, float(std::sin(double(20 * timer + x)) + fadescreen), 0);
    glVertex3f(30, -30, 0);
    glEnd();
  }
  // Climbs by twice the clock each frame: it accelerates.
  fadescreen = float(fadescreen + 2 * timer);
  glPopMatrix();

  composite(0, true);
  if (timer > 1.5f) {
    gColor = 0;
    handOver(timer);
  }
}
