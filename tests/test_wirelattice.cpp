// The wire lattice drawn as one array, each edge once, shows what the same
// cubes drawn one wireCube at a time show: an edge drawn a second time the
// other way round lights a few pixels of its own, so about a tenth of the
// lit pixels move; the light stays.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <cstdlib>
#include <vector>

#include "funcs/cubes.h"
#include "funcs/wirelattice.h"
#include "harness/harness.h"

namespace {

const int W = 320, H = 240;

std::vector<uint8_t> drawn(bool asLattice, float distance) {
  startWindowFrame(W, H, 0.1f, 0.1f, 0.1f);
  glTranslatef(0, 0, distance);
  glRotatef(distance, 1, 1, 0);
  glColor4f(0.6f, 0.6f, 0.6f, 0.8f);  // translucent: overdraw would show
  if (asLattice) {
    wireCubeLattice(-10, 1.5f, 10, 0.5);
  } else {
    for (float x = -10; x < 10; x += 1.5f)
      for (float y = -10; y < 10; y += 1.5f)
        for (float z = -10; z < 10; z += 1.5f) {
          glPushMatrix();
          glTranslatef(x, y, z);
          wireCube(0.5);
          glPopMatrix();
        }
  }
  return readPixelsRGB(0, 0, W, H);
}

}  // namespace

TEST(WireLattice, ShowsWhatOneWireCubeAtATimeShows) {
  // Far, near, and reaching behind the camera.
  for (float distance : {-90.0f, -30.0f, 45.0f}) {
    std::vector<uint8_t> cubes = drawn(false, distance), lattice = drawn(true, distance);
    int lit = 0, moved = 0;
    long light[2] = {0, 0};
    for (size_t i = 0; i < cubes.size(); ++i) {
      lit += lattice[i] > 40;
      moved += std::abs(cubes[i] - lattice[i]) > 3;
      light[0] += cubes[i];
      light[1] += lattice[i];
    }
    EXPECT_GT(lit, 1000) << distance;
    EXPECT_LT(moved, lit / 8) << distance;
    EXPECT_NEAR(double(light[1]) / light[0], 1.0, 0.02) << distance;
  }
}
