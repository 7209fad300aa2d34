// Bands: each grows once per call to its own limits, the cube count per
// strand follows length and spacing, the ribbon lies on its helix.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "funcs/bands.h"
#include "harness/harness.h"

namespace {

const int W = 1024, H = 768;

void startFrame() {
  startWindowFrame(W, H, 1, 0, 1);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
}

bool allMagenta(const std::vector<uint8_t> &px) {
  for (size_t i = 0; i < px.size(); i += 3)
    if (px[i] != 255 || px[i + 1] != 0 || px[i + 2] != 255) return false;
  return true;
}

}  // namespace

// One test: both bands' growth lives in statics for the whole process.
TEST(Bands, SeparateGrowthCountsAndHelix) {
  startFrame();
  drawBand(0, 0, 0, 0);
  BandCall slow = lastBandCall(false);
  EXPECT_EQ(slow.length, -29.8f);  // growth comes before drawing
  EXPECT_EQ(slow.amp, 5.1f);
  EXPECT_EQ(slow.strandCubes, 413);

  // The fast band starts from its own first size; invisible at alpha 0.
  startFrame();
  drawBandFast(0, 0, 0, 0, 0);
  EXPECT_TRUE(allMagenta(readPixelsRGB(0, 0, W, H)));
  BandCall fast = lastBandCall(true);
  EXPECT_EQ(fast.length, -29.8f);
  EXPECT_EQ(fast.amp, 5.1f);
  EXPECT_EQ(fast.strandCubes, 413);

  for (int call = 2; call <= 76; call++) {
    drawBand(0, 0, 0, 0);
    slow = lastBandCall(false);
    if (call == 50) {
      EXPECT_FLOAT_EQ(slow.amp, 10.000005f);
      EXPECT_NEAR(slow.length, -20.0f, 1e-4);  // still growing
    }
    if (call == 51) {
      EXPECT_FLOAT_EQ(slow.amp, 10.000005f);  // stopped at the limit
    }
    if (call == 75 || call == 76) {
      EXPECT_FLOAT_EQ(slow.length, -14.99995f) << call;
      EXPECT_EQ(slow.strandCubes, 1400) << call;
    }
  }
  // 76 calls of one band leave the other at its second step.
  drawBandFast(0, 0, 0, 0, 0);
  fast = lastBandCall(true);
  EXPECT_FLOAT_EQ(fast.length, -29.6f);
  EXPECT_FLOAT_EQ(fast.amp, 5.2f);

  // At full size and t = 0 strand 1 starts at (-50, 10 sin -50, 10 cos -50):
  // moved by 50 along x it lies on the centre line, 2.624 up, 9.650 near.
  startFrame();
  drawBand(50, 0, 0, 0);
  auto px = readPixelsRGB(0, 0, W, H);
  double up = 2.624 / ((50 - 9.650) * std::tan(M_PI / 8));
  size_t i = (size_t(H / 2 * (1 + up)) * W + W / 2) * 3;
  EXPECT_EQ(px[i], px[i + 1]);  // a grey cube, not the background
  EXPECT_EQ(px[i + 1], px[i + 2]);
  // Nothing at the same height mirrored to the left: the band starts here.
  size_t j = (size_t(H / 2 * (1 + up)) * W + W / 2 - 40) * 3;
  EXPECT_EQ(px[j + 1], 0);
}
