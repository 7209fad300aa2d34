// The drawing modules in-process: quads, shaders, composition, motion blur,
// cubes, text, bands, city field, box explosion, and the noise beneath.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <GL/glut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
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
#include "main/windowblur.h"
#include "main/startup.h"
#include "noise.h"
#include "shader.h"

const int W = 320, H = 240;  // cubes and text

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

const int FW = 1024, FH = 768;  // the full window

std::vector<int> pixel(const std::vector<uint8_t> &px, int x, int y) {
  size_t i = (size_t(y) * FW + x) * 3;
  return {px[i], px[i + 1], px[i + 2]};
}

// The start screen's picture fills the view upright. Quadrants: bottom row
// red, green; top row blue, white; large enough that linear filtering
// leaves their inner parts pure.
TEST(Quads, StartScreenFillsTheViewUpright) {
  ensureGlContext(FW, FH);
  const int N = 64;
  std::vector<unsigned char> texels(N * N * 3);
  for (int y = 0; y < N; y++)
    for (int x = 0; x < N; x++) {
      unsigned char *t = &texels[(y * N + x) * 3];
      bool right = x >= N / 2, top = y >= N / 2;
      t[0] = right == top ? 255 : 0;
      t[1] = right ? 255 : 0;
      t[2] = top ? 255 : 0;
    }
  GLuint tex;
  glGenTextures(1, &tex);
  glBindTexture(GL_TEXTURE_2D, tex);
  glTexImage2D(GL_TEXTURE_2D, 0, 4, N, N, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
  startWindowFrame(FW, FH, 0.5f, 0.5f, 0.5f);
  glColor4f(1, 1, 1, 1);
  drawStartScreen(tex);
  auto px = readPixelsRGB(0, 0, FW, FH);
  EXPECT_EQ(pixel(px, 20, 20), (std::vector<int>{255, 0, 0}));
  EXPECT_EQ(pixel(px, FW - 20, 20), (std::vector<int>{0, 255, 0}));
  EXPECT_EQ(pixel(px, 20, FH - 20), (std::vector<int>{0, 0, 255}));
  EXPECT_EQ(pixel(px, FW - 20, FH - 20), (std::vector<int>{255, 255, 255}));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

// The fragment programs: built once, switched by mode, failures visible.
GLint currentProgram() {
  GLint p = -1;
  glGetIntegerv(GL_CURRENT_PROGRAM, &p);
  return p;
}

// The switch functions read data/shader/glsl/ relative to the working
// directory: this test process gets one of its own.
TEST(Shaders, BuiltOnceSwitchedByMode) {
  const std::string work = makeWorkdir(false), dir = work + "/data/shader/glsl/";
  std::filesystem::create_directories(dir);
  ASSERT_EQ(chdir(work.c_str()), 0);
  writeFile(dir + "bloom.glsl",
            "uniform sampler2D t; void main() { gl_FragColor = texture2D(t, gl_TexCoord[0].st) * gl_Color; }\n");
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

// Frame composition in-process: the off-screen picture shown upright
// through the real glow. Runs from the source tree (ctest's working
// directory) for the shader file.
TEST(Composite, OffscreenPictureUprightThroughTheGlow) {
  ensureGlContext(FW, FH);
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
  auto px = readPixelsRGB(0, 0, FW, FH);  // bottom row first
  // 18 units left of centre and 14.5 up, in the window's pixels.
  int lx = int(FW / 2 * (1 - 18 / 25.89)), uy = int(FH / 2 * (1 + 14.5 / 20.71));
  int rx = FW - lx, ly = FH - uy;
  EXPECT_GT(pixel(px, lx, uy)[0], 200);
  EXPECT_LT(pixel(px, lx, uy)[1], 60);
  EXPECT_GT(pixel(px, rx, ly)[1], 200);
  EXPECT_LT(pixel(px, rx, ly)[0], 60);
  EXPECT_LT(pixel(px, FW / 2, FH / 2)[0] + pixel(px, FW / 2, FH / 2)[1], 10);  // dark between
  // Mirror images stay dark: neither upside down nor left-right turned.
  EXPECT_LT(pixel(px, rx, uy)[0] + pixel(px, rx, uy)[1], 30);
  EXPECT_LT(pixel(px, lx, ly)[0] + pixel(px, lx, ly)[1], 30);
  // The glow: light spreads a little beyond the red square's right edge.
  const int edge = int(FW / 2 * (1 - 12 / 25.89));
  EXPECT_GT(pixel(px, edge + 3, uy)[0], 20);
}

// Raw streams blur their frames off the GL thread, and the window's blur
// uses the same arithmetic: frame after frame, with every weight the show
// uses (and the identities 1 and 0), both give the window's pixels after
// the accumulation steps, to the bit, in every level.
const int BW = 256, BH = 64;

// Every level in every channel: column x holds level x in red, 255 - x in
// green and (x * 7) mod 256 in blue, each row shifted three levels from the
// one below (so a frame upside down shows); rows vary alpha.
void drawLevels(int shift) {
  std::vector<unsigned char> px((size_t)BW * BH * 4);
  for (int y = 0; y < BH; ++y)
    for (int x = 0; x < BW; ++x) {
      unsigned char *p = &px[((size_t)y * BW + x) * 4];
      const int v = (x + shift + 3 * y) & 255;
      p[0] = (unsigned char)v;
      p[1] = (unsigned char)(255 - v);
      p[2] = (unsigned char)(v * 7);
      p[3] = (unsigned char)(y * 4);
    }
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);
  glWindowPos2i(0, 0);
  glDrawPixels(BW, BH, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  glEnable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

// What the X server shows in the current window, in readPixelsRGB's
// order: bottom row first, red, green, blue.
std::vector<uint8_t> screenRGB(int w, int h) {
  Display *display = glXGetCurrentDisplay();
  XImage *image = XGetImage(display, glXGetCurrentDrawable(), 0, 0, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
  std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      uint8_t *out = &rgb[(size_t(h - 1 - y) * size_t(w) + size_t(x)) * 3];
      out[0] = uint8_t(p >> 16);
      out[1] = uint8_t(p >> 8);
      out[2] = uint8_t(p);
    }
  XDestroyImage(image);
  return rgb;
}

// The screen shows nothing of a window before the server has mapped it
// (the request waits in Xlib's queue until something sends it), and X
// reads back only what lies on the screen: GLUT puts the window at -1, -1.
void waitUntilViewable() {
  Display *display = glXGetCurrentDisplay();
  XMoveWindow(display, glXGetCurrentDrawable(), 0, 0);
  XWindowAttributes attributes;
  for (int i = 0; i < 500; ++i) {
    XSync(display, False);
    XGetWindowAttributes(display, glXGetCurrentDrawable(), &attributes);
    if (attributes.map_state == IsViewable) return;
    usleep(10000);
  }
  FAIL() << "the window was never mapped";
}

// glAccum's results for the frames below, kept for displays that offer no
// accumulation buffer (current Mesa, NVIDIA, Xwayland). A pixel's history
// depends only on (x + 3y) mod 256, so a frame's row 0 holds the whole
// frame: 256 pixels of RGB a frame. Made on a display that has the buffer by
// running this test with VY_WRITE_ACCUM_TABLE=1; every run there checks
// the table against glAccum again.
const std::string kAccumTable = std::string(VY_SOURCE_DIR) + "/tests/data/accum-levels.bin";
const size_t kAccumRow = 256 * 3;

std::vector<uint8_t> expandAccumRow(const uint8_t *row) {
  std::vector<uint8_t> frame(size_t(BW) * BH * 3);
  for (int y = 0; y < BH; ++y)
    for (int x = 0; x < BW; ++x)
      std::copy_n(row + size_t((x + 3 * y) & 255) * 3, 3, &frame[(size_t(y) * BW + size_t(x)) * 3]);
  return frame;
}

// Frames without blur take a shortcut; the weights after them show that it
// leaves the same remembered frame as the three accumulation steps. The
// window is blurred whole, with blending, depth test and a texture left on.
TEST(MotionBlur, WindowAndRawStreamBlurEqualTheAccumulationBuffer) {
  ensureGlContext(BW, BH, true);
  waitUntilViewable();
  GLint accumBits = 0;
  glGetIntegerv(GL_ACCUM_RED_BITS, &accumBits);
  const bool writeTable = getenv("VY_WRITE_ACCUM_TABLE") != nullptr;
  ASSERT_TRUE(accumBits > 0 || !writeTable) << "the table is made where the display has an accumulation buffer";
  const std::string table = writeTable ? std::string() : readFile(kAccumTable);
  std::string written;
  glClearAccum(0, 0, 0, 1);
  glClear(GL_ACCUM_BUFFER_BIT);
  RawBlur raw;
  std::vector<uint8_t> drawn(BW * BH * 3, 0);
  raw.apply(drawn.data(), drawn.data(), drawn.size(), 0);  // the cleared buffer
  // Scene 9's ease from 0.9 and scene 10's run down to nothing among them.
  std::vector<float> weights = {0, 0.9f, 0.9f, 0.94f, 0.5f, 1.0f, 0.5f, 0, 0.39f, 0.9f};
  float m = 0.9f;
  for (int k = 0; k < 60; ++k) weights.push_back(m = float(m - 0.01));
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  const uint8_t dark[4] = {10, 10, 10, 255};
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, dark);
  if (!writeTable) {
    ASSERT_EQ(table.size(), weights.size() * kAccumRow) << kAccumTable;
  }
  int shift = 0;
  for (size_t frame = 0; frame < weights.size(); ++frame) {
    const float w = weights[frame];
    drawLevels(shift += 37);
    drawn = readPixelsRGB(0, 0, BW, BH);
    std::vector<uint8_t> accumulated;
    if (!writeTable) accumulated = expandAccumRow((const uint8_t *)table.data() + frame * kAccumRow);
    if (accumBits > 0) {
      if (w == 0) {
        glAccum(GL_LOAD, 1.0f);
      } else {
        glAccum(GL_MULT, w);
        glAccum(GL_ACCUM, 1 - w);
        glAccum(GL_RETURN, 1.0);
      }
      const std::vector<uint8_t> returned = readPixelsRGB(0, 0, BW, BH);
      if (writeTable) {
        written.append((const char *)returned.data(), kAccumRow);
        accumulated = returned;
      }
      ASSERT_TRUE(returned == accumulated) << "glAccum against the stored table, weight " << w;
    }
    drawLevels(shift);
    glEnable(GL_TEXTURE_2D);
    // Every other frame goes to the screen straight from memory, as the
    // live show's do; Xvfb offers shared-memory images, so a blurred one
    // must go that way.
    const bool show = (shift / 37) % 2 == 0;
    const bool shown = blurWindow(w, show);
    glDisable(GL_TEXTURE_2D);
    ASSERT_EQ(shown, show && w != 0) << "weight " << w;
    if (shown)
      ASSERT_TRUE(screenRGB(BW, BH) == accumulated) << "screen, weight " << w << ", frame shift " << shift;
    else
      ASSERT_TRUE(readPixelsRGB(0, 0, BW, BH) == accumulated) << "window, weight " << w << ", frame shift " << shift;
    std::vector<uint8_t> ours(drawn.size());
    raw.apply(drawn.data(), ours.data(), drawn.size(), w);
    ASSERT_TRUE(ours == accumulated) << "raw, weight " << w << ", frame shift " << shift;
  }
  glDeleteTextures(1, &texture);
  if (writeTable) writeFile(kAccumTable, written);
}

// Our cubes against GLUT's: every pixel read back must be the same, lit,
// opaque or see-through, at several sizes and turns; and the current
// normal is left as GLUT leaves it. Batches and the lattice against the
// cubes drawn one at a time.
struct CubeLight {
  bool lit, normalize;
  float colour[4];
};

// A little scene of cubes over a mid-grey background, so blending shows;
// cubes overlap and cut each other, and translucent ones show their back
// faces. A quad without a normal of its own comes last: lit by whatever
// normal the cubes left current.
std::vector<uint8_t> drawScene(const CubeLight &s, bool ours) {
  startWindowFrame(W, H, 0.3f, 0.3f, 0.35f);
  setLight(s.lit);
  if (s.normalize) glEnable(GL_NORMALIZE); else glDisable(GL_NORMALIZE);
  glColor4fv(s.colour);
  const double sizes[] = {1.0, 0.5, 3.7, 12.25, 0.013, 7.0};
  for (int i = 0; i < 6; ++i) {
    glPushMatrix();
    glTranslatef(-12.0f + 5.0f * i, (i % 2) ? 4.0f : -3.0f, -2.0f * i);
    glRotatef(17.0f + 33.0f * i, 0.3f, 1.0f, 0.2f * i);
    glRotatef(11.0f * i, 1, 0, 0);
    if (i == 3) glScalef(1.0f, 0.6f, 1.4f);  // a scaled frame: normals grow
    if (i % 2) {
      if (ours) wireCube(sizes[i]); else glutWireCube(sizes[i]);
    }
    if (ours) solidCube(sizes[i]); else glutSolidCube(sizes[i]);
    glPopMatrix();
  }
  glRectf(8, -10, 14, -4);
  glFinish();
  return readPixelsRGB(0, 0, W, H);
}

TEST(Cubes, PixelsEqualGlutsUnderLightColourAndAlpha) {
  startWindowFrame(W, H, 0.3f, 0.3f, 0.35f);
  const std::vector<uint8_t> empty = readPixelsRGB(0, 0, W, H);
  const CubeLight setups[] = {
      {true, true, {1.4f, -0.2f, 0.5f, 1}},      // opaque; unclamped colours pass
      {true, false, {0.9f, 0.2f, 0.4f, 0.45f}},  // see-through, scaled normals left long
  };
  for (const CubeLight &s : setups) {
    std::vector<uint8_t> pictures[2];
    GLfloat after[2][3];
    for (int k = 0; k < 2; ++k) {
      glNormal3f(0.6f, -0.3f, 0.74f);  // as another drawing left it
      pictures[k] = drawScene(s, k);
      glGetFloatv(GL_CURRENT_NORMAL, after[k]);
    }
    const int n = int(&s - setups);
    const Difference d = difference(pictures[0], pictures[1], empty);
    EXPECT_TRUE(pictures[0] == pictures[1]) << "setup " << n << ": " << d.moved << " pixels differ by more than 3";
    for (int c = 0; c < 3; ++c) EXPECT_EQ(after[1][c], after[0][c]) << "setup " << n;
    EXPECT_GT(d.drawn, empty.size() / 3 / 10) << "setup " << n;  // the cubes cover a good part
  }
}

// Batched cubes: frames applied on the CPU, hidden faces left out of opaque
// ones and every wire edge drawn once move only a few edge pixels, and by a
// few levels at most.
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
}

// The wire lattice drawn as one array, each edge once: an edge drawn a
// second time the other way round lights a few pixels of its own, so about
// a tenth of the lit pixels move; the light stays. Far, near, and reaching
// behind the camera.
TEST(WireLattice, ShowsWhatOneWireCubeAtATimeShows) {
  startWindowFrame(W, H, 0.1f, 0.1f, 0.1f);
  const std::vector<uint8_t> empty = readPixelsRGB(0, 0, W, H);
  setLight(false);
  for (float distance : {-90.0f, -30.0f, 45.0f}) {
    std::vector<uint8_t> pictures[2];
    for (int asLattice = 0; asLattice < 2; ++asLattice) {
      startWindowFrame(W, H, 0.1f, 0.1f, 0.1f);
      glTranslatef(0, 0, distance);
      glRotatef(distance, 1, 1, 0);
      glColor4f(0.6f, 0.6f, 0.6f, 0.8f);  // translucent: overdraw would show
      if (asLattice) wireCubeLattice(-10, 1.5f, 10, 0.5);
      for (float x = -10; x < 10 && !asLattice; x += 1.5f)
        for (float y = -10; y < 10; y += 1.5f)
          for (float z = -10; z < 10; z += 1.5f) {
            glPushMatrix();
            glTranslatef(x, y, z);
            wireCube(0.5);
            glPopMatrix();
          }
      pictures[asLattice] = readPixelsRGB(0, 0, W, H);
    }
    const Difference d = difference(pictures[0], pictures[1], empty);
    EXPECT_GT(d.drawn, 1000u) << distance;
    EXPECT_LT(d.moved, d.drawn / 8) << distance;
    EXPECT_NEAR(d.light, 1.0, 0.02) << distance;
  }
}

// Rows of the window that hold any lit pixel, after drawing on black.
int litRows(const char *text, float scale, bool colour) {
  startWindowFrame(W, H, 0, 0, 0);
  glColor4f(1, 1, 1, 1);
  (colour ? drawColorText : drawText)(text, 0, 0, 0, scale);
  auto px = readPixelsRGB(0, 0, W, H);
  int rows = 0;
  for (int y = 0; y < H; y++) {
    bool lit = false;
    for (int x = 0; x < W && !lit; x++) lit = px[(size_t(y) * W + x) * 3] > 128;
    rows += lit;
  }
  return rows;
}

// Two font objects in all, glyph size by scale, nothing for an empty line.
TEST(Text, TwoFontsScaleAndEmptyLine) {
  const int whole = litRows("H", 1.0f, true), half = litRows("H", 0.5f, true);
  EXPECT_EQ(litRows("H", 1.0f, false), whole);
  for (int i = 0; i < 20; i++) litRows("again", 0.6f, i % 2);
  EXPECT_EQ(textFontsCreated(), 2);
  // A capital is about 3 units high at face size 4: some 18 rows of 240
  // with this view (41.4 units high at z = 0), half as many at scale 0.5.
  EXPECT_GT(whole, 14);
  EXPECT_LT(whole, 24);
  EXPECT_NEAR(half * 2, whole, 3);
  GLint depth = 0, before = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &before);
  EXPECT_EQ(litRows("", 1.0f, false), 0);
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, before);
}

