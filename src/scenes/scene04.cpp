// Scene 4 (stand-in until the scene itself is built).
#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene04() {
  static float timer = 0;
  timer = sceneClock();
  drawPlaceholder(4, timer);
  if (timer > 22.2) {
    handOver(timer);
    gColor = 1.0f;
  }
}
