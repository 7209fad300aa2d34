// Scene 5: the view orbits through the starfield and the fast band with the
// white plane in front. The background darkens from white while stars and
// band fade in, then brightens again while they fade out.
#include <GL/glew.h>

#include "funcs/bands.h"
#include "funcs/flight.h"
#include "funcs/starfield.h"
#include "main/driver.h"
#include "scenes/scenes.h"

void scene05() {
  static float timer = 0;
  glClearColor(gColor, gColor, gColor, 1);
  timer = sceneClock();
  beginOffscreen(false);
  setLight(1);

  // The fades count frames; stars and band show as 1 - gColor.
  if (gColor > 0 && timer < 2) gColor = float(gColor - 0.01);
  glRotatef(20 * timer + 30, 0, 1, 0);
  drawStarfield(0, 0, 0, 1 - gColor);
  glPushMatrix();
  glRotatef(90, 0, 1, 0);
  drawBandFast(0, 0, 0, timer, 1 - gColor);
  glPopMatrix();

  drawBobbingPlane(0, timer);

  composite(0, true);
  if (timer > 2) gColor = float(gColor + 0.01);
  if (timer > 6.0f) {
    gColor = 1.0f;
    handOver(timer);
  }
}