// The two bands grow once per call each, on their own, to their limits,
// seen in what a call draws: how far along x it reaches and the radius of
// its winding (feedback is 10 units a pixel about 500, 500; cubes 0.5).
struct BandExtent {
  float endX, radius;
};
BandExtent bandExtent(const std::function<void()> &draw) {
  BandExtent e{-1e9f, 0};
  for (const Primitive &p : feedback(draw, GL_3D))
    for (const auto &v : p) {
      e.endX = std::max(e.endX, (v[0] - 500) / 10 - 0.25f);
      e.radius = std::max(e.radius, std::fabs(v[1] - 500) / 10 - 0.25f);
    }
  return e;
}

TEST(Bands, EachGrowsOnItsOwnToItsLimits) {
  const BandExtent fast1 = bandExtent([] { drawBandFast(0, 0, 0, 0, 0.5f); });
  EXPECT_NEAR(fast1.radius, 5.1f, 0.005f);  // grown once before it draws
  EXPECT_NEAR(fast1.endX, -29.8f, 0.03f);   // cubes stop short of the length
  BandExtent slow{};
  for (int call = 1; call <= 50; call++) slow = bandExtent([] { drawBand(0, 0, 0, 0); });
  EXPECT_NEAR(slow.radius, 10.0f, 0.005f);  // 50 steps of 0.1: at the limit
  for (int call = 51; call <= 200; call++) slow = bandExtent([] { drawBand(0, 0, 0, 0); });
  EXPECT_NEAR(slow.radius, 10.0f, 0.005f);  // and no further
  EXPECT_NEAR(slow.endX, -15.0f, 0.03f);
  const BandExtent fast2 = bandExtent([] { drawBandFast(0, 0, 0, 0, 0.5f); });
  EXPECT_NEAR(fast2.radius, 5.2f, 0.005f);  // the slow band's calls left it alone
  EXPECT_NEAR(fast2.endX, -29.6f, 0.03f);
}

