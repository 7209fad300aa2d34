// RGB24 to YUV 4:2:0, BT.709, limited range, in 16-bit fixed point.
#include "main/yuvframe.h"

#include <algorithm>

namespace {

constexpr double kR = 0.2126, kG = 0.7152, kB = 0.0722;  // BT.709 luma weights
constexpr int kShift = 16;
constexpr int kHalf = 1 << (kShift - 1);

constexpr int fixedPoint(double v) { return int(v * (1 << kShift) + (v < 0 ? -0.5 : 0.5)); }

// Y on the levels, with its offset 16 and the rounding.
constexpr double kLuma = 219.0 / 255.0;
constexpr int kYr = fixedPoint(kLuma * kR), kYg = fixedPoint(kLuma * kG), kYb = fixedPoint(kLuma * kB);
constexpr int kY0 = fixedPoint(16) + kHalf;
// U and V on the sums of four levels of a channel.
constexpr double kChroma = 224.0 / 255.0 / 4, kCb = 2 * (1 - kB), kCr = 2 * (1 - kR);
constexpr int kUr = fixedPoint(-kChroma * kR / kCb), kUg = fixedPoint(-kChroma * kG / kCb),
              kUb = fixedPoint(kChroma * 0.5);
constexpr int kVr = fixedPoint(kChroma * 0.5), kVg = fixedPoint(-kChroma * kG / kCr),
              kVb = fixedPoint(-kChroma * kB / kCr);

inline uint8_t luma(const uint8_t *p) { return uint8_t((kYr * p[0] + kYg * p[1] + kYb * p[2] + kY0) >> kShift); }

inline uint8_t chromaByte(int sum) {
  return uint8_t(std::clamp((sum + (128 << kShift) + kHalf) >> kShift, 0, 255));
}

// One U and V from the sums of a 2x2 block's levels.
inline void chroma(int r, int g, int b, uint8_t *u, uint8_t *v) {
  *u = chromaByte(kUr * r + kUg * g + kUb * b);
  *v = chromaByte(kVr * r + kVg * g + kVb * b);
}

// Two rows a and b, `pairs` pairs of pixels each; nothing overlaps, so the
// compiler may work on many pixels at once.
void convertPairs(const uint8_t *__restrict a, const uint8_t *__restrict b, uint8_t *__restrict ya,
                  uint8_t *__restrict yb, uint8_t *__restrict u, uint8_t *__restrict v, int pairs) {
  for (int cx = 0; cx < pairs; ++cx) {
    const uint8_t *a0 = a + 6 * cx, *b0 = b + 6 * cx;
    ya[2 * cx] = luma(a0);
    ya[2 * cx + 1] = luma(a0 + 3);
    yb[2 * cx] = luma(b0);
    yb[2 * cx + 1] = luma(b0 + 3);
    chroma(a0[0] + a0[3] + b0[0] + b0[3], a0[1] + a0[4] + b0[1] + b0[4], a0[2] + a0[5] + b0[2] + b0[5], u + cx,
           v + cx);
  }
}

}  // namespace

size_t yuv420Size(int width, int height) {
  const size_t cw = size_t(width + 1) / 2, ch = size_t(height + 1) / 2;
  return size_t(width) * size_t(height) + 2 * cw * ch;
}

void rgbToYuv420(const uint8_t *rgb, int width, int height, uint8_t *out) {
  const size_t row = size_t(width) * 3;
  const int cw = (width + 1) / 2, ch = (height + 1) / 2;
  uint8_t *yPlane = out;
  uint8_t *uPlane = out + size_t(width) * size_t(height);
  uint8_t *vPlane = uPlane + size_t(cw) * size_t(ch);
  for (int cy = 0; cy < ch; ++cy) {
    // Two rows from the top; an odd height's last row pairs with itself
    // (its Y is written twice, the same).
    const int top = 2 * cy, bottom = std::min(top + 1, height - 1);
    const uint8_t *a = rgb + size_t(height - 1 - top) * row;
    const uint8_t *b = rgb + size_t(height - 1 - bottom) * row;
    uint8_t *ya = yPlane + size_t(top) * size_t(width);
    uint8_t *yb = yPlane + size_t(bottom) * size_t(width);
    uint8_t *u = uPlane + size_t(cy) * size_t(cw);
    uint8_t *v = vPlane + size_t(cy) * size_t(cw);
    if (bottom != top) {
      convertPairs(a, b, ya, yb, u, v, width / 2);
    } else {
      for (int x = 0; x < width; ++x) ya[x] = luma(a + 3 * x);
      for (int cx = 0; cx < width / 2; ++cx) {
        const uint8_t *p = a + 6 * cx;
        chroma(2 * (p[0] + p[3]), 2 * (p[1] + p[4]), 2 * (p[2] + p[5]), u + cx, v + cx);
      }
    }
    // An odd width's last column pairs with itself.
    if (width % 2) {
      const int x = width - 1;
      const uint8_t *pa = a + 3 * x, *pb = b + 3 * x;
      ya[x] = luma(pa);
      yb[x] = luma(pb);
      chroma(2 * (pa[0] + pb[0]), 2 * (pa[1] + pb[1]), 2 * (pa[2] + pb[2]), u + cw - 1, v + cw - 1);
    }
  }
}
