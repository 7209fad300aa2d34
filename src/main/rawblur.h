// The motion blur of raw frames, worked out on the CPU beside the renderer
// with the accumulation buffer's own arithmetic, so a raw stream carries
// the pixels the window's accumulation steps would give, without their
// cost on the GL thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class RawBlur {
 public:
  // One frame of n colour values (RGB bytes as read back, before the
  // blur): weight 0 keeps the frame as drawn and remembers it; otherwise
  // the remembered picture is scaled by weight, the frame added with
  // 1 - weight, and the result written to out. out may be in. With a
  // pixel size of 4 (BGRA), every fourth value is left as it is.
  void apply(const uint8_t *in, uint8_t *out, size_t n, float weight, int pixelSize = 3);

 private:
  std::vector<int16_t> acc_;  // the remembered picture, as the buffer keeps it
  std::vector<int16_t> scaled_;  // every stored value scaled by scaledBy_
  float scaledBy_ = -1;
};

// The two conversions the accumulation steps use on an sRGB window:
// a stored byte to linear light, and linear light back to a stored byte.
float srgbByteToLinear(uint8_t v);
uint8_t linearToSrgbByte(float x);
