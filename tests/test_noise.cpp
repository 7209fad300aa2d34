// Exact values of the noise family: other modules depend on every bit.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "funcs/starfield.h"
#include "noise.h"
#include "particle.h"

TEST(RawNoise, KnownHashesAndValues) {
  struct {
    int x, y, seed;
    uint32_t hash;
    float value;
  } cases[] = {
      {0, 0, 0, 1376312589u, -0.28179097175598145f},
      {0, 0, 42, 689716523u, 0.35765144f},
      {1, 1, 42, 80807077u, 0.92474252f},
      {2, 2, 42, 2039521759u, -0.89945263f},
  };
  for (auto &c : cases) {
    EXPECT_EQ(noise_hash(c.x, c.y, c.seed), c.hash) << c.x << "," << c.y << "," << c.seed;
    EXPECT_EQ(raw_noise(c.x, c.y, c.seed), c.value) << c.x << "," << c.y << "," << c.seed;
  }
  EXPECT_NE(raw_noise(1, 2, 42), raw_noise(2, 1, 42));
}

TEST(RawNoise, WrapsAtThirtyTwoBits) {
  // Large and negative arguments overflow the hash; results stay in range
  // and agree with the same bit patterns given unsigned.
  for (int v : {INT_MIN, -1, INT_MAX, 123456789}) {
    float r = raw_noise(v, v, v);
    EXPECT_GE(r, -1.0f);
    EXPECT_LE(r, 1.0f);
  }
  EXPECT_EQ(noise_hash(-1, 0, 0), noise_hash(int32_t(0xFFFFFFFFu), 0, 0));
  // y * 57 + seed * 131 + x: (57, 0, 0) and (0, 1, 0) hash the same point.
  EXPECT_EQ(noise_hash(57, 0, 0), noise_hash(0, 1, 0));
  EXPECT_EQ(noise_hash(131, 0, 0), noise_hash(0, 0, 1));
}

TEST(RawNoise, DirectionCodesOfTheCityTraffic) {
  // The 50 starting codes the city's data cubes take from this noise.
  const int expected[50] = {5, 1, 0, 3, 4, 5, 0, 7, 4, 0, 6, 7, 5, 2, 7, 0, 5, 0, 3, 1, 3, 2, 1, 2, 6,
                            7, 0, 1, 5, 6, 5, 5, 7, 5, 2, 6, 3, 5, 3, 1, 0, 2, 1, 7, 5, 6, 3, 6, 1, 5};
  for (int i = 0; i < 50; i++) EXPECT_EQ(int(4 * raw_noise(i, 0, 42) + 4), expected[i]) << i;
}

TEST(SmoothedNoise, WeightsTheNeighbourhood) {
  for (int seed : {0, 42, 1337}) {
    float s = smoothed_2D_noise(5, 7, seed);
    float corners = (raw_noise(4, 6, seed) + raw_noise(6, 6, seed) + raw_noise(4, 8, seed) +
                     raw_noise(6, 8, seed)) / 16.0f;
    float sides = (raw_noise(4, 7, seed) + raw_noise(6, 7, seed) + raw_noise(5, 6, seed) +
                   raw_noise(5, 8, seed)) / 8.0f;
    EXPECT_EQ(s, corners + sides + raw_noise(5, 7, seed) / 4.0f);
    EXPECT_GE(s, -1.0f);
    EXPECT_LE(s, 1.0f);
  }
  // Neighbours of INT_MAX wrap round to INT_MIN instead of overflowing.
  float edge = smoothed_2D_noise(INT_MAX, 0, 3);
  EXPECT_GE(edge, -1.0f);
  EXPECT_LE(edge, 1.0f);
}

TEST(CosineNoise, InterpolationEnds) {
  EXPECT_EQ(cosine_1D_interpolate(0, 1, 0.5f), 0.5f);
  EXPECT_EQ(cosine_1D_interpolate(0.3f, -0.7f, 0), 0.3f);
  EXPECT_NEAR(cosine_1D_interpolate(0.3f, -0.7f, 1), -0.7f, 1e-6);
  // cos is even: -t weighs like t.
  EXPECT_EQ(cosine_1D_interpolate(2, 5, -0.3f), cosine_1D_interpolate(2, 5, 0.3f));
}

TEST(CosineNoise, TruncatesTowardZero) {
  for (float y : {0.0f, 1.5f, -3.25f}) {
    EXPECT_EQ(cosine_2D_noise(-0.25f, y, 7), cosine_2D_noise(0.25f, y, 7));
  }
  // At lattice points the value is the smoothed noise itself.
  EXPECT_EQ(cosine_2D_noise(3, 4, 42), smoothed_2D_noise(3, 4, 42));
  EXPECT_EQ(cosine_2D_noise(-2, 0, 42), smoothed_2D_noise(-2, 0, 42));
}

TEST(PerlinNoise, OddFrequenciesAndWeights) {
  for (int seed : {0, 42, 43, 45, 1337}) {
    EXPECT_NEAR(perlin_2D_noise(0, 0, seed), 6 * smoothed_2D_noise(0, 0, seed), 1e-5) << seed;
    for (int x = 1; x < 6; x++) {
      float expect = 3 * smoothed_2D_noise(2 * x, 0, seed) + 2 * smoothed_2D_noise(3 * x, 0, seed) +
                     smoothed_2D_noise(0, 0, seed);
      EXPECT_NEAR(perlin_2D_noise(float(x), 0, seed), expect, 1e-5) << x;
    }
  }
  for (int i = 0; i < 200; i++) {
    float v = perlin_2D_noise(i * 0.37f, i * -0.11f, i);
    EXPECT_GE(v, -6.0f);
    EXPECT_LE(v, 6.0f);
  }
}

TEST(Tables, ParticlesPrintOneLinePerRecordOnce) {
  fflush(stdout);
  testing::internal::CaptureStdout();
  drawParticles(0, 0, 0);
  drawParticles(1, 2, 3);  // the table is built once only
  std::string out = testing::internal::GetCapturedStdout();
  int lines = 0;
  for (char c : out) lines += c == '\n';
  EXPECT_EQ(lines, 100);
  const Particle *p = particleTable();
  char first[128];
  snprintf(first, sizeof first, "x=0.000000 y=0.000000 z=0.000000 TTL=1.000000 velocity=%f\n",
           double(p[0].velocity));
  EXPECT_EQ(out.substr(0, strlen(first)), first);
  for (int i = 0; i < 100; i++) {
    EXPECT_EQ(p[i].x, 0.0f);
    EXPECT_EQ(p[i].TTL, 1.0f);
    EXPECT_EQ(p[i].velocity, float((perlin_2D_noise(float(i), 0, 42) + 3.0) / 10.0));
    EXPECT_GT(p[i].velocity, -0.31f);
    EXPECT_LT(p[i].velocity, 0.91f);
  }
}

TEST(Tables, StarfieldBuildsOnFirstCallOnly) {
  drawStarfield(0, 0, 0, 0);  // builds, draws nothing, needs no GL
  auto stars = starTable();
  EXPECT_EQ(stars[3][5][0], perlin_2D_noise(3, 5, 42) * 20.0f);
  EXPECT_EQ(stars[3][5][1], perlin_2D_noise(0, 5, 3) * 20.0f);
  EXPECT_EQ(stars[3][5][2], perlin_2D_noise(3, 0, 5) * 50.0f);
  int distinct = 0;
  for (int i = 0; i < 20; i++)
    for (int j = 1; j < 20; j++) distinct += stars[i][j][0] != stars[i][j - 1][0];
  EXPECT_GT(distinct, 300);
}
