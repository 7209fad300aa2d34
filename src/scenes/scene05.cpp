// Scene 5 (stand-in until the scene itself is built).
#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene05() {
  static float timer = 0;
  timer = sceneClock();
  beginOffscreen(false);
  drawPlaceholder(5, timer);
  composite(0, true);
  if (timer > 6.0f) {
    gColor = 1.0f;
    handOver(timer);
  }
}
