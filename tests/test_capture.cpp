// Frame capture: file names, the upside-down copy into the surface, the
// PNG writer and its failure modes, and one capture of a real GL frame.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "main/capture.h"
#include "main/startup.h"

namespace {

// A pattern in which every pixel of a small image differs from its
// neighbours and from its mirror images.
unsigned char patR(int x, int k) { return (unsigned char)(x * 7 + k * 31); }
unsigned char patG(int x, int k) { return (unsigned char)(x * 13 + k * 5 + 1); }
unsigned char patB(int x, int k) { return (unsigned char)(x ^ (k * 17) ^ 0xA5); }

// RGB rows as glReadPixels returns them: bottom row (k = 0) first, tight.
std::vector<unsigned char> glRows(int w, int h) {
  std::vector<unsigned char> rgb((size_t)w * h * 3);
  for (int k = 0; k < h; ++k)
    for (int x = 0; x < w; ++x) {
      unsigned char *p = &rgb[((size_t)k * w + x) * 3];
      p[0] = patR(x, k);
      p[1] = patG(x, k);
      p[2] = patB(x, k);
    }
  return rgb;
}

const unsigned char *surfacePixel(SDL_Surface *s, int x, int y) {
  return static_cast<unsigned char *>(s->pixels) + (size_t)y * s->pitch +
         (size_t)x * s->format->BytesPerPixel;
}

SDL_Surface *patternSurface(int w, int h) {
  SDL_Surface *s = createCaptureSurface(w, h);
  auto rgb = glRows(w, h);
  flipRGBToSurface(rgb.data(), w, h, s);
  return s;
}

std::string tempDir() { return makeWorkdir(false); }

} // namespace

TEST(CaptureFileName, PadsToTenDigits) {
  char name[256];
  EXPECT_EQ(captureFileName(0, name, sizeof name), 22);
  EXPECT_STREQ(name, "capture/0000000000.png");
  captureFileName(1, name, sizeof name);
  EXPECT_STREQ(name, "capture/0000000001.png");
  captureFileName(12345, name, sizeof name);
  EXPECT_STREQ(name, "capture/0000012345.png");
  captureFileName(7540, name, sizeof name);
  EXPECT_STREQ(name, "capture/0000007540.png");
  captureFileName(999999999, name, sizeof name);
  EXPECT_STREQ(name, "capture/0999999999.png");
  captureFileName(1234567890, name, sizeof name);
  EXPECT_STREQ(name, "capture/1234567890.png");
  captureFileName(INT_MAX, name, sizeof name);
  EXPECT_STREQ(name, "capture/2147483647.png");
}

TEST(CaptureFileName, MatchesPrintfZeroPadding) {
  char name[256], expected[256];
  for (int n : {0, 9, 10, 99, 100, 4096, 65535, 1000000, 123456789}) {
    captureFileName(n, name, sizeof name);
    snprintf(expected, sizeof expected, "capture/%010d.png", n);
    EXPECT_STREQ(name, expected) << n;
  }
}

TEST(CaptureFileName, RefusesTooSmallBuffer) {
  char name[22]; // one short of the terminating zero
  EXPECT_EQ(captureFileName(5, name, sizeof name), -1);
  char fits[23];
  EXPECT_EQ(captureFileName(5, fits, sizeof fits), 22);
  EXPECT_STREQ(fits, "capture/0000000005.png");
}

TEST(FlipRGBToSurface, OddWidthTopRowIsLastGlRow) {
  const int w = 301, h = 7;
  SDL_Surface *s = createCaptureSurface(w, h);
  ASSERT_NE(s, nullptr);
  auto rgb = glRows(w, h);
  SDL_LockSurface(s);
  flipRGBToSurface(rgb.data(), w, h, s);
  SDL_UnlockSurface(s);
  for (int y = 0; y < h; ++y) {
    const int k = h - 1 - y; // GL row shown in surface row y
    for (int x = 0; x < w; ++x) {
      const unsigned char *p = surfacePixel(s, x, y);
      ASSERT_EQ(p[0], patR(x, k)) << x << "," << y;
      ASSERT_EQ(p[1], patG(x, k)) << x << "," << y;
      ASSERT_EQ(p[2], patB(x, k)) << x << "," << y;
      ASSERT_EQ(p[3], 255) << x << "," << y;
    }
  }
  SDL_FreeSurface(s);
}

