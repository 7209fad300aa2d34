// Frame capture in -c and -r: after each frame the window is read back into
// one of two slots, which a worker writes out (a PNG file, or the raw
// stream) while the program draws the next; frames are reported in order,
// once they are out, and every end of the run leaves exactly the reported
// frames behind.
#include "main/capture.h"

#include <GL/glew.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <dirent.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include "main/driver.h"
#include "main/pngwriter.h"
#include "main/rawstream.h"
#include "main/showrange.h"
#include "main/startup.h"

// Reads the lower-left w x h of the read buffer as tightly packed RGB rows.
// A window that shrank since the first capture is read only as far as it
// reaches; the rest of the image stays black.
static void readFrame(int w, int h, unsigned char *buffer) {
  const int rw = globalWidth < w ? globalWidth : w;
  const int rh = globalHeight < h ? globalHeight : h;
  if (rw < w || rh < h) memset(buffer, 0, (size_t)w * h * 3);
  if (rw <= 0 || rh <= 0) return;

  GLint alignment = 4, rowLength = 0;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  glGetIntegerv(GL_PACK_ROW_LENGTH, &rowLength);
  // Rows of 3 x width bytes are not 4-byte aligned for every width; and
  // the row stride is the fixed width even when fewer columns are read.
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, w);
  glReadPixels(0, 0, rw, rh, GL_RGB, GL_UNSIGNED_BYTE, buffer);
  glPixelStorei(GL_PACK_ALIGNMENT, alignment);
  glPixelStorei(GL_PACK_ROW_LENGTH, rowLength);
}

// Frames leave the GL thread as soon as they are read back: a worker
// flips and encodes each one (or writes it to the raw stream) while the
// program waits for its next frame. A frame is reported as captured only
// once it is on disk, in order; the next frame starts by waiting for that
// report (finishCapture), so every line keeps its place among the others.
// kReading: the GL thread reads the frame back; kBusy: the worker writes it.
enum SlotState { kFree, kReading, kQueued, kBusy, kDone, kFailed };

struct CaptureSlot {
  SlotState state = kFree;
  int framenr = 0;
  float blur = -1;  // raw streams: the frame's blur weight, -1 for none
  bool write = true;  // false: only settles the blur before a range
  std::vector<unsigned char> rgb;
  SDL_Surface *surface = nullptr;
};

constexpr int kSlots = 2;
static CaptureSlot slots[kSlots];
// Never destroyed: workers may still wait on them while the process ends.
static std::mutex &slotLock = *new std::mutex;
static std::condition_variable &work = *new std::condition_variable;
static std::condition_variable &finished = *new std::condition_variable;
static int imageWidth = 0, imageHeight = 0;
// Frame files are numbered from 0, report lines from 1: "#1" is the frame
// in capture/0000000000.png. nextReport is the file number of the oldest
// frame not yet reported, so also the count of frames reported.
static int nextReport = 0;
static bool ending = false;    // the run is ending: no new frame is taken
static bool exiting = false;   // exit() has begun: the end can only _exit

static bool encodeSlot(CaptureSlot &slot) {
  SDL_LockSurface(slot.surface);
  flipRGBToSurface(slot.rgb.data(), imageWidth, imageHeight, slot.surface);
  SDL_UnlockSurface(slot.surface);
  char name[256];
  captureFileName(slot.framenr, name, sizeof name);
  return png_save_surface_with(name, slot.surface, kCaptureZlibLevel,
                               kCaptureFilters) == 0;
}

static void workerLoop() {
  std::unique_lock<std::mutex> hold(slotLock);
  for (;;) {
    // The oldest queued frame first: a raw stream needs them in order.
    CaptureSlot *next = nullptr;
    for (CaptureSlot &s : slots)
      if (s.state == kQueued && (!next || s.framenr < next->framenr)) next = &s;
    if (!next) {
      work.wait(hold);
      continue;
    }
    // A busy slot is the worker's alone until it is marked done.
    next->state = kBusy;
    hold.unlock();
    bool ok = rawStreamOpen() ? writeRawFrame(next->rgb, next->blur, next->write) : encodeSlot(*next);
    hold.lock();
    next->state = ok ? kDone : kFailed;
    finished.notify_all();
  }
}

static void removeFrame(int framenr) {
  char name[256];
  captureFileName(framenr, name, sizeof name);
  removeFrameFile(name);
}

// Every way a run ends but the show's own end comes here: the frames still
// queued are dropped, the one being written is finished (after a signal, a
// writer stuck for 10 s loses its file instead), the whole ones are
// reported in order, and the files of frames not reported are removed, so
// the files left are exactly the frames reported. A failed frame stops the
// reports at itself.
[[noreturn]] static void endRun(std::unique_lock<std::mutex> &hold, CaptureEnd why, int status) {
  ending = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    bool busy = false;
    for (CaptureSlot &s : slots) {
      if (s.state == kQueued) s.state = kFree;
      busy = busy || s.state == kBusy;
    }
    if (!busy) break;
    if (why == CaptureEnd::kFrameFailed)
      finished.wait(hold);
    else if (finished.wait_until(hold, deadline) == std::cv_status::timeout)
      break;
  }
  for (bool more = true; more;) {
    more = false;
    for (CaptureSlot &s : slots)
      if (s.state == kDone && s.framenr == nextReport) {
        s.state = kFree;
        nextReport += 1;
        if (s.write) printf("[->] captured frame #%d\n", nextReport);
        more = true;
      }
  }
  for (CaptureSlot &s : slots)
    if (!rawStreamOpen() && (s.state == kDone || s.state == kBusy)) removeFrame(s.framenr);
  hold.unlock();
  fflush(stdout);
  fflush(stderr);
  if (why == CaptureEnd::kSignal) {
    // Ends by the signal, as it would have without capture.
    signal(status, SIG_DFL);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, status);
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
    raise(status);
  }
  if (exiting) _exit(status & 255);
  exit(status);
}