// The Gibson particle field: each direction's move, with the wrap and the
// re-entry on the far edge.
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

// Box explosion: each cube shows through feedback as its front and back
// faces, squares of its edge.
struct Face {
  float x, y, z, edge;  // centre and edge, in units
};

struct Drawn {
  std::vector<Face> faces;
  std::map<int, int> cubes;  // edge in hundredths -> cubes
};

// Faces per cube as the solid cube is built (two squares, or four
// triangles); learnt from the rest lattice of 1,000 cubes.
int perCube = 0;

Drawn call(float x, float y, float z, int explode) {
  Drawn d;
  for (const Primitive &p : feedback([&] { boxsplotion(x, y, z, explode); }, GL_3D)) {
    float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f, zs = 0;
    for (auto &v : p) {
      x0 = std::min(x0, v[0]), x1 = std::max(x1, v[0]);
      y0 = std::min(y0, v[1]), y1 = std::max(y1, v[1]);
      zs += v[2];
    }
    if (x1 - x0 < 0.01f || y1 - y0 < 0.01f) continue;  // a side face, seen edge-on
    const float edge = (x1 - x0) / 10;
    d.faces.push_back({(x0 + x1) / 20 - 50, (y0 + y1) / 20 - 50, 100 * (1 - 2 * zs / p.size()), edge});
    d.cubes[int(std::lround(edge * 100))]++;
  }
  if (!perCube && d.cubes.size() == 1) perCube = d.cubes.begin()->second / 1000;
  for (auto &[edge, n] : d.cubes) n /= std::max(perCube, 1);
  return d;
}

