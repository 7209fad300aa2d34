// Mesa keeps the accumulation buffer as signed 16-bit values (1.0 is
// 32767) and converts the sRGB window through two tables: a 256-entry
// table of linear floats (printed to eight digits, then read back as
// floats) and, for the way back, a piecewise-linear fit per eighth of a
// binade of the float's bits. Both are rebuilt here the same way, so the
// results match to the bit; tests compare them with glAccum itself.
#include "main/rawblur.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

double srgbToLinear(double x) {
  return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
}

double linearToSrgb(double x) {
  return x >= 0.0031308 ? 1.055 * std::pow(x, 0.41666666) - 0.055 : 12.92 * x;
}

uint32_t floatBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

float bitsFloat(uint32_t u) {
  float f;
  std::memcpy(&f, &u, sizeof f);
  return f;
}

struct Tables {
  float linear[256];
  int16_t loaded[256];  // each level as a load with weight 1 stores it
  // Per bucket of the float's exponent and top three mantissa bits, from
  // 2^-13 up: offset (high half) and slope (low half) of the fit.
  uint32_t fit[13 << 3];
  uint8_t back[65536];  // every stored value, returned at weight 1

  Tables() {
    for (int i = 0; i < 256; ++i) {
      char text[32];
      std::snprintf(text, sizeof text, "%.7e", srgbToLinear(i / 255.0));
      linear[i] = std::strtof(text, nullptr);
      loaded[i] = int16_t(linear[i] * 32767.0f);
    }
    // Least squares over every 32nd float of each bucket, against the
    // eight mantissa bits below the bucket's three.
    const int bucketSize = (1 << 20) >> 5;
    double sumAA = bucketSize, sumAB = 0, sumBB = 0;
    for (int i = 0; i < bucketSize; ++i) {
      const int j = (i << 5) >> 12;
      sumAB += j;
      sumBB += j * j;
    }
    const double invDet = 1.0 / (sumAA * sumBB - sumAB * sumAB);
    for (int bucket = 0; bucket < (13 << 3); ++bucket) {
      const uint32_t start = ((127u - 13u) << 23) + uint32_t(bucket) * (uint32_t(bucketSize) << 5);
      double sumA = 0, sumB = 0;
      for (int i = 0; i < bucketSize; ++i) {
        const int j = (i << 5) >> 12;
        const double f = bitsFloat(start + (uint32_t(i) << 5));
        const double val = linearToSrgb(f) * 255.0 + 0.5;
        sumA += val;
        sumB += j * val;
      }
      const double a = invDet * (sumBB * sumA - sumAB * sumB);
      const double b = invDet * (sumAA * sumB - sumAB * sumA);
      const int intA = int(a * 65536.0 / 512.0 + 0.5);
      const int intB = int(b * 65536.0 + 0.5);
      fit[bucket] = (uint32_t(intA) << 16) + uint32_t(intB);
    }
    const float unit = 1.0f / 32767.0f;
    for (int v = -32768; v < 32768; ++v) back[uint16_t(v)] = toSrgb(float(v) * unit);
  }

  uint8_t toSrgb(float x) const {
    const float lowest = bitsFloat((127u - 13u) << 23), almostOne = bitsFloat(0x3f7fffffu);
    // Written so that NaN and everything at or below 2^-13 give 0.
    if (!(x > lowest)) x = lowest;
    if (x > almostOne) x = almostOne;
    const uint32_t u = floatBits(x);
    const uint32_t entry = fit[(u - floatBits(lowest)) >> 20];
    const uint32_t bias = (entry >> 16) << 9, slope = entry & 0xffff;
    const uint32_t t = (u >> 12) & 0xff;
    return uint8_t((bias + slope * t) >> 16);
  }
};

const Tables &tables() {
  static const Tables t;
  return t;
}

}  // namespace

float srgbByteToLinear(uint8_t v) { return tables().linear[v]; }
uint8_t linearToSrgbByte(float x) { return tables().toSrgb(x); }

void RawBlur::apply(const uint8_t *in, uint8_t *out, size_t n, float weight, int pixelSize) {
  const Tables &t = tables();
  if (acc_.size() != n) acc_.assign(n, 0);
  int16_t *acc = acc_.data();
  if (weight == 0) {
    // A load: the frame is remembered and shown as drawn.
    for (size_t i = 0; i < n; ++i) acc[i] = t.loaded[in[i]];
    if (out != in) std::memcpy(out, in, n);
    return;
  }
  // Scale, add, return, as the three accumulation steps do, with the
  // steps' own skips for the identities.
  if (weight != scaledBy_) {
    scaled_.resize(65536);
    for (int v = -32768; v < 32768; ++v)
      scaled_[uint16_t(v)] = weight != 1.0f ? int16_t(float(v) * weight) : int16_t(v);
    scaledBy_ = weight;
  }
  // Per frame, each step's result for every value it can meet: 256 levels
  // of the frame, and every stored value when scaled.
  const float add = (1 - weight) * 32767.0f;
  int16_t added[256];
  for (int c = 0; c < 256; ++c) added[c] = 1 - weight != 0.0f ? int16_t(t.linear[c] * add) : 0;
  const int16_t *scaled = scaled_.data();
  const auto mix = [&](size_t i) {
    const int16_t a = int16_t(scaled[uint16_t(acc[i])] + added[in[i]]);
    acc[i] = a;
    out[i] = t.back[uint16_t(a)];
  };
  if (pixelSize == 4) {
    for (size_t i = 0; i + 3 < n; i += 4) {
      mix(i);
      mix(i + 1);
      mix(i + 2);
      out[i + 3] = in[i + 3];
    }
    return;
  }
  for (size_t i = 0; i < n; ++i) mix(i);
}
