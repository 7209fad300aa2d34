// The motion blur's shortcut for frames without blur leaves the same
// pixels, and the same remembered frame for the next blurred one, as the
// three accumulation steps: for every 8-bit level of every channel.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <vector>

#include "harness/harness.h"
#include "main/driver.h"
#include "main/rawblur.h"

namespace {

const int W = 256, H = 64;

// Every level in every channel: column x holds level x in red, 255 - x in
// green and (x * 7) mod 256 in blue; rows vary alpha.
void drawLevels(int shift) {
  std::vector<unsigned char> px((size_t)W * H * 4);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      unsigned char *p = &px[((size_t)y * W + x) * 4];
      const int v = (x + shift) & 255;
      p[0] = (unsigned char)v;
      p[1] = (unsigned char)(255 - v);
      p[2] = (unsigned char)(v * 7);
      p[3] = (unsigned char)(y * 4);
    }
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glWindowPos2i(0, 0);
  glDrawPixels(W, H, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  glEnable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

void threeSteps() {
  glAccum(GL_MULT, mblur);
  glAccum(GL_ACCUM, 1 - mblur);
  glAccum(GL_RETURN, 1.0);
}

// Two frames: the first without blur, the second blurred with weight.
std::vector<std::vector<uint8_t>> twoFrames(float weight, void (*blur)()) {
  glClear(GL_ACCUM_BUFFER_BIT);
  std::vector<std::vector<uint8_t>> frames;
  drawLevels(0);
  mblur = 0;
  blur();
  frames.push_back(readPixelsRGB(0, 0, W, H));
  drawLevels(100);
  mblur = weight;
  blur();
  frames.push_back(readPixelsRGB(0, 0, W, H));
  mblur = 0;
  return frames;
}

}  // namespace

TEST(MotionBlur, NoBlurShortcutEqualsTheThreeSteps) {
  ensureGlContext(W, H);
  glClearAccum(0, 0, 0, 1);
  for (float weight : {0.9f, 0.94f, 0.5f}) {
    auto reference = twoFrames(weight, threeSteps);
    auto ours = twoFrames(weight, motionBlur);
    EXPECT_TRUE(reference[0] == ours[0]) << "frame without blur, " << weight;
    EXPECT_TRUE(reference[1] == ours[1]) << "blurred frame after it, " << weight;
    // The blurred frame is neither of the two drawn ones.
    EXPECT_NE(reference[1], reference[0]);
  }
  // Without blur the frame shows as drawn.
  glClear(GL_ACCUM_BUFFER_BIT);
  drawLevels(0);
  auto drawn = readPixelsRGB(0, 0, W, H);
  mblur = 0;
  motionBlur();
  EXPECT_TRUE(drawn == readPixelsRGB(0, 0, W, H));
}

// Raw streams blur their frames off the GL thread: frame after frame, with
// every weight the show uses (and the identities 1 and 0), the result is
// the window's after the accumulation steps, to the bit, in every level.
TEST(MotionBlur, RawStreamBlurEqualsTheAccumulationBuffer) {
  ensureGlContext(W, H);
  glClearAccum(0, 0, 0, 1);
  glClear(GL_ACCUM_BUFFER_BIT);
  RawBlur raw;
  std::vector<uint8_t> drawn(W * H * 3, 0);
  raw.apply(drawn.data(), drawn.data(), drawn.size(), 0);  // the cleared buffer
  // Scene 9's ease from 0.9 and scene 10's run down to nothing among them.
  std::vector<float> weights = {0, 0.9f, 0.9f, 0.94f, 0.5f, 1.0f, 0.5f, 0, 0.39f, 0.9f};
  float m = 0.9f;
  for (int k = 0; k < 60; ++k) weights.push_back(m = float(m - 0.01));
  int shift = 0;
  for (float w : weights) {
    drawLevels(shift += 37);
    drawn = readPixelsRGB(0, 0, W, H);
    mblur = w;
    motionBlur();
    std::vector<uint8_t> ours(drawn.size());
    raw.apply(drawn.data(), ours.data(), drawn.size(), w);
    ASSERT_TRUE(readPixelsRGB(0, 0, W, H) == ours) << "weight " << w << ", frame shift " << shift;
  }
  mblur = 0;
}
