// Pixels of textured quads, rings and fades under the production's camera.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "funcs/quads.h"
#include "funcs/starfield.h"
#include "funcs/startscreen.h"
#include "harness/harness.h"

namespace {

const int W = 1024, H = 768;

// Quadrants: bottom row red, green; top row blue, white. Large enough that
// linear filtering leaves the quadrants' inner parts pure.
GLuint quadrantTexture() {
  ensureGlContext(W, H);
  const int N = 64;
  std::vector<unsigned char> texels(N * N * 3);
  for (int y = 0; y < N; y++)
    for (int x = 0; x < N; x++) {
      unsigned char *t = &texels[(y * N + x) * 3];
      bool right = x >= N / 2, top = y >= N / 2;
      t[0] = (!right && !top) || (right && top) ? 255 : 0;
      t[1] = right ? 255 : 0;
      t[2] = top ? 255 : 0;
    }
  GLuint t;
  glGenTextures(1, &t);
  glBindTexture(GL_TEXTURE_2D, t);
  glTexImage2D(GL_TEXTURE_2D, 0, 4, N, N, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
  return t;
}

void startFrame(float grey) {
  startWindowFrame(W, H, grey, grey, grey);
  glColor4f(1, 1, 1, 1);
}

std::vector<int> pixel(const std::vector<uint8_t> &px, int x, int y) {
  size_t i = (size_t(y) * W + x) * 3;
  return {px[i], px[i + 1], px[i + 2]};
}

const std::vector<int> RED{255, 0, 0}, GREEN{0, 255, 0}, BLUE{0, 0, 255}, WHITE{255, 255, 255};

}  // namespace

TEST(Quads, UnturnedQuadIsMirroredAndPlacedAtItsCentre) {
  GLuint tex = quadrantTexture();
  startFrame(0);
  // Centre (-13, 0), half extents 13 x 21: the left half of the view.
  draw2DTexture(-13, 0, 0, 13, 21, tex);
  auto px = readPixelsRGB(0, 0, W, H);
  EXPECT_EQ(pixel(px, 60, 100), GREEN);  // s grows towards -x
  EXPECT_EQ(pixel(px, 450, 100), RED);
  EXPECT_EQ(pixel(px, 60, H - 100), WHITE);
  EXPECT_EQ(pixel(px, W - 60, H / 2), (std::vector<int>{0, 0, 0}));  // right half untouched
}

TEST(Quads, StartScreenFillsTheViewUpright) {
  GLuint tex = quadrantTexture();
  startFrame(0.5f);
  drawStartScreen(tex);
  auto px = readPixelsRGB(0, 0, W, H);
  EXPECT_EQ(pixel(px, 20, 20), RED);
  EXPECT_EQ(pixel(px, W - 20, 20), GREEN);
  EXPECT_EQ(pixel(px, 20, H - 20), BLUE);
  EXPECT_EQ(pixel(px, W - 20, H - 20), WHITE);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST(Quads, RingLiesOnItsRadius) {
  startFrame(0);
  glColor4f(1, 1, 1, 1);
  drawCircle(0, 0, 0, 10);
  auto px = readPixelsRGB(0, 0, W, H);
  // Radius 10 at distance 50 under the 45-degree, 1.25-aspect view.
  double halfW = 50 * std::tan(M_PI / 8) * 1.25, halfH = 50 * std::tan(M_PI / 8);
  double rx = 10 / halfW * W / 2, ry = 10 / halfH * H / 2;
  int on = 0, off = 0;
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      if (pixel(px, x, y)[0] < 128) continue;
      double dx = (x + 0.5 - W / 2) / rx, dy = (y + 0.5 - H / 2) / ry;
      double r = std::sqrt(dx * dx + dy * dy);
      (std::fabs(r - 1) < 0.02 ? on : off)++;
    }
  EXPECT_GT(on, 600);  // dashes scattered all round
  EXPECT_EQ(off, 0);
}

TEST(Quads, FadeCoversTheViewByAlpha) {
  ensureGlContext(W, H);
  GLuint black;
  const unsigned char zero[4] = {0, 0, 0, 0};
  glGenTextures(1, &black);
  glBindTexture(GL_TEXTURE_2D, black);
  glTexImage2D(GL_TEXTURE_2D, 0, 4, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, zero);
  struct {
    float alpha;
    int expected;
  } cases[] = {{0.0f, 255}, {0.5f, 128}, {1.0f, 0}};
  for (auto &c : cases) {
    startFrame(1);
    fade(c.alpha, black);
    auto px = readPixelsRGB(0, 0, W, H);
    for (auto [x, y] : {std::pair{0, 0}, {W - 1, H - 1}, {W / 2, H / 2}})
      EXPECT_NEAR(pixel(px, x, y)[1], c.expected, 1) << c.alpha;
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[3], c.alpha);
  }
}

TEST(Starfield, FliesTwoUnitsAFrameAndWrapsPastForty) {
  ensureGlContext(W, H);
  drawStarfield(0, 0, 0, 1);  // builds the table on the first call only
  float before[20][20];
  for (int i = 0; i < 20; i++)
    for (int j = 0; j < 20; j++) before[i][j] = starTable()[i][j][2];
  startFrame(0);
  drawStarfield(0, 0, 0, 1);
  int wrapped = 0;
  for (int i = 0; i < 20; i++)
    for (int j = 0; j < 20; j++) {
      float z = before[i][j] + 2.0f;
      if (z > 40.0f) z -= 50.0f, wrapped++;
      ASSERT_EQ(starTable()[i][j][2], z) << i << "," << j;
    }
  EXPECT_GT(wrapped, 0);
  auto px = readPixelsRGB(0, 0, W, H);
  int lit = 0;
  for (size_t i = 0; i < px.size(); i += 3) lit += px[i] > 100;
  EXPECT_GT(lit, 2000);  // the stars were drawn
}
