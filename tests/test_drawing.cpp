// The drawing modules in-process, each under its own namespace: quads,
// shaders, composition, motion blur, cubes, text, bands, tower, city field,
// box explosion, and the noise they are built on.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <GL/glut.h>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "boxsplotion.h"
#include "funcs/bands.h"
#include "funcs/cubebatch.h"
#include "funcs/cubes.h"
#include "funcs/gibson.h"
#include "funcs/quads.h"
#include "funcs/starfield.h"
#include "funcs/startscreen.h"
#include "funcs/text.h"
#include "funcs/tratt.h"
#include "funcs/wirelattice.h"
#include "harness/harness.h"
#include "main/driver.h"
#include "main/rawblur.h"
#include "main/startup.h"
#include "noise.h"
#include "shader.h"

// Two pictures of the same cubes drawn two ways, against the empty
// background: pixels drawn, pixels that moved by more than a few levels, and
// the ratio of the light each adds (which must not fade).
struct Difference {
  size_t drawn = 0, moved = 0;
  double light = 0;
};

Difference difference(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b,
                      const std::vector<uint8_t> &empty) {
  Difference d;
  long light[2] = {0, 0};
  for (size_t i = 0; i < a.size(); i += 3) {
    int most = 0;
    for (int c = 0; c < 3; ++c) {
      most = std::max(most, std::abs(a[i + c] - b[i + c]));
      light[0] += std::abs(a[i + c] - empty[i + c]);
      light[1] += std::abs(b[i + c] - empty[i + c]);
    }
    d.drawn += a[i] != empty[i] || a[i + 2] != empty[i + 2];
    d.moved += most > 3;
  }
  d.light = double(light[1]) / light[0];
  return d;
}

// Pixels of textured quads, rings and fades under the production's camera.
namespace quads_test {

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

}  // namespace quads_test

// The fragment programs: built once, switched by mode, failures visible,
// and the real glow respecting the caller's colour and alpha.
namespace shaders_test {

namespace fs = std::filesystem;

GLint currentProgram() {
  GLint p = -1;
  glGetIntegerv(GL_CURRENT_PROGRAM, &p);
  return p;
}

const char *PASS_THROUGH = "uniform sampler2D t; void main() { gl_FragColor = texture2D(t, gl_TexCoord[0].st) * gl_Color; }\n";

// The switch functions read data/shader/glsl/ relative to the working
// directory: give each test process one of its own.
std::string shaderDir() {
  static std::string dir;
  if (dir.empty()) {
    dir = makeWorkdir(false);
    fs::create_directories(dir + "/data/shader/glsl");
    if (chdir(dir.c_str()) != 0) ADD_FAILURE() << "chdir";
  }
  return dir + "/data/shader/glsl/";
}

TEST(Shaders, BuiltOnceSwitchedByMode) {
  std::string dir = shaderDir();
  writeFile(dir + "bloom.glsl", PASS_THROUGH);
  ensureGlContext();
  glUseProgramObjectARB(0);
  testing::internal::CaptureStdout();
  glsl_bloom_shader(0);  // first call builds and stays fixed-function
  EXPECT_EQ(currentProgram(), 0);
  // Changing the file afterwards changes nothing: it was read once.
  writeFile(dir + "bloom.glsl", "this is not GLSL");
  glsl_bloom_shader(1);
  GLint program = currentProgram();
  EXPECT_NE(program, 0);
  glsl_bloom_shader(0);
  EXPECT_EQ(currentProgram(), 0);
  glsl_bloom_shader(2);
  EXPECT_EQ(currentProgram(), program);
  glsl_bloom_shader(0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  GLint linked = 0;
  glGetObjectParameterivARB(GLhandleARB(program), GL_OBJECT_LINK_STATUS_ARB, &linked);
  EXPECT_EQ(linked, 1);
}

// The real glow over a black picture with one white square: light spreads
// around the square, and the caller's alpha switches it off.
TEST(Shaders, BloomGlowsAroundBrightShapesByCallerAlpha) {
  ensureGlContext(1024, 768);
  const int N = 256;
  std::vector<unsigned char> texels(N * N * 3, 0);
  for (int y = 118; y < 138; y++)
    for (int x = 118; x < 138; x++)
      for (int c = 0; c < 3; c++) texels[(y * N + x) * 3 + c] = 255;
  GLuint tex;
  glGenTextures(1, &tex);
  glBindTexture(GL_TEXTURE_2D, tex);
  glTexImage2D(GL_TEXTURE_2D, 0, 4, N, N, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
  GLhandleARB shader = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
  char *source = readFile((std::string(VY_SOURCE_DIR) + "/data/shader/glsl/bloom.glsl").c_str());
  const GLcharARB *text = source;
  glShaderSourceARB(shader, 1, &text, nullptr);
  free(source);
  glCompileShaderARB(shader);
  GLhandleARB program = glCreateProgramObjectARB();
  glAttachObjectARB(program, shader);
  glLinkProgramARB(program);

  auto glowAt = [&](float alpha, int x, int y) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -50);
    glRotatef(180, 0, 1, 0);
    glUseProgramObjectARB(program);
    glColor4f(1, 1, 1, alpha);
    draw2DTexture(0, 0, 0, 26, 21, tex);
    glUseProgramObjectARB(0);
    return int(readPixelsRGB(x, y, 1, 1)[1]);
  };
  // The square covers about 492..531 x 369..398; just outside it glows.
  EXPECT_GT(glowAt(1, 536, 384), 20);
  EXPECT_EQ(glowAt(1, 100, 100), 0);
  EXPECT_EQ(glowAt(0, 536, 384), 0);
  EXPECT_GT(glowAt(1, 512, 384), 100);
}

}  // namespace shaders_test

