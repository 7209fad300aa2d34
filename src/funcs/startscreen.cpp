// The start screen behind the loader's progress bar.
#include "funcs/startscreen.h"

#include "funcs/quads.h"
#include "main/driver.h"

void drawStartScreen(GLuint texture) {
  bindLinearTexture(texture);
  glColor3f(1, 1, 1);
  if (!drawingFrame) {
    glDisable(GL_TEXTURE_2D);
    return;
  }
  // Just overfills the fixed view at distance 50.
  glBegin(GL_QUADS);
  glTexCoord2f(0, 1);
  glVertex3f(-26, 21, 0);
  glTexCoord2f(1, 1);
  glVertex3f(26, 21, 0);
  glTexCoord2f(1, 0);
  glVertex3f(26, -21, 0);
  glTexCoord2f(0, 0);
  glVertex3f(-26, -21, 0);
  glEnd();
  glDisable(GL_TEXTURE_2D);
}
