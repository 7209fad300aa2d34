// Scene 12 (stand-in until the scene itself is built).
#include <cstdlib>

#include "main/driver.h"
#include "scenes/placeholder.h"
#include "scenes/scenes.h"

void scene12() {
  static float timer = 0;
  timer = sceneClock();
  beginOffscreen(false);
  drawPlaceholder(12, timer);
  composite(0, false);
  // The last frame is neither blurred, captured nor shown.
  if (timer > 30.0f) {
    reportLastScene();
    exit(0);
  }
}
