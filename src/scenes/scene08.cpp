// Scene 8 (stand-in until the scene itself is built).
#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene08() {
  static float timer = 0;
  timer = sceneClock();
  beginOffscreen(false);
  drawPlaceholder(8, timer);
  composite(0, false);
  if (timer > 35.0f) {
    handOver(timer);
    mblur = 0.9f;
  }
}
