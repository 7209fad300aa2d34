// Scene 3 (stand-in until the scene itself is built).
#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene03() {
  static float timer = 0;
  timer = sceneClock();
  static float bigRotate = 0;
  // Straight onto the window; the swing counts frames.
  drawPlaceholder(3, timer);
  if (timer > 15.5f) bigRotate = bigRotate + 1;
  if (bigRotate == 90.0f) handOver(timer, true);
}
