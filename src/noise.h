// Deterministic integer-hash value noise.
#pragma once
#include <cstdint>

// The masked 31-bit hash behind raw_noise, exposed for tests.
uint32_t noise_hash(int32_t x, int32_t y, int32_t seed);
float raw_noise(int32_t x, int32_t y, int32_t seed);
float smoothed_2D_noise(int32_t x, int32_t y, int32_t seed);
float cosine_1D_interpolate(float a, float b, float t);
float cosine_2D_noise(float x, float y, int32_t seed);
float perlin_2D_noise(float x, float y, int32_t seed);
