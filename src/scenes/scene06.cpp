// Scene 6: the plane shoots away sideways, spinning ever faster, while the
// camera rushes forward one unit a frame.
#include <GL/glew.h>

#include "funcs/flight.h"
#include "main/driver.h"
#include "scenes/scenes.h"

void scene06() {
  static float timer = 0;
  static float superzoom = 0;
  static float plane_velocity = 0.01f;
  timer = sceneClock();
  // Off-screen, under a camera that rushes forward one unit a frame.
  beginOffscreen(true, superzoom - 50);
  superzoom = superzoom + 1;

  setLight(1);
  glRotatef(150, 0, 1, 0);
  // 20 % further out every frame; its tenfold is the spin in degrees.
  plane_velocity = float(plane_velocity + plane_velocity * 0.2);
  drawBobbingPlane(plane_velocity, timer, 10 * plane_velocity);

  composite(0, true);
  if (timer > 2.0f) handOver(timer);
}