// Frame composition in-process: the off-screen picture shown upright
// through the glow, the light, and the scene clock's hand-over arithmetic.
namespace composite_test {

using quads_test::W;
using quads_test::H;
const auto at = quads_test::pixel;

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
  glRectf(-24, 10, -12, 19);
  glColor4f(0, 1, 0, 1);
  glRectf(12, -19, 24, -10);
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

}  // namespace composite_test

// The motion blur's shortcut for frames without blur leaves the same
// pixels, and the same remembered frame for the next blurred one, as the
// three accumulation steps: for every 8-bit level of every channel.
namespace blur_test {

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

}  // namespace blur_test

// Our cubes against GLUT's: every pixel read back must be the same, lit or
// not, opaque or see-through, at several sizes and turns; and the current
// normal is left as GLUT leaves it.
namespace cubes_test {

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

TEST(Cubes, PixelsEqualGlutsUnderLightColourAndAlpha) {
  startWindowFrame(W, H, 0.3f, 0.3f, 0.35f);  // the scene's background
  const std::vector<uint8_t> empty = readPixelsRGB(0, 0, W, H);
  const CubeLight setups[] = {
      {true, true, {1, 1, 1, 1}},          {true, true, {0.9f, 0.2f, 0.4f, 0.45f}},
      {false, true, {0.2f, 0.8f, 1, 1}},   {false, true, {1, 0.6f, 0.1f, 0.3f}},
      {true, false, {0.7f, 0.7f, 0.2f, 1}}, {true, false, {0.5f, 1, 0.5f, 0.6f}},
      {true, true, {1.4f, -0.2f, 0.5f, 1}},  // unclamped colours pass as given
  };
  int n = 0;
  for (const CubeLight &s : setups) {
    std::vector<uint8_t> pictures[2];
    GLfloat after[2][3];
    for (int k = 0; k < 2; ++k) {
      glNormal3f(0.6f, -0.3f, 0.74f);  // as another drawing left it
      pictures[k] = drawScene(s, k);
      glGetFloatv(GL_CURRENT_NORMAL, after[k]);
    }
    const auto &glut = pictures[0], &ours = pictures[1];

    const Difference d = difference(glut, ours, empty);
    EXPECT_TRUE(glut == ours) << "setup " << n << ": " << d.moved << " pixels differ by more than 3";
    for (int c = 0; c < 3; ++c) EXPECT_EQ(after[1][c], after[0][c]) << "setup " << n;
    EXPECT_GT(d.drawn, glut.size() / 3 / 10) << "setup " << n;  // the cubes cover a good part
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
    const Difference d = difference(pictures[0], pictures[1], empty);
    EXPECT_GT(d.drawn, size_t(W * H / 10)) << r.wire << r.alpha;
    EXPECT_LT(d.moved, d.drawn / (r.wire ? 20 : 50)) << r.wire << r.alpha;
    EXPECT_NEAR(d.light, 1.0, 0.02) << r.wire << r.alpha;
  }
  setLight(0);
  glEnable(GL_NORMALIZE);
}

}  // namespace cubes_test

