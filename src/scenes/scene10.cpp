// Scene 10 (stand-in until the scene itself is built).
#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene10() {
  static float timer = 0;
  timer = sceneClock();
  beginOffscreen(false);
  drawPlaceholder(10, timer);
  composite(0, false);
  if (timer > 25.0f) {
    handOver(timer);
    mblur = 0.94f;
  }
}
