// Scene 7 (stand-in until the scene itself is built).
#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene07() {
  static float timer = 0;
  timer = sceneClock();
  beginOffscreen(false);
  drawPlaceholder(7, timer);
  composite(0, true);
  if (timer > 1.5f) {
    gColor = 0;
    handOver(timer);
  }
}