// The largest distance of a face centre from the integer grid on one axis.
float offGrid(const std::vector<Face> &faces, float Face::*axis) {
  float m = 0;
  for (auto &f : faces) m = std::max(m, std::fabs(f.*axis - std::round(f.*axis)));
  return m;
}

std::map<int, int> only(int edge) { return {{edge, 1000}}; }

// The animation never resets, so the whole life of the routine is one test.
TEST(Boxsplotion, RestRippleTwoLatticesThenEndlessExplosion) {
  // At rest: 1,000 cubes of edge 0.5 at -5..4 around the point, no change.
  Drawn rest = call(3, -2, 1, 0);
  ASSERT_TRUE(perCube == 2 || perCube == 4) << perCube;
  ASSERT_EQ(rest.cubes, only(50));
  auto [lo, hi] = std::minmax_element(rest.faces.begin(), rest.faces.end(),
                                      [](const Face &a, const Face &b) { return a.x < b.x; });
  EXPECT_NEAR(lo->x, 3 - 5, 1e-3);
  EXPECT_NEAR(hi->x, 3 + 4, 1e-3);  // not symmetric about the point

  // The ripple: the first three calls shrink the cubes, the amplitude grows
  // by a quarter a call and moves cubes in y and z only.
  const int rippleEdges[] = {40, 30, 20};
  for (int n = 1; n <= 30; n++) {
    const float before = boxsplotionState().global;
    Drawn d = call(0, 0, 0, 1);
    ASSERT_EQ(d.cubes, only(n <= 3 ? rippleEdges[n - 1] : 20)) << "call " << n;
    EXPECT_EQ(offGrid(d.faces, &Face::x), 0) << "call " << n;
    if (n == 20) {
      EXPECT_GT(offGrid(d.faces, &Face::y), 0.9f * std::min(before, 0.5f));
      EXPECT_LE(offGrid(d.faces, &Face::y), 0.5f);
    }
  }

  // The 31st call ends the ripple and primes the explosion in one go: the
  // last ripple at edge 0.2, then the lattice at edge 0.3.
  EXPECT_EQ(call(0, 0, 0, 1).cubes, (std::map<int, int>{{20, 1000}, {30, 1000}}));
  // The cubes grow back and swell to just above 1.0 for good; from edge
  // 0.6 on they fly apart, off the grid in x and y alike.
  for (int edge : {40, 50, 60, 70, 80, 90, 100, 100}) {
    Drawn d = call(0, 0, 0, 1);
    EXPECT_EQ(d.cubes, only(edge));
    if (edge == 60) {
      EXPECT_GT(offGrid(d.faces, &Face::x), 0.1f);
      EXPECT_GT(offGrid(d.faces, &Face::y), 0.1f);
    }
  }
  for (int n = 0; n < 50; n++) call(0, 0, 0, 1);
  EXPECT_EQ(call(0, 0, 0, 1).cubes, only(100));
}

