// Scene 4: scene 3 after its swing: the band turned a quarter, the white
// plane bobbing in front of it on black, on scene 3's clock.
#include <GL/glew.h>

#include "funcs/bands.h"
#include "funcs/flight.h"
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
  drawBobbingPlane(0, timer);

  if (timer > 22.2) {
    handOver(timer);
    gColor = 1.0f;
  }
}