void endCaptureRun(CaptureEnd why, int status) {
  std::unique_lock<std::mutex> hold(slotLock);
  endRun(hold, why, status);
}

// Reports finished frames in order; waits until every frame below until
// is reported.
static void reportFrames(std::unique_lock<std::mutex> &hold, int until) {
  for (;;) {
    CaptureSlot *oldest = nullptr;
    for (CaptureSlot &s : slots)
      if (s.state != kFree && s.framenr == nextReport) oldest = &s;
    if (!oldest) return;
    if (oldest->state == kFailed) endRun(hold, CaptureEnd::kFrameFailed, -1);
    if (oldest->state == kDone) {
      oldest->state = kFree;
      nextReport += 1;
      if (oldest->write) printf("[->] captured frame #%d\n", nextReport);
      continue;
    }
    if (nextReport >= until) return;
    finished.wait(hold);
  }
}

void finishCapture() {
  if (imageWidth <= 0 || ending) return;
  std::unique_lock<std::mutex> hold(slotLock);
  reportFrames(hold, INT_MAX);
  fflush(stdout);
}

// The show ends with exit(); frames still being written are finished and
// reported first.
static void finishAtExit(int, void *) {
  if (imageWidth <= 0 || ending) return;
  std::unique_lock<std::mutex> hold(slotLock);
  exiting = true;
  reportFrames(hold, INT_MAX);
  fflush(stdout);
}

// Frames of an earlier run are the user's: they stay, but the run says that
// capture/ holds files it did not write.
static void reportOlderFrames() {
  DIR *d = opendir("capture");
  if (!d) return;
  int older = 0;
  while (dirent *e = readdir(d)) {
    const char *n = e->d_name;
    older += strlen(n) == 14 && strspn(n, "0123456789") == 10 && strcmp(n + 10, ".png") == 0;
  }
  closedir(d);
  if (older > 0)
    printf("[!] capture/ already holds %d frame file%s: not this run's, except those it writes over\n", older,
           older == 1 ? "" : "s");
}

static void startCapture(int w, int h) {
  imageWidth = w;
  imageHeight = h;
  if (RAW_PATH) {
    openRawStream(w, h);
  } else {
    // Where it cannot be made, the first frame's file cannot be opened
    // either, and that ends the run with the reason.
    mkdir("capture", 0777);
    reportOlderFrames();
  }
  for (CaptureSlot &s : slots) {
    s.rgb.assign((size_t)w * h * 3, 0);
    if (!rawStreamOpen()) s.surface = createCaptureSurface(w, h);
  }
  std::thread(workerLoop).detach();
  on_exit(finishAtExit, nullptr);
}

void getScreenShotRGB24() {
  static int loaded = 0;
  static int framenr = 0;
  // The drawable's size at the first frame is every frame's size.
  static int width = 0, height = 0;

  if (!loaded) {
    width = globalWidth;
    height = globalHeight;
    loaded = 1;
    if (width > 0 && height > 0) startCapture(width, height);
  }
  if (!frameWritten(framenr) && !(rawStreamOpen() && frameRendered(framenr))) {
    // Before a start: nothing to read, write or report, but for the frames
    // drawn to settle a raw stream's blur.
    std::lock_guard<std::mutex> hold(slotLock);
    framenr += 1;
    nextReport = framenr;
    return;
  }
  if (imageWidth <= 0) {
    // Nothing to read from a drawable without pixels.
    framenr += 1;
    printf("[->] captured frame #%d\n", framenr);
    fflush(stdout);
    return;
  }

  std::unique_lock<std::mutex> hold(slotLock);
  // All slots busy: wait for the oldest frame to be written.
  CaptureSlot *slot = nullptr;
  for (;;) {
    for (CaptureSlot &s : slots)
      if (s.state == kFree) slot = &s;
    if (slot) break;
    reportFrames(hold, nextReport + 1);
  }
  slot->state = kReading;
  hold.unlock();
  readFrame(width, height, slot->rgb.data());
  hold.lock();
  if (ending) {
    slot->state = kFree;
    return;
  }
  slot->framenr = framenr;
  slot->blur = rawStreamOpen() && global_motionblur ? mblur : -1;
  // A range's first drawn frame stands for the history it did not draw.
  if (slot->blur > 0 && framenr == firstRenderedFrame()) slot->blur = 0;
  slot->write = frameWritten(framenr);
  slot->state = kQueued;
  work.notify_one();
  framenr += 1;
  reportFrames(hold, 0);
  hold.unlock();
  // Whoever follows the run through a pipe sees each frame as it lands.
  fflush(stdout);
}

void capture() {
  if (CAPTURE) getScreenShotRGB24();
}
