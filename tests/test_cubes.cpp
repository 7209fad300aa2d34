// Our cubes against GLUT's: every pixel read back must be the same, lit or
// not, opaque or see-through, at several sizes and turns; and the current
// normal is left as GLUT leaves it.
#include <GL/glew.h>
#include <GL/glut.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "funcs/cubebatch.h"
#include "funcs/cubes.h"
#include "harness/harness.h"
#include "main/driver.h"

namespace {

const int W = 320, H = 240;

struct CubeLight {
  bool lit, normalize;
  float colour[4];
};

// A little scene of cubes through the production's camera, drawn over a
// mid-grey background so blending shows; cubes overlap and cut each other,
// and translucent ones show their back faces.
std::vector<uint8_t> drawScene(const CubeLight &s, bool ours) {
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  glViewport(0, 0, W, H);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 1.25, 1.0, 200.0);
  glMatrixMode(GL_MODELVIEW);
  glClearColor(0.3f, 0.3f, 0.35f, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  setLight(s.lit);
  if (s.normalize) glEnable(GL_NORMALIZE); else glDisable(GL_NORMALIZE);
  glColor4fv(s.colour);

  const double sizes[] = {1.0, 0.5, 3.7, 12.25, 0.013, 7.0};
  for (int i = 0; i < 6; ++i) {
    glLoadIdentity();
    glTranslatef(0, 0, -50);
    glTranslatef(-12.0f + 5.0f * i, (i % 2) ? 4.0f : -3.0f, -2.0f * i);
    glRotatef(17.0f + 33.0f * i, 0.3f, 1.0f, 0.2f * i);
    glRotatef(11.0f * i, 1, 0, 0);
    if (i == 3) glScalef(1.0f, 0.6f, 1.4f);  // a scaled frame: normals grow
    if (i % 2) {
      if (ours) wireCube(sizes[i]); else glutWireCube(sizes[i]);
    }
    if (ours) solidCube(sizes[i]); else glutSolidCube(sizes[i]);
  }
  // A quad without a normal of its own after the cubes: lit by whatever
  // normal the cubes left current.
  glLoadIdentity();
  glTranslatef(0, 0, -50);
  glBegin(GL_QUADS);
  glVertex3f(8, -10, 1);
  glVertex3f(14, -10, 1);
  glVertex3f(14, -4, 1);
  glVertex3f(8, -4, 1);
  glEnd();
  glFinish();
  return readPixelsRGB(0, 0, W, H);
}

}  // namespace

TEST(Cubes, PixelsEqualGlutsUnderLightColourAndAlpha) {
  ensureGlContext(W, H);
  const CubeLight setups[] = {
      {true, true, {1, 1, 1, 1}},          {true, true, {0.9f, 0.2f, 0.4f, 0.45f}},
      {false, true, {0.2f, 0.8f, 1, 1}},   {false, true, {1, 0.6f, 0.1f, 0.3f}},
      {true, false, {0.7f, 0.7f, 0.2f, 1}}, {true, false, {0.5f, 1, 0.5f, 0.6f}},
      {true, true, {1.4f, -0.2f, 0.5f, 1}},  // unclamped colours pass as given
  };
  int n = 0;
  for (const CubeLight &s : setups) {
    // The normal current before the cubes (as another drawing left it).
    glNormal3f(0.6f, -0.3f, 0.74f);
    auto glut = drawScene(s, false);
    GLfloat afterGlut[3];
    glGetFloatv(GL_CURRENT_NORMAL, afterGlut);
    glNormal3f(0.6f, -0.3f, 0.74f);
    auto ours = drawScene(s, true);
    GLfloat afterOurs[3];
    glGetFloatv(GL_CURRENT_NORMAL, afterOurs);

    size_t differing = 0, first = 0;
    for (size_t i = 0; i < glut.size(); ++i)
      if (glut[i] != ours[i] && differing++ == 0) first = i;
    EXPECT_EQ(differing, 0u) << "setup " << n << ", first at pixel " << first / 3;
    for (int c = 0; c < 3; ++c) EXPECT_EQ(afterOurs[c], afterGlut[c]) << "setup " << n;
    // The scene is not empty: cubes cover a good part of the picture.
    size_t background = 0;
    for (size_t i = 0; i < glut.size(); i += 3)
      if (glut[i] == glut[0] && glut[i + 1] == glut[1] && glut[i + 2] == glut[2]) ++background;
    EXPECT_LT(background, glut.size() / 3 * 9 / 10) << "setup " << n;
    ++n;
  }
  glDisable(GL_LIGHTING);
  glEnable(GL_NORMALIZE);
}

