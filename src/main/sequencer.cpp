// The display callback: prologue, loader or scenes in number order,
// motion blur, capture and swap. Also the light and the common scene form.
#include <GL/glew.h>
#include <GL/glut.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "funcs/quads.h"
#include "main/capture.h"
#include "main/driver.h"
#include "main/music.h"
#include "main/showrange.h"
#include "main/startup.h"
#include "main/windowblur.h"
#include "scenes/scenes.h"
#include "shader.h"

int queue = 0;
double loadingTime = 0;
float gColor = 0;
float mblur = 0;
int global_motionblur = 1;
bool drawingFrame = true;

static GLfloat ambientLight[] = {0.2f, 0.2f, 0.2f, 1.0f};
static GLfloat diffuseLight[] = {0.8f, 0.8f, 0.8f, 1.0f};
static GLfloat specularLight[] = {0.5f, 0.0f, 0.0f, 1.0f};

// Frame bookkeeping for the "-t" diagnostics.
static int frameNumber = 0;
static int sceneFrames = 0;
static double sceneMillis = 0, sceneWorst = 0;
static std::vector<double> sceneTimes, sceneCpuTimes;
// Frames run through on the way to a later start, and how many of them
// were drawn (for the blur to settle).
static int aheadFrames = 0, aheadDrawn = 0;
static double aheadMillis = 0;

// CPU time of the whole process (the renderer's threads included): on a
// busy machine a steadier measure of a frame's cost than the wall clock.
static double processCpuMillis() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

// The value below which the given share of the times lie (0.5: the median).
static double percentile(std::vector<double> &v, double share) {
  if (v.empty()) return 0;
  auto at = v.begin() + std::min(v.size() - 1, size_t(share * v.size()));
  std::nth_element(v.begin(), at, v.end());
  return *at;
}

void setLight(int on) {
  if (on) {
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambientLight);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuseLight);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specularLight);
  } else {
    glDisable(GL_LIGHTING);
  }
}

float sceneClock() { return float(getTime() / 1000.0 - loadingTime); }

static void reportScene(int from, bool next) {
  if (!TIMING) return;
  const char *what = from ? "scene" : "loader";
  if (aheadFrames)
    printf("[dev] %s %d: %d frames run ahead, %d of them drawn for the blur, in %.2f s\n", what, from, aheadFrames,
           aheadDrawn, aheadMillis / 1000);
  if (sceneFrames || !aheadFrames) {
    const double p95 = percentile(sceneTimes, 0.95), p50 = percentile(sceneTimes, 0.5);
    printf("[dev] %s %d: %d frames, mean %.2f ms, median %.2f ms, p95 %.2f ms, max %.2f ms, median cpu %.2f ms\n",
           what, from, sceneFrames, sceneFrames ? sceneMillis / sceneFrames : 0.0, p50, p95, sceneWorst,
           percentile(sceneCpuTimes, 0.5));
  }
  if (next) printf("[dev] scene %d starts in frame %d\n", from + 1, frameNumber);
  aheadFrames = aheadDrawn = 0;
  aheadMillis = 0;
  sceneFrames = 0;
  sceneMillis = sceneWorst = 0;
  sceneTimes.clear();
  sceneCpuTimes.clear();
}

void handOver(float timer, bool keepOrigin) {
  if (!keepOrigin) loadingTime += timer;
  reportScene(queue, true);
  queue++;
}

void beginOffscreen(bool opaqueClear, float cameraZ) {
  if (opaqueClear) glClearColor(gColor, gColor, gColor, 1);
  glViewport(0, 0, globalWidth, globalHeight);
  glBindTexture(GL_TEXTURE_2D, 0);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fb0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glClearColor(gColor, gColor, gColor, 0);
  glLoadIdentity();
  glTranslatef(0, 0, cameraZ);
}

void composite(float clearGrey, bool noBlur) {
  // Most scenes leave lighting on for this step. The quads carry no normal
  // of their own, so they would take whatever the last object sent: facing
  // away from the light, only the ambient term reaches them and white shows
  // as grey. Facing it, lit white clamps to white. Unlit, the normal is left
  // alone for whatever the frame draws next.
  if (glIsEnabled(GL_LIGHTING)) glNormal3f(0, 0, -1);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  glViewport(0, 0, globalWidth, globalHeight);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glClearColor(gColor, gColor, gColor, 0);
  glLoadIdentity();
  glTranslatef(0, 0, -50);
  glClearColor(clearGrey, clearGrey, clearGrey, 1);
  if (noBlur) mblur = 0;
  glPushMatrix();
  // With draw2DTexture's own half turn about z this shows the picture
  // upright. The program lays the plain copy and the glow over it in this
  // one quad.
  glRotatef(180, 0, 1, 0);
  glColor4f(1, 1, 1, 1);
  glsl_bloom_shader(1);
  draw2DTexture(0, 0, -0.01f, 26, 21, tb0);
  glsl_bloom_shader(0);
  glPopMatrix();
}

bool motionBlur() {
  // Without blur the frame passes through unchanged and is only kept for
  // the next frame's mix. Scenes 1 to 7 never blur and only scene 8 after
  // them does: until scene 7 no frame is followed by a blurred one, and
  // none is kept.
  if (mblur == 0 && queue != 0 && queue < 7) return false;
  // A start's first drawn frame stands for the history it did not draw.
  const int n = frameNumber - 1;
  const float weight = n == firstRenderedFrame() ? 0 : mblur;
  // Capture reads the frame back from GL's buffer: it must get it there.
  // Frames before a start are not shown.
  return blurWindow(weight, !CAPTURE && n >= rangeFirst);
}

