// The Gibson particle field: its noise-made layout, each direction's move
// with the wrap and re-entry, and the drift of the whole field.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "funcs/gibson.h"
#include "harness/harness.h"
#include "noise.h"

// The first call lays the field out and moves it once. Re-entries depend on
// the wall clock, so only the still cubes' places are compared. Then the
// drift: it wraps from about 50 to -50 on the 1,001st call.
TEST(GibsonField, FiftyDirectionCodesFromTheNoiseAndTheDrift) {
  ensureGlContext(320, 240);
  ASSERT_EQ(gibsonDrift(), -50.0f);
  drawGibsonParticles();
  const std::vector<int> expected = {5, 1, 0, 3, 4, 5, 0, 7, 4, 0, 6, 7, 5, 2, 7, 0, 5, 0, 3, 1, 3, 2, 1, 2, 6,
                                     7, 0, 1, 5, 6, 5, 5, 7, 5, 2, 6, 3, 5, 3, 1, 0, 2, 1, 7, 5, 6, 3, 6, 1, 5};
  const GibsonParticle *p = gibsonParticles();
  std::vector<int> codes;
  for (int i = 0; i < 50; i++) codes.push_back(p[i].direction);
  EXPECT_EQ(codes, expected);
  int still = 0;
  for (int i = 0; i < 50; i++) {
    EXPECT_EQ(p[i].y, 0.0f) << i;
    if (p[i].direction != 1) continue;
    still++;
    EXPECT_EQ(p[i].z, 200 * raw_noise(i, i, 1337) - 100) << i;
    EXPECT_EQ(p[i].x, 20 * raw_noise(i, 42, 45) - 10) << i;
  }
  EXPECT_EQ(still, 7);
  for (int i = 50; i < 100; i++)
    EXPECT_TRUE(p[i].x == 0 && p[i].z == 0 && p[i].direction == 0) << i;  // never used
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_EQ(std::vector<float>(colour, colour + 4), (std::vector<float>{1, 0, 0, 1}));

  EXPECT_EQ(gibsonDrift(), float(-50 + 0.1));
  for (int call = 2; call <= 1000; call++) drawGibsonParticles();
  EXPECT_GT(gibsonDrift(), 49.9f);
  drawGibsonParticles();
  EXPECT_EQ(gibsonDrift(), -50.0f);
}

TEST(GibsonField, MovesWrapsAndReentersOnTheFarEdge) {
  const float R = NAN;  // the re-entry's random edge value goes here
  struct Case {
    GibsonParticle start;
    float x, z;   // after one move
    int randoms;  // rand values the move takes
  } cases[] = {
      {{5, 0, 98, 0}, 5, 100, 0},        // +z reaches the edge: strict test, stays
      {{5, 0, 99, 0}, R, -100, 1},       // +z leaves: in at -100 with a new x
      {{5, 0, 99, -3}, R, -100, 1},      // any code below 1 moves along +z
      {{5, 0, 250, 1}, 5, 250, 0},       // still, even far outside the field
      {{5, 0, -98, 2}, 5, -100, 0},      // -z at the edge
      {{5, 0, -150, 2}, R, 100, 1},      // -z from below the field: in at once
      {{-99, 0, 7, 3}, 100, R, 1},       // -x leaves: in at 100 with a new z
      {{-98, 0, 7, 3}, -100, 7, 0},      // -x at the edge
      {{99, 0, 7, 8}, -100, R, 1},       // codes above 4 move along +x
      {{98, 0, -270, 4}, 100, -270, 0},  // +x keeps an out-of-range z
  };
  for (const Case &c : cases) {
    srand(1234);
    int first = rand(), second = rand();
    float r = float(first % 200 - 100);
    int next = c.randoms ? second : first;
    srand(1234);
    GibsonParticle p = c.start;
    moveGibsonParticle(p);
    SCOPED_TRACE(testing::Message() << "from (" << c.start.x << ", " << c.start.z << ") code " << c.start.direction);
    EXPECT_EQ(p.x, std::isnan(c.x) ? r : c.x);
    EXPECT_EQ(p.z, std::isnan(c.z) ? r : c.z);
    EXPECT_EQ(p.direction, c.start.direction);
    EXPECT_EQ(rand(), next);  // exactly one rand per re-entry, none otherwise
  }
}
