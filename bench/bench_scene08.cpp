// Frame times of the spectrum city at 1024x768: all 1,400 frames of the
// scene at the capture pace, each a whole frame (prologue, scene, motion
// blur, swap), reported as median, 90th percentile and worst. Run from
// the worktree root (it reads data/). With VY_BENCH_SHOTS naming a
// directory, the frames listed in VY_BENCH_FRAMES (scene frame numbers,
// comma-separated) are also saved there as PNGs, to look at. With
// VY_BENCH_MUSIC set, our track plays on the headless output from 73.4 s
// (where the scene starts in the show) and moves on 25 ms per frame,
// paused while a frame renders, so the towers see the music each frame
// would hear at the capture pace; VY_BENCH_LAST ends the run early.
#include <GL/glew.h>
#include <GL/glut.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fmodex/fmod.h"
#include "fmodex/fmodex_test.h"

#include "glm/glm.h"
#include "harness/harness.h"
#include "main/capture.h"
#include "main/pngwriter.h"
#include "main/driver.h"
#include "main/music.h"
#include "main/startup.h"
#include "scenes/scene08.h"
#include "scenes/scenes.h"
#include "textures.h"

namespace {

constexpr int W = 1024, H = 768;

void save(const std::string &path) {
  std::vector<uint8_t> rgb = readPixelsRGB(0, 0, W, H);
  SDL_Surface *s = createCaptureSurface(W, H);
  flipRGBToSurface(rgb.data(), W, H, s);
  png_save_surface(path.c_str(), s);
  SDL_FreeSurface(s);
}

}  // namespace

int main() {
  ensureGlContext(W, H);
  c64Tex = loadTGA("data/textures/commodore.tga");
  greetTex = loadTGA("data/textures/greet.tga");
  toyplane = glmReadOBJ("data/models/toyplane.obj");
  plane = glGenLists(1);
  glNewList(plane, GL_COMPILE);
  glmDraw(toyplane, 2);
  glEndList();
  makeOffscreenTarget();

  std::set<int> shots;
  const char *dir = getenv("VY_BENCH_SHOTS");
  if (dir && getenv("VY_BENCH_FRAMES")) {
    std::stringstream list(getenv("VY_BENCH_FRAMES"));
    for (std::string item; std::getline(list, item, ',');) shots.insert(atoi(item.c_str()));
  }

  int last = getenv("VY_BENCH_LAST") ? atoi(getenv("VY_BENCH_LAST")) : 1 << 30;
  if (getenv("VY_BENCH_MUSIC")) {
    fmodex_test::forceLoopback(true);
    FMOD_System_Create(&system0);
    FMOD_System_Init(system0, 1, FMOD_INIT_NORMAL, nullptr);
    ERRCHECK(FMOD_System_CreateSound(system0, "data/tune/vy-03.mp3", 200, nullptr, &sound0));
    ERRCHECK(FMOD_System_PlaySound(system0, FMOD_CHANNEL_FREE, sound0, 0, &channel0));
    while (fmodex_test::channelPosition(channel0) < 73.4 * 44100)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    FMOD_Channel_SetPaused(channel0, 1);
  }

  // As scene 7 leaves it: fixed clock, black, no music.
  CAPTURE = 1;
  queue = 8;
  gColor = 0;
  mblur = 0;
  loadingTime = getTime() / 1000.0;
  std::vector<double> ms;
  std::vector<float> growth;  // what the towers grew by, frame by frame
  for (int frame = 1; queue == 8 && frame <= last; frame++) {
    if (channel0) {
      FMOD_Channel_SetPaused(channel0, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      FMOD_Channel_SetPaused(channel0, 1);
    }
    auto t0 = std::chrono::steady_clock::now();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearAccum(0, 0, 0, 1);
    glClearColor(gColor, gColor, gColor, gColor);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -50);
    scene08();
    glAccum(GL_MULT, mblur);
    glAccum(GL_ACCUM, 1 - mblur);
    glAccum(GL_RETURN, 1.0);
    glFinish();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    // The music stands still between frames: this reads what the frame read.
    if (channel0) growth.push_back(readSpectrum());
    if (shots.count(frame)) save(std::string(dir) + "/scene08_" + std::to_string(frame) + ".png");
    glutSwapBuffers();
  }
  double first = ms.front();
  std::sort(ms.begin(), ms.end());
  printf("scene 8 at %dx%d: %zu frames, first %.1f ms, median %.1f ms, 90%% %.1f ms, worst %.1f ms\n", W, H,
         ms.size(), first, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
  if (!growth.empty()) {
    std::sort(growth.begin(), growth.end());
    printf("towers 20 + %.2f (least), %.2f (median), %.2f (most)\n", growth.front(), growth[growth.size() / 2],
           growth.back());
  }
  return 0;
}
