// Frames as a video encoder takes them: 8-bit YUV 4:2:0 with the BT.709
// matrix in limited range (Y 16-235, U and V 16-240), planar, as ffmpeg's
// yuv420p. Converting here spares the encoder's scaler a pass over twice
// the bytes.
#pragma once
#include <cstddef>
#include <cstdint>

// Bytes of one frame: the Y plane, then U and V of (width + 1) / 2 by
// (height + 1) / 2 each.
size_t yuv420Size(int width, int height);

// One frame of RGB24 rows, the bottom row first (as GL reads them back),
// into out (yuv420Size bytes), the top row first. Each U and V value is
// that of the mean colour of its 2x2 pixels (at an odd edge, of those
// there are).
void rgbToYuv420(const uint8_t *rgb, int width, int height, uint8_t *out);