// Exact values of the noise family: other modules depend on every bit.
// Large and negative arguments overflow the hash; results stay in range.
TEST(RawNoise, KnownHashesAndValuesWrappingAtThirtyTwoBits) {
  struct {
    int x, y, seed;
    uint32_t hash;
    float value;
  } cases[] = {
      {0, 0, 0, 1376312589u, -0.28179097175598145f},
      {0, 0, 42, 689716523u, 0.35765144f},
      {1, 1, 42, 80807077u, 0.92474252f},
      {2, 2, 42, 2039521759u, -0.89945263f},
      // Past 32 bits: the sums wrap as unsigned arithmetic does.
      {-1, 0, 0, 107238581u, 0.90012628f},
      {INT_MAX, INT_MAX, INT_MAX, 2103370845u, -0.95891672f},
      {INT_MIN, INT_MIN, INT_MIN, 1376312589u, -0.28179097175598145f},
      {123456789, -987654321, 7, 1581974245u, -0.47332832f},
  };
  for (auto &c : cases) {
    EXPECT_EQ(noise_hash(c.x, c.y, c.seed), c.hash) << c.x << "," << c.y << "," << c.seed;
    EXPECT_EQ(raw_noise(c.x, c.y, c.seed), c.value) << c.x << "," << c.y << "," << c.seed;
  }
  for (int v : {INT_MIN, -1, INT_MAX, 123456789}) EXPECT_LE(std::fabs(raw_noise(v, v, v)), 1.0f) << v;
}