// The wire lattice drawn as one array, each edge once, shows what the same
// cubes drawn one wireCube at a time show: an edge drawn a second time the
// other way round lights a few pixels of its own, so about a tenth of the
// lit pixels move; the light stays.
namespace lattice_test {

const int W = 320, H = 240;

std::vector<uint8_t> drawn(bool asLattice, float distance) {
  startWindowFrame(W, H, 0.1f, 0.1f, 0.1f);
  glTranslatef(0, 0, distance);
  glRotatef(distance, 1, 1, 0);
  glColor4f(0.6f, 0.6f, 0.6f, 0.8f);  // translucent: overdraw would show
  if (asLattice) {
    wireCubeLattice(-10, 1.5f, 10, 0.5);
  } else {
    for (float x = -10; x < 10; x += 1.5f)
      for (float y = -10; y < 10; y += 1.5f)
        for (float z = -10; z < 10; z += 1.5f) {
          glPushMatrix();
          glTranslatef(x, y, z);
          wireCube(0.5);
          glPopMatrix();
        }
  }
  return readPixelsRGB(0, 0, W, H);
}

TEST(WireLattice, ShowsWhatOneWireCubeAtATimeShows) {
  startWindowFrame(W, H, 0.1f, 0.1f, 0.1f);
  const std::vector<uint8_t> empty = readPixelsRGB(0, 0, W, H);
  // Far, near, and reaching behind the camera.
  for (float distance : {-90.0f, -30.0f, 45.0f}) {
    const Difference d = difference(drawn(false, distance), drawn(true, distance), empty);
    EXPECT_GT(d.drawn, 1000u) << distance;
    EXPECT_LT(d.moved, d.drawn / 8) << distance;
    EXPECT_NEAR(d.light, 1.0, 0.02) << distance;
  }
}

}  // namespace lattice_test

// Text: two font objects in all, glyph size by scale, nothing for an empty
// line, and no crash where the font is missing.
namespace text_test {

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

}  // namespace text_test