TEST(FlipRGBToSurface, SameWordsAsSdlMapRgba) {
  const int w = 37, h = 5;
  SDL_Surface *s = patternSurface(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int k = h - 1 - y;
      Uint32 expected =
          SDL_MapRGBA(s->format, patR(x, k), patG(x, k), patB(x, k), 255);
      Uint32 got;
      memcpy(&got, surfacePixel(s, x, y), 4);
      ASSERT_EQ(got, expected) << x << "," << y;
    }
  SDL_FreeSurface(s);
}

TEST(FlipRGBToSurface, OtherFormatsGoThroughSdl) {
  // A 24-bit surface with blue in the low byte: not the capture layout.
  const int w = 9, h = 4;
  SDL_Surface *s =
      SDL_CreateRGBSurface(0, w, h, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0);
  ASSERT_NE(s, nullptr);
  auto rgb = glRows(w, h);
  flipRGBToSurface(rgb.data(), w, h, s);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int k = h - 1 - y;
      Uint8 r, g, b;
      Uint32 v = 0;
      memcpy(&v, surfacePixel(s, x, y), 3);
      SDL_GetRGB(v, s->format, &r, &g, &b);
      ASSERT_EQ(r, patR(x, k));
      ASSERT_EQ(g, patG(x, k));
      ASSERT_EQ(b, patB(x, k));
    }
  SDL_FreeSurface(s);
}

TEST(FlipRGBToSurface, CopiesNoMoreThanTheSurfaceHolds) {
  // Source larger than the surface: only the surface's columns and rows,
  // taken from the bottom of the source, land; nothing outside is touched.
  const int w = 20, h = 10, sw = 8, sh = 3;
  SDL_Surface *s = createCaptureSurface(sw, sh);
  memset(s->pixels, 0x11, (size_t)s->pitch * sh);
  auto rgb = glRows(w, h);
  flipRGBToSurface(rgb.data(), w, h, s);
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < sw; ++x) {
      const int k = sh - 1 - y;
      const unsigned char *p = surfacePixel(s, x, y);
      ASSERT_EQ(p[0], patR(x, k));
      ASSERT_EQ(p[3], 255);
    }
  SDL_FreeSurface(s);
}

TEST(PngColortype, FromSurfaceFormat) {
  SDL_Surface *pal = SDL_CreateRGBSurface(0, 4, 4, 8, 0, 0, 0, 0);
  SDL_Surface *rgb =
      SDL_CreateRGBSurface(0, 4, 4, 24, 0x0000FF, 0x00FF00, 0xFF0000, 0);
  SDL_Surface *rgba = createCaptureSurface(4, 4);
  ASSERT_TRUE(pal && rgb && rgba);
  EXPECT_EQ(png_colortype_from_surface(pal), PNG_COLOR_TYPE_PALETTE);
  EXPECT_EQ(png_colortype_from_surface(rgb), PNG_COLOR_TYPE_RGB);
  EXPECT_EQ(png_colortype_from_surface(rgba), PNG_COLOR_TYPE_RGB_ALPHA);
  EXPECT_EQ(png_colortype_from_surface(rgba), 6);
  SDL_FreeSurface(pal);
  SDL_FreeSurface(rgb);
  SDL_FreeSurface(rgba);
}

TEST(PngSaveSurface, RoundTripsRgba8) {
  const int w = 301, h = 7;
  SDL_Surface *s = patternSurface(w, h);
  std::string path = tempDir() + "/frame.png";
  ASSERT_EQ(png_save_surface(path.c_str(), s), 0);

  Picture png = readPng(path);
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(png.width, (unsigned)w);
  EXPECT_EQ(png.height, (unsigned)h);
  EXPECT_EQ(png.bitDepth, 8);
  EXPECT_EQ(png.colorType, PNG_COLOR_TYPE_RGB_ALPHA);
  EXPECT_EQ(png.interlace, PNG_INTERLACE_NONE);
  ASSERT_EQ(png.rgba.size(), (size_t)w * h * 4);
  for (int y = 0; y < h; ++y)
    ASSERT_EQ(0, memcmp(&png.rgba[(size_t)y * w * 4], surfacePixel(s, 0, y),
                        (size_t)w * 4))
        << "row " << y;
  // Top row of the file is the last GL row.
  EXPECT_EQ(png.rgba[0], patR(0, h - 1));
  EXPECT_EQ(png.rgba[3], 255);
  SDL_FreeSurface(s);
}

