// Scene 11 (stand-in until the scene itself is built).
#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene11() {
  static float timer = 0;
  timer = sceneClock();
  beginOffscreen(false);
  drawPlaceholder(11, timer);
  composite(0, false);
  if (timer > 5.0f) handOver(timer);
}
