// Textured quads, rings and full-view fades.
#include "funcs/quads.h"

#include <cmath>

#include "main/driver.h"

void bindLinearTexture(GLuint texture) {
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

void draw2DTexture(float x, float y, float z, float halfWidth, float halfHeight, GLuint texture) {
  glPushMatrix();
  // Half a turn in the quad's plane; callers turn their frame about y to
  // see the picture upright and unmirrored.
  glRotatef(180, 0, 0, 1);
  glTranslatef(-x, -y, z);
  bindLinearTexture(texture);
  if (drawingFrame) {
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-halfWidth, halfHeight);
    glTexCoord2f(1, 0);
    glVertex2f(halfWidth, halfHeight);
    glTexCoord2f(1, 1);
    glVertex2f(halfWidth, -halfHeight);
    glTexCoord2f(0, 1);
    glVertex2f(-halfWidth, -halfHeight);
    glEnd();
  }
  glDisable(GL_TEXTURE_2D);
  glPopMatrix();
}

void drawCircle(float x, float y, float, float radius) {
  if (!drawingFrame) return;
  glBegin(GL_LINES);
  // Chords start at whole radians: 180 of them scatter round the ring and
  // give its dashed look.
  for (int k = 0; k < 180; k++) {
    double a = k;
    glVertex3f(x + float(radius * std::cos(a)), y + float(radius * std::sin(a)), 0);
    glVertex3f(x + float(radius * std::cos(a + 0.1)), y + float(radius * std::sin(a + 0.1)), 0);
  }
  glEnd();
}

void fade(float alpha, GLuint texture) {
  glPushMatrix();
  bindLinearTexture(texture);
  glColor4f(1, 1, 1, alpha);
  if (drawingFrame) {
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(-30, 25, 5);
    glTexCoord2f(1, 0);
    glVertex3f(30, 25, 5);
    glTexCoord2f(1, 1);
    glVertex3f(30, -25, 5);
    glTexCoord2f(0, 1);
    glVertex3f(-30, -25, 5);
    glEnd();
  }
  glDisable(GL_TEXTURE_2D);
  glPopMatrix();
}
