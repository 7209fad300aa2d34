// Scene 1 (stand-in until the scene itself is built).
#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene01() {
  static float timer = 0;
  timer = sceneClock();
  beginOffscreen(false);
  drawPlaceholder(1, timer);
  if (timer > 24.0f) handOver(timer);
  composite(0, true);
}
