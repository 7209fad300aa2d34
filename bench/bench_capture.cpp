// Where the time of one captured frame goes at 1024x768: read-back,
// upside-down copy into the surface, PNG encoding (at the capture's
// settings and at others for comparison), the whole capture, and the raw
// stream's conversion to YUV for a video.
#include <GL/glew.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "main/capture.h"
#include "main/pngwriter.h"
#include "main/startup.h"
#include "main/yuvframe.h"

namespace {

constexpr int W = 1024, H = 768;

enum Content { kDark = 0, kScene = 1, kNoise = 2, kFile = 3 };
const char *contentName(int c) {
  return c == kDark ? "dark" : c == kScene ? "scene" : c == kNoise ? "noise" : "file";
}

// A real captured frame to measure on, if VY_BENCH_FRAME names one
// (a 1024x768 PNG from a capture run).
const Picture *realFrame() {
  static Picture pic;
  static bool tried = false;
  if (!tried) {
    tried = true;
    if (const char *path = getenv("VY_BENCH_FRAME")) pic = readPng(path);
    if (pic.ok && (pic.width != (unsigned)W || pic.height != (unsigned)H))
      pic.ok = false;
  }
  return pic.ok ? &pic : nullptr;
}

uint32_t lcg(uint32_t &s) {
  s = s * 1664525u + 1013904223u;
  return s >> 8;
}

// Synthetic frames, as glReadPixels gives them (bottom row first).
// dark:  the start screen and title cards: flat grey, a few flat shapes.
// scene: smooth lit gradients, shaded boxes and sparse specks; the bulk
//        of the production.
// noise: every byte random; the worst case for any compressor.
// file:  the frame VY_BENCH_FRAME names.
std::vector<unsigned char> makeFrame(int content) {
  std::vector<unsigned char> rgb((size_t)W * H * 3);
  if (content == kFile) {
    const Picture *pic = realFrame();
    for (int k = 0; pic && k < H; ++k)
      for (int x = 0; x < W; ++x)
        for (int c = 0; c < 3; ++c)
          rgb[((size_t)k * W + x) * 3 + c] = pic->at(x, H - 1 - k)[c];
    return rgb;
  }
  uint32_t seed = 12345;
  for (int k = 0; k < H; ++k)
    for (int x = 0; x < W; ++x) {
      unsigned char *p = &rgb[((size_t)k * W + x) * 3];
      int r, g, b;
      if (content == kDark) {
        r = g = b = 26;
        if ((x / 128 + k / 96) % 5 == 0) r = g = b = 200;
      } else if (content == kScene) {
        double u = x / (double)W, v = k / (double)H;
        r = (int)(60 + 50 * std::sin(6 * u + 2 * v));
        g = (int)(40 + 40 * std::cos(4 * v - 3 * u));
        b = (int)(90 + 60 * v);
        if ((x % 64) < 40 && (k % 48) < 30) { // a field of shaded boxes
          int shade = 120 + (x % 64) * 2 - (k % 48);
          r = shade;
          g = shade / 2;
          b = 255 - shade;
        }
        if (lcg(seed) % 16 == 0) { // sparse specks of +-2
          int d = (int)(lcg(seed) % 5) - 2;
          r += d;
          g += d;
          b += d;
        }
      } else {
        uint32_t v = lcg(seed);
        r = v & 255;
        g = (v >> 8) & 255;
        b = (v >> 16) & 255;
      }
      p[0] = (unsigned char)std::min(255, std::max(0, r));
      p[1] = (unsigned char)std::min(255, std::max(0, g));
      p[2] = (unsigned char)std::min(255, std::max(0, b));
    }
  return rgb;
}

SDL_Surface *frameSurface(int content) {
  SDL_Surface *s = createCaptureSurface(W, H);
  auto rgb = makeFrame(content);
  flipRGBToSurface(rgb.data(), W, H, s);
  return s;
}

std::string tempPath(const char *name) {
  static std::string dir = makeWorkdir(false);
  return dir + "/" + name;
}

// Standard output silenced while the capture's progress lines would
// otherwise flood the figures.
struct QuietStdout {
  int saved;
  QuietStdout() {
    fflush(stdout);
    saved = dup(1);
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    close(devnull);
  }
  ~QuietStdout() {
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
  }
};

bool glAvailable() {
  static int state = -1;
  if (state < 0) {
    try {
      ensureGlContext(W, H);
      state = 1;
    } catch (...) {
      state = 0;
    }
  }
  return state == 1;
}

void BM_FlipToSurface(benchmark::State &state) {
  auto rgb = makeFrame(kScene);
  SDL_Surface *s = createCaptureSurface(W, H);
  for (auto _ : state) {
    flipRGBToSurface(rgb.data(), W, H, s);
    benchmark::DoNotOptimize(s->pixels);
  }
  SDL_FreeSurface(s);
}
BENCHMARK(BM_FlipToSurface)->Unit(benchmark::kMillisecond);

// The per-pixel SDL_MapRGBA copy, for comparison with the direct one.
// A raw frame to YUV 4:2:0 (-r -y), against ffmpeg's scaler doing it.
void BM_RgbToYuv420(benchmark::State &state) {
  std::vector<unsigned char> rgb = makeFrame(int(state.range(0)));
  std::vector<uint8_t> yuv(yuv420Size(W, H));
  for (auto _ : state) {
    rgbToYuv420(rgb.data(), W, H, yuv.data());
    benchmark::DoNotOptimize(yuv.data());
  }
  state.SetLabel(contentName(int(state.range(0))));
}
BENCHMARK(BM_RgbToYuv420)->Arg(kScene)->Arg(kNoise)->Unit(benchmark::kMillisecond);

void BM_FlipToSurfaceMapRGBA(benchmark::State &state) {
  auto rgb = makeFrame(kScene);
  SDL_Surface *s = createCaptureSurface(W, H);
  for (auto _ : state) {
    for (int k = 0; k < H; ++k) {
      const unsigned char *src = &rgb[(size_t)k * W * 3];
      Uint32 *dst = (Uint32 *)((Uint8 *)s->pixels + (H - 1 - k) * s->pitch);
      for (int x = W - 1; x >= 0; --x)
        dst[x] = SDL_MapRGBA(s->format, src[3 * x], src[3 * x + 1],
                             src[3 * x + 2], 255);
    }
    benchmark::DoNotOptimize(s->pixels);
  }
  SDL_FreeSurface(s);
}
BENCHMARK(BM_FlipToSurfaceMapRGBA)->Unit(benchmark::kMillisecond);

// Args: content, zlib level (-1: default), filter mask (-1: libpng's
// adaptive choice). Encoded to /dev/null; the file size is a counter.
void BM_EncodePng(benchmark::State &state) {
  const int content = (int)state.range(0);
  const int level = (int)state.range(1);
  const int filters = (int)state.range(2);
  if (content == kFile && !realFrame()) {
    state.SkipWithError("VY_BENCH_FRAME names no 1024x768 PNG");
    return;
  }
  SDL_Surface *s = frameSurface(content);
  std::string sized = tempPath("sized.png");
  png_save_surface_with(sized.c_str(), s, level, filters);
  struct stat st;
  stat(sized.c_str(), &st);
  for (auto _ : state) png_save_surface_with("/dev/null", s, level, filters);
  state.counters["KiB"] = st.st_size / 1024.0;
  std::string label = contentName(content);
  label += level < 0 ? " level default" : " level " + std::to_string(level);
  label += filters < 0              ? " filter adaptive"
           : filters == PNG_FILTER_NONE ? " filter none"
           : filters == PNG_FILTER_SUB  ? " filter sub"
           : filters == PNG_FILTER_UP   ? " filter up"
           : filters == (PNG_FILTER_NONE | PNG_FILTER_SUB) ? " filter none|sub"
                                        : " filter " + std::to_string(filters);
  if (level == kCaptureZlibLevel && filters == kCaptureFilters)
    label += " (capture)";
  state.SetLabel(label);
  SDL_FreeSurface(s);
}
BENCHMARK(BM_EncodePng)
    ->ArgsProduct({{kDark, kScene, kNoise, kFile},
                   {-1, kCaptureZlibLevel},
                   {-1, kCaptureFilters}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodePng)
    ->ArgsProduct({{kScene, kFile},
                   {1, 2, 3},
                   {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP,
                    PNG_FILTER_NONE | PNG_FILTER_SUB}})
    ->Unit(benchmark::kMillisecond);

void BM_GlReadPixels(benchmark::State &state) {
  if (!glAvailable()) {
    state.SkipWithError("no GL context");
    return;
  }
  std::vector<unsigned char> buffer((size_t)W * H * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  for (auto _ : state) {
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, buffer.data());
    benchmark::DoNotOptimize(buffer.data());
  }
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
}
BENCHMARK(BM_GlReadPixels)->Unit(benchmark::kMillisecond);

// The whole capture of one frame, file written to disk: read-back, copy,
// encode at the capture's settings, write.
void BM_CaptureFrame(benchmark::State &state) {
  if (!glAvailable()) {
    state.SkipWithError("no GL context");
    return;
  }
  // Put a real frame (or the scene-like one) into the back buffer.
  const int content = realFrame() ? kFile : kScene;
  state.SetLabel(contentName(content));
  auto rgb = makeFrame(content);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glWindowPos2i(0, 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glDrawPixels(W, H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  glFinish();

  std::string dir = makeWorkdir(false);
  mkdir((dir + "/capture").c_str(), 0755);
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd) || chdir(dir.c_str()) != 0) {
    state.SkipWithError("no work directory");
    return;
  }
  globalWidth = W;
  globalHeight = H;
  {
    QuietStdout quiet;
    for (auto _ : state) getScreenShotRGB24();
  }
  struct stat st;
  if (stat("capture/0000000000.png", &st) == 0)
    state.counters["KiB"] = st.st_size / 1024.0;
  std::string cmd = "rm -rf '" + dir + "'";
  if (chdir(cwd) != 0 || system(cmd.c_str()) != 0)
    state.SkipWithError("cleanup failed");
}
BENCHMARK(BM_CaptureFrame)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
