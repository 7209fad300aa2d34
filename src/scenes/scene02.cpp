// Scene 2 (stand-in until the scene itself is built).
#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene02() {
  static float timer = 0;
  timer = sceneClock();
  beginOffscreen(false);
  drawPlaceholder(2, timer);
  if (timer > 15.4) {
    handOver(timer);
    gColor = 1.0f;
  }
  composite(1, true);
}
