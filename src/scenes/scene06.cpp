// Scene 6: the plane shoots away sideways, spinning ever faster, while the
// camera rushes forward one unit a frame.
#include <GL/glew.h>

#include <cmath>

#include "main/driver.h"
#include "main/startup.h"
#include "scenes/scenes.h"

void scene06() {
  static float timer = 0;
  static float superzoom = 0;
  static float plane_velocity = 0.01f;
  timer = sceneClock();
  glClearColor(gColor, gColor, gColor, 1);

  // Off-screen, under a camera of our own instead of the fixed one.
  glViewport(0, 0, globalWidth, globalHeight);
  glBindTexture(GL_TEXTURE_2D, 0);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fb0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glClearColor(gColor, gColor, gColor, 0);
  glLoadIdentity();
  glTranslatef(0, 0, superzoom - 50);
  superzoom = superzoom + 1;

  setLight(1);
  glRotatef(150, 0, 1, 0);
  // 20 % further out every frame; its tenfold is the spin in degrees.
  plane_velocity = float(plane_velocity + plane_velocity * 0.2);
  glPushMatrix();
  glColor4f(1, 1, 1, 1);
  glTranslatef(plane_velocity, float(2 * std::sin(double(2 * timer)) + 3), 15);
  glRotatef(float(4 * std::sin(double(-2 * timer))), 0, 0, 1);
  glRotatef(90, 0, 1, 0);
  glRotatef(10 * plane_velocity, 1, 0, 0);
  glScalef(0.2f, 0.2f, 0.2f);
  glCallList(plane);
  glPopMatrix();

  // The composite is lit too: its quads face the light, so the picture
  // shows at full strength.
  glNormal3f(0, 0, -1);
  composite(0, true);
  if (timer > 2.0f) handOver(timer);
}
