// Where a frame's fixed costs go at 1024x768 under llvmpipe: the composite
// (plain quad and glow quad), the glow quad alone, and the motion blur's
// accumulation steps against the window blur on the CPU. Times are the
// process's CPU time per frame (all of llvmpipe's threads), steadier than
// wall time on a shared machine; BENCH_WALL=1 in the environment measures
// the wall clock instead.
#include <GL/glew.h>
#include <GL/glut.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <malloc.h>
#include <ctime>
#include <vector>

#include "funcs/cubebatch.h"
#include "funcs/cubes.h"
#include "funcs/quads.h"
#include "funcs/wirelattice.h"
#include "harness/harness.h"
#include "main/driver.h"
#include "main/startup.h"
#include "main/windowblur.h"
#include "shader.h"

namespace {

constexpr int W = 1024, H = 768;

double cpuSeconds() {
  static const clockid_t clock = getenv("BENCH_WALL") ? CLOCK_MONOTONIC : CLOCK_PROCESS_CPUTIME_ID;
  timespec t;
  clock_gettime(clock, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// The off-screen target holding a frame-like picture: dark background,
// bright and mid-grey blocks.
void setUp() {
  static bool done = false;
  if (done) return;
  done = true;
  // glibc's moving mmap threshold sometimes gave Mesa's per-draw upload
  // buffers fresh pages every frame, and the faults tripled the GL
  // thread's time in some runs: fixed thresholds keep runs comparable.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  ensureGlContext(W, H);
  globalWidth = W;
  globalHeight = H;
  makeOffscreenTarget();
  std::vector<unsigned char> px((size_t)W * H * 4);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      unsigned char *p = &px[((size_t)y * W + x) * 4];
      const bool block = ((x / 64) + (y / 48)) % 3 == 0;
      p[0] = block ? 240 : 20;
      p[1] = block ? 200 : 30;
      p[2] = block ? 120 : 40;
      p[3] = block ? 255 : 0;
    }
  glBindTexture(GL_TEXTURE_2D, tb0);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  glsl_bloom_shader(0);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 1.25, 1.0, 200.0);
  glMatrixMode(GL_MODELVIEW);
}

template <class F>
void timed(benchmark::State &state, F body) {
  setUp();
  for (auto _ : state) {
    glFinish();
    double t0 = cpuSeconds();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0, 0, -50);
    body();
    glFinish();
    state.SetIterationTime(cpuSeconds() - t0);
  }
}

void BM_clear(benchmark::State &state) { timed(state, [] {}); }

void BM_composite(benchmark::State &state) {
  timed(state, [] { composite(0, true); });
}

void BM_glowQuad(benchmark::State &state) {
  timed(state, [] {
    glPushMatrix();
    glRotatef(180, 0, 1, 0);
    glColor4f(1, 1, 1, 1);
    glsl_bloom_shader(1);
    draw2DTexture(0, 0, -0.01f, 26, 21, tb0);
    glsl_bloom_shader(0);
    glPopMatrix();
  });
}

void BM_plainQuad(benchmark::State &state) {
  timed(state, [] {
    glPushMatrix();
    glRotatef(180, 0, 1, 0);
    glColor4f(1, 1, 1, 1);
    draw2DTexture(0, 0, -0.0f, 26, 21, tb0);
    glPopMatrix();
  });
}

void BM_blur(benchmark::State &state) {
  const float m = state.range(0) / 100.0f;
  timed(state, [m] {
    glAccum(GL_MULT, m);
    glAccum(GL_ACCUM, 1 - m);
    glAccum(GL_RETURN, 1.0);
  });
}

}  // namespace

BENCHMARK(BM_clear)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_plainQuad)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_glowQuad)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_composite)->UseManualTime()->Unit(benchmark::kMillisecond);
void BM_windowBlur(benchmark::State &state) {
  const float m = state.range(0) / 100.0f;
  timed(state, [m] { blurWindow(m); });
}

BENCHMARK(BM_blur)->Arg(0)->Arg(90)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_windowBlur)->Arg(0)->Arg(90)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
namespace {
void BM_blurLoad(benchmark::State &state) {
  timed(state, [] { glAccum(GL_LOAD, 1.0f); });
}
void BM_blurReturn(benchmark::State &state) {
  timed(state, [] { glAccum(GL_RETURN, 1.0f); });
}
}  // namespace
BENCHMARK(BM_blurLoad)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_blurReturn)->UseManualTime()->Unit(benchmark::kMillisecond);
namespace {
// Scene 9's ribbon: 6000 lit unit cubes, each turned twice and moved.
void BM_ribbon(benchmark::State &state) {
  timed(state, [] {
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    for (int i = 0; i < 6000; ++i) {
      float px = -30 + i * 0.01f;
      double s = sin(px);
      glPushMatrix();
      glRotatef(s * 40.0, 1.0f, 0.1f, 0.5f);
      glRotatef(sin(px) * 90.0, 1, 0, 0);
      glTranslatef(px, s * 10.0, 0);
      glColor4f(0.4f, 0.4f, (s + 1) * 0.6 + 0.7, 1.0f);
      solidCube(1.0);
      glPopMatrix();
    }
    glDisable(GL_LIGHTING);
  });
}
}  // namespace
BENCHMARK(BM_ribbon)->UseManualTime()->Unit(benchmark::kMillisecond);
namespace {
// Scene 1's lattice: 14 x 14 x 14 wire cubes, translucent, turned.
void BM_lattice(benchmark::State &state) {
  timed(state, [] {
    glTranslatef(0, 0, -30);
    glRotatef(-30, 1, 1, 0);
    glColor4f(0.6f, 0.6f, 0.6f, 0.8f);
    wireCubeLattice(-10, 1.5f, 10, 0.5);
  });
}
}  // namespace
BENCHMARK(BM_lattice)->UseManualTime()->Unit(benchmark::kMillisecond);
namespace {
// The same ribbon through a cube batch, far faces left out, as scene 9 draws it.
void BM_ribbonBatched(benchmark::State &state) {
  timed(state, [] {
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    for (int i = 0; i < 6000; ++i) {
      float px = -30 + i * 0.01f;
      double s = sin(px);
      CubeFrame f = cubeFrame();
      frameRotate(f, float(s * 40.0), 1.0f, 0.1f, 0.5f);
      frameRotate(f, float(sin(px) * 90.0), 1, 0, 0);
      frameTranslate(f, px, float(s * 10.0), 0);
      const float colour[4] = {0.4f, 0.4f, float((s + 1) * 0.6 + 0.7), 1.0f};
      batchSolidCube(f, 1.0f, colour);
    }
    flushCubeBatch(true);
    glDisable(GL_LIGHTING);
  });
}
}  // namespace
BENCHMARK(BM_ribbonBatched)->UseManualTime()->Unit(benchmark::kMillisecond);
