// Text: two font objects in all, glyph size by scale, nothing for an empty
// line, and no crash where the font is missing.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include "funcs/text.h"
#include "harness/harness.h"

namespace {

const int W = 320, H = 240;

// Rows of the window that hold any lit pixel, after drawing on black.
int litRows(void (*draw)()) {
  startWindowFrame(W, H, 0, 0, 0);
  glColor4f(1, 1, 1, 1);
  draw();
  auto px = readPixelsRGB(0, 0, W, H);
  int rows = 0;
  for (int y = 0; y < H; y++) {
    bool lit = false;
    for (int x = 0; x < W && !lit; x++) lit = px[(size_t(y) * W + x) * 3] > 128;
    rows += lit;
  }
  return rows;
}

}  // namespace

// Runs from the source tree, where the build puts the font.
TEST(Text, TwoFontsScaleAndEmptyLine) {
  int whole = litRows([] { drawColorText("H", 0, 0, 0, 1.0f); });
  int half = litRows([] { drawColorText("H", 0, 0, 0, 0.5f); });
  int white = litRows([] { drawText("H", 0, 0, 0, 1.0f); });
  for (int i = 0; i < 20; i++) {
    drawText("again", 0, 0, 0, 0.5f);
    drawColorText("again", 0, 0, 0, 0.6f);
  }
  EXPECT_EQ(textFontsCreated(), 2);
  // A capital is about 3 units high at face size 4: some 18 rows of 240
  // with this view (41.4 units high at z = 0), half as many at scale 0.5.
  EXPECT_GT(whole, 14);
  EXPECT_LT(whole, 24);
  EXPECT_NEAR(half * 2, whole, 3);
  EXPECT_EQ(white, whole);
  GLint depth = 0, before = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &before);
  EXPECT_EQ(litRows([] { drawText("", 0, 0, 0, 1.0f); }), 0);
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, before);
}