// Bands: each grows once per call to its own limits, the cube count per
// strand follows length and spacing, the ribbon lies on its helix.
namespace bands_test {

const int W = 1024, H = 768;

void startFrame() {
  startWindowFrame(W, H, 1, 0, 1);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
}

bool allMagenta(const std::vector<uint8_t> &px) {
  for (size_t i = 0; i < px.size(); i += 3)
    if (px[i] != 255 || px[i + 1] || px[i + 2] != 255) return false;
  return true;
}

// One test: both bands' growth lives in statics for the whole process.
TEST(Bands, SeparateGrowthCountsAndHelix) {
  startFrame();
  drawBand(0, 0, 0, 0);
  // The fast band starts from its own first size; invisible at alpha 0.
  startFrame();
  drawBandFast(0, 0, 0, 0, 0);
  EXPECT_TRUE(allMagenta(readPixelsRGB(0, 0, W, H)));
  BandCall slow = lastBandCall(false), fast = lastBandCall(true);
  for (const BandCall &b : {slow, fast}) {
    EXPECT_EQ(b.length, -29.8f);  // growth comes before drawing
    EXPECT_EQ(b.amp, 5.1f);
    EXPECT_EQ(b.strandCubes, 413);
  }

  for (int call = 2; call <= 76; call++) {
    drawBand(0, 0, 0, 0);
    slow = lastBandCall(false);
    if (call == 50 || call == 51) { EXPECT_FLOAT_EQ(slow.amp, 10.000005f); }  // stops at the limit
    if (call == 50) { EXPECT_NEAR(slow.length, -20.0f, 1e-4); }                // still growing
    if (call >= 75) {
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

}  // namespace bands_test

// The tratt tower read back through GL feedback: 200 levels of nine wire
// cubes, turned by its per-call clock from the very first call.
namespace tratt_test {

struct Point {
  float x, y, z;
};

// Line end points drawn by fn, in window coordinates. The view looks down
// the y axis at 10 pixels per unit: window x = 512 + 10 x, window y =
// 384 - 10 z, so turns about y show up exactly.
std::vector<Point> feedback(const std::function<void()> &fn) {
  std::vector<GLfloat> buffer(1 << 21);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 1024, 0, 768, -1000, 1000);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(512, 384, 0);
  glScalef(10, 10, 10);
  glRotatef(90, 1, 0, 0);
  glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
  glRenderMode(GL_FEEDBACK);
  fn();
  int n = glRenderMode(GL_RENDER);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  std::vector<Point> points;
  EXPECT_GT(n, 0);
  for (int i = 0; i < n;) {
    GLfloat token = buffer[i++];
    if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
      for (int v = 0; v < 2; v++, i += 3) points.push_back({buffer[i], buffer[i + 1], buffer[i + 2]});
    } else {
      ADD_FAILURE() << "unexpected token " << token;
      break;
    }
  }
  return points;
}

Point centre(const std::vector<Point> &p, size_t first, size_t count) {
  Point c = {0, 0, 0};
  for (size_t i = first; i < first + count; i++) c = {c.x + p[i].x, c.y + p[i].y, c.z + p[i].z};
  return {c.x / count, c.y / count, c.z / count};
}

// The first call turns the tower by -1 degree (its clock reads -0.1), the
// second by -2. The first upper funnel cube stands at offset a + w along x
// before the turn, with a = -10 and w = sin(clock + a).
TEST(Tratt, FirstCallTurnedByMinusOneDegree) {
  ensureGlContext(1024, 768);
  const size_t perCube = 24;  // a wire cube's twelve edges, each once
  for (int call = 1; call <= 2; call++) {
    std::vector<Point> p = feedback([] { drawTratt(0, 0, 0); });
    ASSERT_EQ(p.size(), 200 * 9 * perCube) << "call " << call;  // 200 levels, 9 cubes each
    double clock = -0.1 * call, turn = -call * M_PI / 180;
    Point column = centre(p, 0, perCube), arm = centre(p, perCube, perCube);
    EXPECT_NEAR(column.x, 512, 1e-3);  // on the axis, at height -20
    EXPECT_NEAR(column.y, 384, 1e-3);
    double r = -10 + std::sin(clock - 10);
    // Turning by angle t about y takes (r, 0, 0) to (r cos t, 0, -r sin t).
    EXPECT_NEAR(arm.x, 512 + 10 * r * std::cos(turn), 2e-3) << "call " << call;
    EXPECT_NEAR(arm.y, 384 + 10 * r * std::sin(turn), 2e-3) << "call " << call;
  }
}

}  // namespace tratt_test

// The Gibson particle field: its noise-made layout, each direction's move
// with the wrap and re-entry, and the drift of the whole field.
namespace gibson_test {

// The first call lays the field out and moves it once. Re-entries depend on
// the wall clock, so only the still cubes' places are compared. Then the
// drift: it wraps from about 50 to -50 on the 1,001st call.
TEST(GibsonField, FiftyDirectionCodesFromTheNoiseAndTheDrift) {
  ensureGlContext(320, 240);
  ASSERT_EQ(gibsonDrift(), -50.0f);
  drawGibsonParticles();
  const std::vector<int> expected = {5, 1, 0, 3, 4, 5, 0, 7, 4, 0, 6, 7, 5, 2, 7, 0, 5, 0, 3, 1, 3, 2, 1, 2, 6,
                                     7, 0, 1, 5, 6, 5, 5, 7, 5, 2, 6, 3, 5, 3, 1, 0, 2, 1, 7, 5, 6, 3, 6, 1, 5};
  const GibsonParticle *p = gibsonParticles();
  std::vector<int> codes;
  for (int i = 0; i < 50; i++) codes.push_back(p[i].direction);
  EXPECT_EQ(codes, expected);
  int still = 0;
  for (int i = 0; i < 50; i++) {
    EXPECT_EQ(p[i].y, 0.0f) << i;
    if (p[i].direction != 1) continue;
    still++;
    EXPECT_EQ(p[i].z, 200 * raw_noise(i, i, 1337) - 100) << i;
    EXPECT_EQ(p[i].x, 20 * raw_noise(i, 42, 45) - 10) << i;
  }
  EXPECT_EQ(still, 7);
  for (int i = 50; i < 100; i++)
    EXPECT_TRUE(p[i].x == 0 && p[i].z == 0 && p[i].direction == 0) << i;  // never used
  EXPECT_EQ(gibsonDrift(), float(-50 + 0.1));
  for (int call = 2; call <= 1000; call++) drawGibsonParticles();
  EXPECT_GT(gibsonDrift(), 49.9f);
  drawGibsonParticles();
  EXPECT_EQ(gibsonDrift(), -50.0f);
}

TEST(GibsonField, MovesWrapsAndReentersOnTheFarEdge) {
  const float R = NAN;  // the re-entry's random edge value goes here
  struct Case {
    GibsonParticle start;
    float x, z;   // after one move
    int randoms;  // rand values the move takes
  } cases[] = {
      {{5, 0, 98, 0}, 5, 100, 0},        // +z reaches the edge: strict test, stays
      {{5, 0, 99, 0}, R, -100, 1},       // +z leaves: in at -100 with a new x
      {{5, 0, 99, -3}, R, -100, 1},      // any code below 1 moves along +z
      {{5, 0, 250, 1}, 5, 250, 0},       // still, even far outside the field
      {{5, 0, -98, 2}, 5, -100, 0},      // -z at the edge
      {{5, 0, -150, 2}, R, 100, 1},      // -z from below the field: in at once
      {{-99, 0, 7, 3}, 100, R, 1},       // -x leaves: in at 100 with a new z
      {{-98, 0, 7, 3}, -100, 7, 0},      // -x at the edge
      {{99, 0, 7, 8}, -100, R, 1},       // codes above 4 move along +x
      {{98, 0, -270, 4}, 100, -270, 0},  // +x keeps an out-of-range z
  };
  for (const Case &c : cases) {
    srand(1234);
    int first = rand(), second = rand();
    float r = float(first % 200 - 100);
    int next = c.randoms ? second : first;
    srand(1234);
    GibsonParticle p = c.start;
    moveGibsonParticle(p);
    SCOPED_TRACE(testing::Message() << "from (" << c.start.x << ", " << c.start.z << ") code " << c.start.direction);
    EXPECT_EQ(p.x, std::isnan(c.x) ? r : c.x);
    EXPECT_EQ(p.z, std::isnan(c.z) ? r : c.z);
    EXPECT_EQ(p.direction, c.start.direction);
    EXPECT_EQ(rand(), next);  // exactly one rand per re-entry, none otherwise
  }
}

}  // namespace gibson_test

// Box explosion: the lattice at rest, the growing ripple, the call that
// draws two lattices, and the explosion that never ends. The cubes are read
// back through GL feedback under an orthographic view of 10 pixels a unit:
// each cube shows as its front and back faces, squares of its edge.
namespace boxes_test {

const float UNIT = 10;  // pixels per unit

struct Face {
  float x, y, z, edge;  // centre and edge, in units
};

struct Drawn {
  std::vector<Face> faces;
  std::map<int, int> polygonsByEdge;  // edge in hundredths -> polygons
};

Drawn call(float x, float y, float z, int explode) {
  ensureGlContext(320, 240);
  static std::vector<GLfloat> buffer(1 << 20);
  glViewport(0, 0, 1000, 1000);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(-50, 50, -50, 50, -100, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
  glRenderMode(GL_FEEDBACK);
  boxsplotion(x, y, z, explode);
  GLint used = glRenderMode(GL_RENDER);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  EXPECT_GT(used, 0) << "feedback buffer overflow";

  Drawn d;
  for (GLint at = 0; at < used;) {
    GLint token = GLint(buffer[at++]);
    if (token != GL_POLYGON_TOKEN) {
      ADD_FAILURE() << "unexpected feedback token " << token;
      break;
    }
    int n = int(buffer[at++]);
    float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f, zs = 0;
    for (int v = 0; v < n; v++, at += 3) {
      x0 = std::min(x0, buffer[at]);
      x1 = std::max(x1, buffer[at]);
      y0 = std::min(y0, buffer[at + 1]);
      y1 = std::max(y1, buffer[at + 1]);
      zs += buffer[at + 2];
    }
    if (x1 - x0 < 0.01f || y1 - y0 < 0.01f) continue;  // a side face, seen edge-on
    float edge = (x1 - x0) / UNIT;
    // Window depth 0..1 maps back to z from 100 to -100.
    d.faces.push_back({(x0 + x1) / 2 / UNIT - 50, (y0 + y1) / 2 / UNIT - 50, 100 * (1 - 2 * zs / n), edge});
    d.polygonsByEdge[int(std::lround(edge * 100))]++;
  }
  return d;
}

// Faces per cube as the solid cube is built (two squares, or four
// triangles); learnt from the rest lattice of 1,000 cubes.
int perCube = 0;

std::map<int, int> cubesByEdge(const Drawn &d) {
  std::map<int, int> cubes;
  for (auto [edge, count] : d.polygonsByEdge) cubes[edge] = count / perCube;
  return cubes;
}

void expectState(float boxsize, float global, float start_sine, int stage, int boom, const char *when) {
  BoxsplotionState s = boxsplotionState();
  EXPECT_FLOAT_EQ(s.boxsize, boxsize) << when;
  EXPECT_NEAR(s.global, global, std::fabs(global) * 1e-5 + 1e-9) << when;
  EXPECT_EQ(s.start_sine, start_sine) << when;
  EXPECT_EQ(s.stage, stage) << when;
  EXPECT_EQ(s.boom, boom) << when;
}

// The largest distance of a face centre from the integer grid on one axis.
float offGrid(const std::vector<Face> &faces, float Face::*axis) {
  float m = 0;
  for (auto &f : faces) m = std::max(m, std::fabs(f.*axis - std::round(f.*axis)));
  return m;
}

std::pair<float, float> extent(const std::vector<Face> &faces, float Face::*axis) {
  auto [lo, hi] = std::minmax_element(faces.begin(), faces.end(),
                                      [axis](const Face &a, const Face &b) { return a.*axis < b.*axis; });
  return {(*lo).*axis, (*hi).*axis};
}

// The animation never resets, so the whole life of the routine is one test.
TEST(Boxsplotion, RestRippleTwoLatticesThenEndlessExplosion) {
  // At rest: 1,000 cubes of edge 0.5 at -5..4 around the point, no change.
  Drawn rest = call(3, -2, 1, 0);
  ASSERT_EQ(rest.polygonsByEdge.size(), 1u);
  ASSERT_EQ(rest.polygonsByEdge.count(50), 1u);
  perCube = rest.polygonsByEdge[50] / 1000;
  ASSERT_TRUE(perCube == 2 || perCube == 4) << rest.polygonsByEdge[50];
  auto [x0, x1] = extent(rest.faces, &Face::x);
  EXPECT_NEAR(x0, 3 - 5, 1e-3);
  EXPECT_NEAR(x1, 3 + 4, 1e-3);  // not symmetric about the point
  expectState(0.5f, 0.01f, 0, 0, 0, "at rest");

  // The ripple: the first three calls shrink the cubes, the amplitude grows
  // by a quarter a call and moves cubes in y and z only.
  const int rippleEdges[] = {40, 30, 20, 20, 20};
  for (int n = 1; n <= 30; n++) {
    float before = boxsplotionState().global;
    Drawn d = call(0, 0, 0, 1);
    std::map<int, int> expected{{n <= 5 ? rippleEdges[n - 1] : 20, 1000}};
    ASSERT_EQ(cubesByEdge(d), expected) << "call " << n;
    EXPECT_EQ(offGrid(d.faces, &Face::x), 0) << "call " << n;
    if (n == 20) {
      EXPECT_GT(offGrid(d.faces, &Face::y), 0.9f * std::min(before, 0.5f));
      EXPECT_LE(offGrid(d.faces, &Face::y), 0.5f);
    }
    expectState(n <= 2 ? 0.5f - 0.1f * n : 0.2f, float(0.01 * std::pow(1.25, n)), 0.5f * n, 0, 0, "ripple");
  }

  // The 31st call ends the ripple and primes the explosion in one go: the
  // last ripple at edge 0.2, then the lattice undisplaced at edge 0.3.
  Drawn both = call(0, 0, 0, 1);
  EXPECT_EQ(cubesByEdge(both), (std::map<int, int>{{20, 1000}, {30, 1000}}));
  for (auto &f : both.faces)
    if (std::lround(f.edge * 100) == 30) {
      ASSERT_NEAR(f.x, std::round(f.x), 1e-3);
      ASSERT_NEAR(f.y, std::round(f.y), 1e-3);
    }
  expectState(0.3f, -0.01f, 15.5f, 1, 1, "call 31");

  // The 32nd again undisplaced.
  EXPECT_EQ(cubesByEdge(call(0, 0, 0, 1)), (std::map<int, int>{{40, 1000}}));

  // The 33rd: the fixed z offsets of up to 10 either way show in full,
  // with next to no spread in x and y.
  Drawn offsets = call(0, 0, 0, 1);
  EXPECT_EQ(cubesByEdge(offsets), (std::map<int, int>{{50, 1000}}));
  auto [zmin, zmax] = extent(offsets.faces, &Face::z);
  EXPECT_LT(zmin, -14);
  EXPECT_GT(zmax, 13);
  EXPECT_LT(offGrid(offsets.faces, &Face::x), 1e-3);

  // From now on every cube of an (i, j) column leaves along the x-y
  // diagonal: the same offset in x as in y, up to 20 x the spread factor.
  Drawn spread = call(0, 0, 0, 1);
  EXPECT_EQ(cubesByEdge(spread), (std::map<int, int>{{60, 1000}}));
  float most = 0;
  for (auto &f : spread.faces) {
    float dx = f.x - std::round(f.x), dy = f.y - std::round(f.y);
    ASSERT_NEAR(dx, dy, 1e-3);
    ASSERT_LE(std::fabs(dx), 20 * 0.01f + 1e-4);
    most = std::max(most, std::fabs(dx));
  }
  EXPECT_GT(most, 0.1f);

  // The cubes swell to just above 1.0 and stay; the spread grows for good.
  const int swell[] = {70, 80, 90, 100, 100};
  for (int edge : swell) EXPECT_EQ(cubesByEdge(call(0, 0, 0, 1)), (std::map<int, int>{{edge, 1000}}));
  BoxsplotionState s = boxsplotionState();
  EXPECT_GT(s.boxsize, 1.0f);
  EXPECT_NEAR(s.global, 0.01f * 7, 1e-4);
  for (int n = 0; n < 50; n++) call(0, 0, 0, 1);
  expectState(s.boxsize, 0.01f * 57, 15.5f, 1, 1, "57 calls into the explosion");
}

}  // namespace boxes_test

// Exact values of the noise family: other modules depend on every bit.
namespace noise_test {

TEST(RawNoise, KnownHashesAndValues) {
  struct {
    int x, y, seed;
    uint32_t hash;
    float value;
  } cases[] = {
      {0, 0, 0, 1376312589u, -0.28179097175598145f},
      {0, 0, 42, 689716523u, 0.35765144f},
      {1, 1, 42, 80807077u, 0.92474252f},
      {2, 2, 42, 2039521759u, -0.89945263f},
  };
  for (auto &c : cases) {
    EXPECT_EQ(noise_hash(c.x, c.y, c.seed), c.hash) << c.x << "," << c.y << "," << c.seed;
    EXPECT_EQ(raw_noise(c.x, c.y, c.seed), c.value) << c.x << "," << c.y << "," << c.seed;
  }
}

TEST(RawNoise, WrapsAtThirtyTwoBits) {
  // Large and negative arguments overflow the hash; results stay in range
  // and agree with the same bit patterns given unsigned.
  for (int v : {INT_MIN, -1, INT_MAX, 123456789}) {
    float r = raw_noise(v, v, v);
    EXPECT_GE(r, -1.0f);
    EXPECT_LE(r, 1.0f);
  }
  EXPECT_EQ(noise_hash(-1, 0, 0), noise_hash(int32_t(0xFFFFFFFFu), 0, 0));
}

}  // namespace noise_test
