// Frame composition in-process: the off-screen picture shown upright
// through the glow, the light, and the scene clock's hand-over arithmetic.
#include <gtest/gtest.h>

#include <vector>

#include "harness/harness.h"
#include "main/driver.h"
#include "main/startup.h"

namespace {

const int W = 1024, H = 768;

void quad(float x0, float y0, float x1, float y1) {
  glBegin(GL_QUADS);
  glVertex3f(x0, y0, 0);
  glVertex3f(x1, y0, 0);
  glVertex3f(x1, y1, 0);
  glVertex3f(x0, y1, 0);
  glEnd();
}

std::vector<int> at(const std::vector<uint8_t> &px, int x, int y) {
  size_t i = (size_t(y) * W + x) * 3;
  return {px[i], px[i + 1], px[i + 2]};
}

}  // namespace

// Runs from the source tree (ctest's working directory) for the shader file.
TEST(Composite, OffscreenPictureUprightThroughTheGlow) {
  ensureGlContext(W, H);
  makeOffscreenTarget();
  gColor = 0;
  mblur = 0.5f;
  glMatrixMode(GL_MODELVIEW);
  beginOffscreen(false);
  // Red in the upper left, green in the lower right of the scene's view.
  glColor4f(1, 0, 0, 1);
  quad(-24, 10, -12, 19);
  glColor4f(0, 1, 0, 1);
  quad(12, -19, 24, -10);
  composite(0, true);
  EXPECT_EQ(mblur, 0.0f);
  GLint fb = -1;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &fb);
  EXPECT_EQ(fb, 0);
  auto px = readPixelsRGB(0, 0, W, H);  // bottom row first
  // 18 units left of centre and 14.5 up, in the window's pixels.
  int lx = int(W / 2 * (1 - 18 / 25.89)), uy = int(H / 2 * (1 + 14.5 / 20.71));
  int rx = W - lx, ly = H - uy;
  EXPECT_GT(at(px, lx, uy)[0], 200);
  EXPECT_LT(at(px, lx, uy)[1], 60);
  EXPECT_GT(at(px, rx, ly)[1], 200);
  EXPECT_LT(at(px, rx, ly)[0], 60);
  EXPECT_LT(at(px, W / 2, H / 2)[0] + at(px, W / 2, H / 2)[1], 10);  // dark between
  // Mirror images stay dark: neither upside down nor left-right turned.
  EXPECT_LT(at(px, rx, uy)[0] + at(px, rx, uy)[1], 30);
  EXPECT_LT(at(px, lx, ly)[0] + at(px, lx, ly)[1], 30);
}
