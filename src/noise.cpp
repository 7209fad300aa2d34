// Integer-hash value noise. Every step is pinned down to the bit: other
// modules depend on the exact values it produces.
#include "noise.h"

#include <cmath>

uint32_t noise_hash(int32_t x, int32_t y, int32_t seed) {
  // Unsigned arithmetic: the wrap-around at 32 bits is part of the hash.
  uint32_t n = uint32_t(y) * 57u + uint32_t(seed) * 131u + uint32_t(x);
  n = n ^ (n << 13);
  uint32_t h = (n * n * 15731u + 789221u) * n + 1376312589u;
  return h & 0x7FFFFFFFu;
}

float raw_noise(int32_t x, int32_t y, int32_t seed) {
  // Exact in double, rounded once.
  return float(1.0 - double(noise_hash(x, y, seed)) / 1073741824.0);
}

float smoothed_2D_noise(int32_t x, int32_t y, int32_t seed) {
  // Neighbours wrap like the hash does.
  int32_t xm = int32_t(uint32_t(x) - 1u), xp = int32_t(uint32_t(x) + 1u);
  int32_t ym = int32_t(uint32_t(y) - 1u), yp = int32_t(uint32_t(y) + 1u);
  float corners = (raw_noise(xm, ym, seed) + raw_noise(xp, ym, seed) + raw_noise(xm, yp, seed) +
                   raw_noise(xp, yp, seed)) / 16.0f;
  float sides = (raw_noise(xm, y, seed) + raw_noise(xp, y, seed) + raw_noise(x, ym, seed) +
                 raw_noise(x, yp, seed)) / 8.0f;
  float centre = raw_noise(x, y, seed) / 4.0f;
  return corners + sides + centre;
}

float cosine_1D_interpolate(float a, float b, float t) {
  float angle = float(double(t) * 3.14159265);
  float f = float((1.0 - std::cos(double(angle))) * 0.5);
  return a * (1.0f - f) + b * f;
}

float cosine_2D_noise(float x, float y, int32_t seed) {
  // Truncation toward zero, not floor: (-1, 0) maps onto lattice point 0.
  int32_t ix = int32_t(x);
  float fx = x - float(ix);
  int32_t iy = int32_t(y);
  float fy = y - float(iy);
  float s00 = smoothed_2D_noise(ix, iy, seed);
  float s10 = smoothed_2D_noise(ix + 1, iy, seed);
  float s01 = smoothed_2D_noise(ix, iy + 1, seed);
  float s11 = smoothed_2D_noise(ix + 1, iy + 1, seed);
  float top = cosine_1D_interpolate(s00, s10, fx);
  float bottom = cosine_1D_interpolate(s01, s11, fx);
  return cosine_1D_interpolate(top, bottom, fy);
}

float perlin_2D_noise(float x, float y, int32_t seed) {
  float total = 0.0f;
  // Frequencies 2, 3, 0 with weights 3, 2, 1: the look of the whole
  // production rests on this odd mix, so it stays as it is.
  for (int i = 0; i < 3; i++) {
    int frequency = i ^ 2;
    int weight = i ^ 3;
    float sx = x * float(frequency);
    float sy = y * float(frequency);
    total = total + cosine_2D_noise(sx, sy, seed) * float(weight);
  }
  return total;
}