// Batched cubes against the same cubes drawn one at a time: frames applied
// on the CPU, hidden faces left out of opaque ones and every wire edge
// drawn once move only a few edge pixels, and by a few levels at most.
TEST(Cubes, BatchesShowWhatOneAtATimeShows) {
  struct Row {
    bool wire, lit, dropHidden;
    float alpha, size;
  };
  const Row rows[] = {
      {false, true, true, 1.0f, 1.5f},  // the ribbon
      {false, true, true, 1.0f, 120},   // cubes around the camera show their insides
      {false, true, false, 0.4f, 1.5f},  // a fading band: back faces show through
      {true, false, false, 0.7f, 1.5f},  // the tower
  };
  startWindowFrame(W, H, 0.3f, 0.3f, 0.35f);
  const std::vector<uint8_t> empty = readPixelsRGB(0, 0, W, H);
  for (const Row &r : rows) {
    std::vector<uint8_t> pictures[2];
    for (int batched = 0; batched < 2; ++batched) {
      startWindowFrame(W, H, 0.3f, 0.3f, 0.35f);
      setLight(r.lit);
      glDisable(GL_NORMALIZE);
      glRotatef(25, 0.2f, 1, 0);
      for (int i = 0; i < 300; ++i) {
        const float a = i * 7.0f, x = -15 + i * 0.1f, y = 6 * std::sin(i * 0.05f);
        const float colour[4] = {0.4f, 0.5f, 0.3f + i / 300.0f, r.alpha};
        if (batched) {
          CubeFrame f = cubeFrame();
          frameRotate(f, a, 1, 0.1f, 0.5f);
          frameTranslate(f, x, y, 0);
          (r.wire ? batchWireCube : batchSolidCube)(f, r.size, colour);
        } else {
          glPushMatrix();
          glRotatef(a, 1, 0.1f, 0.5f);
          glTranslatef(x, y, 0);
          glColor4fv(colour);
          if (r.wire) wireCube(r.size); else solidCube(r.size);
          glPopMatrix();
        }
      }
      if (batched) flushCubeBatch(r.dropHidden);
      glFinish();
      pictures[batched] = readPixelsRGB(0, 0, W, H);
    }
    // Pixels that changed by more than a few levels, against those drawn;
    // and the light the cubes add to the background, which must not fade.
    size_t moved = 0, drawn = 0;
    long light[2] = {0, 0};
    for (size_t i = 0; i < pictures[0].size(); i += 3) {
      int d = 0;
      for (int c = 0; c < 3; ++c) {
        d = std::max(d, std::abs(pictures[0][i + c] - pictures[1][i + c]));
        for (int k = 0; k < 2; ++k) light[k] += std::abs(pictures[k][i + c] - empty[i + c]);
      }
      drawn += pictures[0][i] != empty[i] || pictures[0][i + 2] != empty[i + 2];
      moved += d > 3;
    }
    EXPECT_GT(drawn, size_t(W * H / 10)) << r.wire << r.alpha;
    EXPECT_LT(moved, drawn / (r.wire ? 20 : 50)) << r.wire << r.alpha;
    EXPECT_NEAR(double(light[1]) / light[0], 1.0, 0.02) << r.wire << r.alpha;
  }
  setLight(0);
  glEnable(GL_NORMALIZE);
}