// A live run reaches its start: from here on the show goes in real time,
// the music with it.
static void startLive(int frame) {
  playMusicFrom(frame);
  continueInRealTime();
  printf("[*] start reached (frame %d, counted from 0): the show goes on in real time\n", frame);
}

// How far a live run is on its way to the start, by the work: a frame
// drawn for the blur costs about what a hundred passed over do.
static float runAheadShare(int done) {
  const int drawnFrom = firstRenderedFrame();
  auto work = [drawnFrom](int n) { return std::min(n, drawnFrom) + 100.0 * std::max(0, n - drawnFrom); };
  return float(work(done) / work(rangeFirst));
}

// Whether a live run has played its range: up to the hand-over of the last
// scene asked for, or for the range's frames' worth of real time.
static bool liveRangeOver() {
  using namespace std::chrono;
  static steady_clock::time_point started;
  const int n = frameNumber - 1;
  if (CAPTURE || n < rangeFirst) return false;
  if (n == rangeFirst) started = steady_clock::now();
  if (rangeLastScene) return queue > rangeLastScene;
  return rangeEnd >= 0 && steady_clock::now() - started >= milliseconds(25 * (rangeEnd - rangeFirst));
}

void drawScene() {
  // The previous frame was written while the timer ran; its capture line
  // comes before anything this frame prints.
  finishCapture();
  auto started = std::chrono::steady_clock::now();
  const double cpuStarted = TIMING ? processCpuMillis() : 0;
  frameNumber++;
  // Frames before a start run on the capture clock without the timer.
  const int n = frameNumber - 1;
  const bool ahead = n < rangeFirst;
  if (n == rangeFirst && n > 0 && !CAPTURE) startLive(n);
  // Frames that nobody needs run every scene's code, so the state moves on
  // as in a whole run, but draw nothing; an empty scissor box keeps the
  // clears from touching a pixel (scenes never read pixels back).
  static bool skipping = false;
  const bool skip = !frameRendered(n);
  drawingFrame = !skip;
  if (skip != skipping) {
    if (skip) {
      glEnable(GL_SCISSOR_TEST);
      glScissor(0, 0, 0, 0);
      glEnable(GL_RASTERIZER_DISCARD);
    } else {
      glDisable(GL_SCISSOR_TEST);
      glDisable(GL_RASTERIZER_DISCARD);
    }
    skipping = skip;
  }
  advanceMusic();
  // Scene 8 and the scenes composed through composite() clear the window
  // themselves before anything reaches it; clearing it here as well is a
  // full-window pass for nothing. The loader and scenes 3 and 4 draw
  // straight into the window.
  static const bool clearsWindow[] = {false, true, true, false, false, true, true,
                                      true,  true,  true, true, true, true};
  if (queue < 0 || queue > 12 || !clearsWindow[queue]) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (global_motionblur) glClearAccum(0, 0, 0, 1);
  glClearColor(gColor, gColor, gColor, gColor);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0, 0, -50);

  if (queue == 0) {
    runLoader();
    if (queue == 1) reportScene(0, true);
  }
  // Each test reads queue afresh: a scene that hands over lets the next
  // one draw in the same frame.
  if (queue == 1) scene01();
  if (queue == 2) scene02();
  if (queue == 3) scene03();
  if (queue == 4) scene04();
  if (queue == 5) scene05();
  if (queue == 6) scene06();
  if (queue == 7) scene07();
  if (queue == 8) scene08();
  if (queue == 9) scene09();
  if (queue == 10) scene10();
  if (queue == 11) scene11();
  if (queue == 12) scene12();

  // Like the show's end, the end of a live range is not shown. A scene
  // range's last scene has reported as it handed over.
  if (liveRangeOver()) {
    if (!rangeLastScene) reportScene(queue, false);
    exit(0);
  }
  // A raw stream takes the frame before the blur and blurs it on its way
  // out, off this thread; nobody watches its window, so it is not shown.
  // It does not wait for the timer either: the next frame follows at once.
  const bool shown = global_motionblur && !RAW_PATH && !skip && motionBlur();
  capture();
  // A capture range ends after its last frame, the figures with it.
  const bool ended = CAPTURE && rangeEnd >= 0 && frameNumber >= rangeEnd;
  if (ended) {
    finishCapture();
  } else {
    if (ahead && !CAPTURE) showRunAhead(runAheadShare(frameNumber));
    if (RAW_PATH || ahead)
      glutPostRedisplay();
    else if (!shown)
      glutSwapBuffers();
  }

  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  if (ahead) {
    aheadFrames++;
    aheadDrawn += drawingFrame;
    aheadMillis += ms;
  } else {
    sceneFrames++;
    sceneMillis += ms;
    if (TIMING) {
      sceneTimes.push_back(ms);
      sceneCpuTimes.push_back(processCpuMillis() - cpuStarted);
    }
    if (ms > sceneWorst) sceneWorst = ms;
  }
  if (ended) {
    reportScene(queue, false);
    exit(0);
  }
}

// Scene 12 ends the show before the epilogue: report its figures first.
// A range the show never reached must not look like a success.
void reportLastScene() {
  reportScene(12, false);
  if (frameNumber - 1 <= rangeFirst) {
    printf("[!] -s: the show ended after %d frames, before frame %d\n", frameNumber - 1, rangeFirst);
    exit(2);
  }
}