TEST(PngSaveSurface, FastSettingsDecodeLikeDefaultAndRepeatExactly) {
  const int w = 64, h = 48;
  SDL_Surface *s = patternSurface(w, h);
  std::string dir = tempDir();
  std::string a = dir + "/a.png", b = dir + "/b.png", d = dir + "/d.png";
  ASSERT_EQ(png_save_surface(a.c_str(), s), 0);
  ASSERT_EQ(png_save_surface(b.c_str(), s), 0);
  ASSERT_EQ(png_save_surface_with(d.c_str(), s, -1, -1), 0);
  EXPECT_EQ(readFile(a), readFile(b)); // deterministic bytes
  Picture pa = readPng(a), pd = readPng(d);
  ASSERT_TRUE(pa.ok && pd.ok);
  EXPECT_EQ(pa.rgba, pd.rgba);
  SDL_FreeSurface(s);
}

TEST(PngSaveSurface, MissingDirectoryReportsAndReturns) {
  SDL_Surface *s = patternSurface(4, 4);
  std::string path = tempDir() + "/no-such-dir/0000000000.png";
  testing::internal::CaptureStderr();
  int r = png_save_surface(path.c_str(), s);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(r, -1);
  EXPECT_EQ(err, "fopen error: No such file or directory\n");
  SDL_FreeSurface(s);
}

TEST(PngSaveSurfaceDeathTest, FullDiskEndsWithStatus255) {
  SDL_Surface *s = patternSurface(640, 480);
  EXPECT_EXIT(png_save_surface("/dev/full", s), testing::ExitedWithCode(255),
              "writing /dev/full failed");
  SDL_FreeSurface(s);
}

TEST(PngSaveSurfaceDeathTest, FullDiskOnTinyImageStillFails) {
  // Small enough to sit in stdio's buffer until the file is closed.
  SDL_Surface *s = patternSurface(2, 2);
  EXPECT_EXIT(png_save_surface("/dev/full", s), testing::ExitedWithCode(255),
              "writing /dev/full failed");
  SDL_FreeSurface(s);
}

TEST(PngUserCallbacks, PrintOnStderr) {
  testing::internal::CaptureStderr();
  png_user_warn(nullptr, "be careful");
  png_user_error(nullptr, "it broke");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "libpng: warning: be careful\nlibpng: error: it broke\n");
}

TEST(PngUserCallbacks, LibpngErrorDuringWriteEndsWithStatus255) {
  // A zero-width surface makes libpng refuse the header.
  SDL_Surface *s = createCaptureSurface(0, 0);
  ASSERT_NE(s, nullptr);
  std::string path = tempDir() + "/bad.png";
  EXPECT_EXIT(png_save_surface(path.c_str(), s), testing::ExitedWithCode(255),
              "libpng: error: .*\n.*writing .*bad.png failed");
  SDL_FreeSurface(s);
}

TEST(Capture, DoesNothingWithoutCaptureMode) {
  std::string dir = tempDir();
  ASSERT_EQ(mkdir((dir + "/capture").c_str(), 0755), 0);
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  CAPTURE = 0;
  testing::internal::CaptureStdout();
  capture();
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_EQ(out, "");
  struct stat st;
  EXPECT_NE(stat((dir + "/capture/0000000000.png").c_str(), &st), 0);
}

