// The Gibson particle field.
#include "funcs/gibson.h"

#include <GL/glew.h>

#include <cstdlib>
#include <ctime>

#include "funcs/cubebatch.h"
#include "main/driver.h"
#include "main/startup.h"
#include "noise.h"

// Room for 100, only the first 50 are used.
static GibsonParticle data[100];
static float down = -50;

const GibsonParticle *gibsonParticles() { return data; }
float gibsonDrift() { return down; }

static float randomEdge() { return float(rand() % 200 - 100); }

void moveGibsonParticle(GibsonParticle &p) {
  if (p.direction <= 0) {
    p.z = float(p.z + 2.0);
    if (p.z > 100.0f) {
      p.z = -100;
      p.x = randomEdge();
    }
  } else if (p.direction == 2) {
    p.z = float(p.z - 2.0);
    if (p.z < -100.0f) {
      p.z = 100;
      p.x = randomEdge();
    }
  } else if (p.direction == 3) {
    p.x = float(p.x - 2.0);
    if (p.x < -100.0f) {
      p.x = 100;
      p.z = randomEdge();
    }
  } else if (p.direction > 3) {
    p.x = float(p.x + 2.0);
    if (p.x > 100.0f) {
      p.x = -100;
      p.z = randomEdge();
    }
  }
}

void drawGibsonParticles() {
  static int loaded = 0;
  down = float(down + 0.1);
  if (down > 50.0f) down = -50;
  // Re-entries follow the clock's second: every call within one second
  // replays the same random sequence. Captured frames and videos take the
  // capture clock's, so they come out the same every time.
  srand(unsigned(onCaptureClock() ? captureClockMillis() / 1000 : time(nullptr)));
  if (!loaded) {
    for (int i = 0; i < 50; i++) {
      data[i].direction = int(4 * raw_noise(i, 0, 42) + 4);
      data[i].z = 200 * raw_noise(i, i, 1337) - 100;
      data[i].x = 20 * raw_noise(i, 42, 45) - 10;
    }
    loaded = 1;
  }
  const float red[4] = {1, 0, 0, 1};
  glColor4fv(red);
  for (int i = 0; i < 50; i++) {
    moveGibsonParticle(data[i]);
    if (!drawingFrame) continue;
    CubeFrame f = cubeFrame();
    frameTranslate(f, data[i].x, data[i].y, data[i].z - down);
    batchSolidCube(f, 1.0f, red);
  }
  flushCubeBatch(true);
}