// In a frame that is passed over on the way to a later start, the effects
// send nothing to GL that makes a line or a face, yet take their steps:
// the bands grow, the stars fly, the city's cubes stream, the text's font
// is made on the first call as it is when drawn.
TEST(UndrawnFrame, EffectsDrawNothingAndStepOn) {
  startWindowFrame(320, 240, 0, 0, 0);
  drawStarfield(0, 0, 0, 0);  // the first call only builds
  drawBand(0, 0, 0, 1);
  const std::pair<const char *, std::function<void()>> effects[] = {
      {"band", [] { drawBand(0, 0, 0, 1); }},
      {"fast band", [] { drawBandFast(0, 0, 0, 1, 0.5f); }},
      {"stars", [] { drawStarfield(0, 0, 0, 1); }},
      {"tratt", [] { drawTratt(0, 0, 0); }},
      {"house", [] { drawHouse(0, 0, 0, 1.5f, 20); }},
      {"city cubes", [] { drawGibsonParticles(); }},
      {"lattice of boxes", [] { boxsplotion(0, 0, 0, 0); }},
      {"wire lattice", [] { wireCubeLattice(-10, 1.5f, 10, 0.5); }},
      {"cubes", [] { solidCube(2), wireCube(2); }},
      {"text", [] { drawText("vy", 0, 0, 0, 1), drawColorText("01", 0, 0, 0, 1); }},
      {"quads", [] { draw2DTexture(0, 0, 0, 5, 5, 0), drawCircle(0, 0, 0, 5), fade(1, 0), drawStartScreen(0); }},
  };
  const BandExtent band = bandExtent([] { drawBand(0, 0, 0, 1); });
  const float star = starTable()[3][4][2], drift = gibsonDrift(), cube = gibsonParticles()[7].z;
  drawingFrame = false;
  for (auto &[name, fn] : effects) EXPECT_EQ(feedback(fn, GL_3D).size(), 0u) << name;
  drawingFrame = true;
  // Grown once passed over and once more now: two steps of 0.1 wider.
  EXPECT_NEAR(bandExtent([] { drawBand(0, 0, 0, 1); }).radius, band.radius + 0.2f, 0.01f);
  EXPECT_EQ(starTable()[3][4][2], float(star + 2.0) > 40.0f ? float(float(star + 2.0) - 50.0) : float(star + 2.0));
  EXPECT_FLOAT_EQ(gibsonDrift(), drift + 0.1f);
  EXPECT_NE(gibsonParticles()[7].z, cube);
  EXPECT_EQ(textFontsCreated(), 2);
  // Drawn, each of them shows (text through feedback, after other shapes,
  // crashes Mesa: the text tests show it drawn).
  for (auto &[name, fn] : effects)
    if (std::string(name) != "text") {
      EXPECT_GT(feedback(fn, GL_3D).size(), 0u) << name;
    }
}
