// Scene 3 (stand-in until the scene itself is built).
#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene03() {
  static float timer = 0;
  static float bigRotate = 0;
  // The swing reads the previous frame's clock and then counts frames.
  if (timer > 15.5f && bigRotate < 90) bigRotate = bigRotate + 1;
  timer = sceneClock();
  // Straight onto the window, no composite.
  drawPlaceholder(3, timer);
  if (bigRotate == 90.0f) handOver(timer, true);
}