// The whole path through GL: one window, so it is one test. The image size
// is fixed by the first capture of the process.
TEST(CaptureGl, FramesAreUprightAndSizeStaysFixed) {
  const int w = 301, h = 203; // odd width: rows of 903 bytes
  ensureGlContext(w, h);
  globalWidth = w;
  globalHeight = h;

  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 1, 0, 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
  glBegin(GL_QUADS); // upper-left quadrant of the window
  glVertex2f(0.0f, 0.5f);
  glVertex2f(0.5f, 0.5f);
  glVertex2f(0.5f, 1.0f);
  glVertex2f(0.0f, 1.0f);
  glEnd();
  glFinish();
  // Leave a skewing pack alignment behind: the capture must not rely on it.
  glPixelStorei(GL_PACK_ALIGNMENT, 8);

  std::string dir = tempDir();
  ASSERT_EQ(mkdir((dir + "/capture").c_str(), 0755), 0);
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);

  CAPTURE = 1;
  testing::internal::CaptureStdout();
  capture();
  std::string out1 = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out1, "[->] captured frame #1\n");
  GLint alignment = 0;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 8); // restored for whoever reads next

  Picture png = readPng("capture/0000000000.png");
  ASSERT_TRUE(png.ok);
  ASSERT_EQ(png.width, (unsigned)w);
  ASSERT_EQ(png.height, (unsigned)h);
  EXPECT_EQ(png.colorType, PNG_COLOR_TYPE_RGB_ALPHA);
  auto px = [&](int x, int y) { return &png.rgba[((size_t)y * w + x) * 4]; };
  auto isColour = [&](int x, int y, int r, int g, int b) {
    const unsigned char *p = px(x, y);
    return p[0] == r && p[1] == g && p[2] == b && p[3] == 255;
  };
  // PNG row 0 is the top of the screen: the red quad is at the top left.
  EXPECT_TRUE(isColour(5, 5, 255, 0, 0));
  EXPECT_TRUE(isColour(w / 2 - 5, h / 2 - 5, 255, 0, 0));
  EXPECT_TRUE(isColour(w / 2 + 5, 5, 0, 0, 255));
  EXPECT_TRUE(isColour(5, h - 5, 0, 0, 255));
  EXPECT_TRUE(isColour(w - 1, h - 1, 0, 0, 255));
  // Every row is exactly the same as GL's row (no skew from row padding).
  auto gl = readPixelsRGB(0, 0, w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned char *g = &gl[((size_t)(h - 1 - y) * w + x) * 3];
      const unsigned char *p = px(x, y);
      ASSERT_TRUE(p[0] == g[0] && p[1] == g[1] && p[2] == g[2] && p[3] == 255)
          << x << "," << y;
    }

  // A drawable reported larger than at the first capture: still the fixed
  // size is read, into the buffer made for it.
  globalWidth = 2 * w;
  globalHeight = 2 * h;
  testing::internal::CaptureStdout();
  capture();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[->] captured frame #2\n");
  Picture bigger = readPng("capture/0000000001.png");
  ASSERT_TRUE(bigger.ok);
  EXPECT_EQ(bigger.width, (unsigned)w);
  EXPECT_EQ(bigger.height, (unsigned)h);
  EXPECT_EQ(bigger.rgba, png.rgba);

  // A smaller one (still reaching into the red quad): what lies outside it
  // is black, the part inside is read at the fixed row stride.
  const int rw = w - 40, rh = h - 30;
  globalWidth = rw;
  globalHeight = rh;
  testing::internal::CaptureStdout();
  capture();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[->] captured frame #3\n");
  Picture smaller = readPng("capture/0000000002.png");
  ASSERT_TRUE(smaller.ok);
  ASSERT_EQ(smaller.width, (unsigned)w);
  ASSERT_EQ(smaller.height, (unsigned)h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned char *p = &smaller.rgba[((size_t)y * w + x) * 4];
      const bool inside = x < rw && h - 1 - y < rh;
      const unsigned char *e = inside ? px(x, y) : nullptr;
      ASSERT_EQ(p[3], 255);
      if (inside)
        ASSERT_TRUE(p[0] == e[0] && p[1] == e[1] && p[2] == e[2])
            << x << "," << y;
      else
        ASSERT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0) << x << "," << y;
    }

  // Without the directory: the perror line, and the count goes on.
  globalWidth = w;
  globalHeight = h;
  ASSERT_EQ(rename("capture", "moved"), 0);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  capture();
  std::string err = testing::internal::GetCapturedStderr();
  std::string out4 = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out4, "[->] captured frame #4\n");
  EXPECT_EQ(err, "fopen error: No such file or directory\n");
  ASSERT_EQ(rename("moved", "capture"), 0);
  testing::internal::CaptureStdout();
  capture();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[->] captured frame #5\n");
  struct stat st;
  EXPECT_NE(stat("capture/0000000003.png", &st), 0);
  EXPECT_EQ(stat("capture/0000000004.png", &st), 0);

  ASSERT_EQ(chdir(cwd), 0);
  CAPTURE = 0;
}
