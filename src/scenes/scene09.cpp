// Scene 9 (stand-in until the scene itself is built).
#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene09() {
  static float timer = 0;
  timer = sceneClock();
  beginOffscreen(false);
  drawPlaceholder(9, timer);
  composite(0, false);
  if (timer > 20.0f) {
    handOver(timer);
    mblur = 0.9f;
  }
}
