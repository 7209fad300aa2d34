// Scene 6 (stand-in until the scene itself is built).
#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene06() {
  static float timer = 0;
  timer = sceneClock();
  beginOffscreen(false);
  drawPlaceholder(6, timer);
  composite(0, true);
  if (timer > 2.0f) handOver(timer);
}
