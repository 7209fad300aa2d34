// Frame capture: reads the back buffer after each frame and writes it as
// capture/NNNNNNNNNN.png, so a video can be made from the run afterwards.
#include "main/capture.h"

#include <GL/glew.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "main/driver.h"
#include "main/rawblur.h"
#include "main/showrange.h"
#include "main/startup.h"

void png_user_warn(png_structp, png_const_charp message) {
  fprintf(stderr, "libpng: warning: %s\n", message);
}

// Returning hands control back to libpng, which jumps to the recovery
// point set in png_save_surface_with.
void png_user_error(png_structp, png_const_charp message) {
  fprintf(stderr, "libpng: error: %s\n", message);
}

int png_colortype_from_surface(SDL_Surface *surface) {
  if (surface->format->palette) return PNG_COLOR_TYPE_PALETTE;
  if (surface->format->Amask) return PNG_COLOR_TYPE_RGB_ALPHA;
  return PNG_COLOR_TYPE_RGB;
}

int captureFileName(int framenr, char *out, size_t size) {
  // Padding and number make 10 digits together.
  char number[16];
  snprintf(number, sizeof number, "%d", framenr);
  char padding[16] = {0};
  int digits = (int)strlen(number);
  for (int i = 0; i < 10 - digits; ++i) padding[i] = '0';
  int n = snprintf(out, size, "capture/%s%d.png", padding, framenr);
  if (n < 0 || (size_t)n >= size) return -1;
  return n;
}

SDL_Surface *createCaptureSurface(int w, int h) {
  // On little-endian machines these masks lay a pixel out in memory as
  // R, G, B, A: the byte order PNG wants, so rows go to libpng untouched.
  return SDL_CreateRGBSurface(0, w, h, 32, 0x000000FF, 0x0000FF00,
                              0x00FF0000, 0xFF000000);
}

void flipRGBToSurface(const unsigned char *rgb, int w, int h,
                      SDL_Surface *surface) {
  const SDL_PixelFormat *f = surface->format;
  const int rows = h < surface->h ? h : surface->h;
  const int cols = w < surface->w ? w : surface->w;
  auto *pixels = static_cast<unsigned char *>(surface->pixels);

  // For a 32-bit format without loss SDL_MapRGBA is just shifts and ors;
  // doing them inline gives the same words at a fraction of the cost.
  const bool direct = f->BytesPerPixel == 4 && !f->palette && !f->Rloss &&
                      !f->Gloss && !f->Bloss && !f->Aloss;

  for (int k = 0; k < rows; ++k) {
    const int y = surface->h - 1 - k;
    const unsigned char *src = rgb + (size_t)k * w * 3;
    unsigned char *row = pixels + (size_t)y * surface->pitch;
    if (direct) {
      const uint32_t a = f->Amask;
      const int rs = f->Rshift, gs = f->Gshift, bs = f->Bshift;
      uint32_t *dst = reinterpret_cast<uint32_t *>(row);
      for (int x = 0; x < cols; ++x) {
        dst[x] = ((uint32_t)src[3 * x] << rs) |
                 ((uint32_t)src[3 * x + 1] << gs) |
                 ((uint32_t)src[3 * x + 2] << bs) | a;
      }
    } else {
      for (int x = 0; x < cols; ++x) {
        Uint32 p = SDL_MapRGBA(surface->format, src[3 * x], src[3 * x + 1],
                               src[3 * x + 2], 255);
        memcpy(row + (size_t)x * f->BytesPerPixel, &p, f->BytesPerPixel);
      }
    }
  }
}

// Removes what a failed write left at path: a file or a link, never a
// device or a directory someone named there.
static void removeFile(const char *path) {
  struct stat st;
  if (lstat(path, &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) remove(path);
}

// Message and clean-up for a frame that could not be written completely:
// the partial file goes, so every file left is a whole picture.
static void writeFailed(const char *path, int err) {
  fprintf(stderr, "[!] capture: writing %s failed: %s\n", path,
          err ? strerror(err) : "write error");
  removeFile(path);
}

// Like fopen(path, "wb"), but a link is never followed: a frame written
// through it would overwrite whatever it points at. Nor does a FIFO without
// a reader hold the run up.
static FILE *openFrameFile(const char *path) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FILE *fp = fdopen(fd, "wb");
  if (!fp) close(fd);
  return fp;
}

int png_save_surface_with(const char *path, SDL_Surface *surface,
                          int zlibLevel, int filters) {
  FILE *fp = openFrameFile(path);
  if (!fp) {
    perror("fopen error");
    return -1;
  }

  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr,
                                            png_user_error, png_user_warn);
  if (!png) {
    printf("png_create_write_struct error!\n");
    fclose(fp);
    removeFile(path);
    return -1;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    printf("png_create_info_struct error!\n");
    fclose(fp);
    removeFile(path);
    return -2;
  }

  // Allocated before the recovery point: nothing set after it is read
  // once libpng jumps back.
  png_bytep *rowPointers =
      static_cast<png_bytep *>(malloc(sizeof(png_bytep) * surface->h));
  for (int i = 0; i < surface->h; ++i)
    rowPointers[i] = static_cast<png_bytep>(surface->pixels) +
                     (size_t)i * surface->pitch;

  if (setjmp(png_jmpbuf(png))) {
    int err = ferror(fp) ? errno : 0;
    png_destroy_write_struct(&png, &info);
    fclose(fp);
    free(rowPointers);
    writeFailed(path, err);
    return -2;
  }

  png_init_io(png, fp);
  if (zlibLevel >= 0) png_set_compression_level(png, zlibLevel);
  if (filters >= 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
  png_set_IHDR(png, info, surface->w, surface->h, 8,
               png_colortype_from_surface(surface), PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_packing(png);
  png_write_image(png, rowPointers);
  png_write_end(png, info);

  free(rowPointers);
  png_destroy_write_struct(&png, &info);

  // stdio keeps the tail of the file buffered; a full disk shows only here.
  int err = 0;
  if (ferror(fp)) err = errno ? errno : EIO;
  if (fflush(fp) != 0 && !err) err = errno;
  if (fclose(fp) != 0 && !err) err = errno;
  if (err) {
    writeFailed(path, err);
    return -2;
  }
  return 0;
}

// A frame that cannot be written completely must not pass for a captured
// one: a video made from the run would silently lose pictures.
int png_save_surface(const char *path, SDL_Surface *surface) {
  int result = png_save_surface_with(path, surface, kCaptureZlibLevel,
                                     kCaptureFilters);
  if (result == -2) exit(-1);
  return result;
}

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
  int state = kFree;
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
static int nextReport = 0;  // number of the oldest frame not yet reported
static bool failing = false;
static bool stopping = false;  // a signal came: no new frame is taken
static FILE *rawStream = nullptr;
static RawBlur rawBlur;  // the worker's alone: frames reach it in order

static bool encodeSlot(CaptureSlot &slot) {
  SDL_LockSurface(slot.surface);
  flipRGBToSurface(slot.rgb.data(), imageWidth, imageHeight, slot.surface);
  SDL_UnlockSurface(slot.surface);
  char name[256];
  captureFileName(slot.framenr, name, sizeof name);
  return png_save_surface_with(name, slot.surface, kCaptureZlibLevel,
                               kCaptureFilters) == 0;
}

// A frame without blur goes out as drawn and is only remembered; most are
// followed by more of their kind (scenes 1 to 7 never blur), so it is
// taken into the blur's memory when a blurred frame needs it: 2 ms a
// frame at 1024x768 spared.
static std::vector<unsigned char> unblurred;
static bool unblurredPending = false;

// Raw frames are read back before the blur, which is worked out here, and
// go out top row first, as a video wants them.
static bool writeSlot(CaptureSlot &slot) {
  const size_t row = (size_t)imageWidth * 3;
  if (slot.blur > 0) {
    if (unblurredPending) rawBlur.apply(unblurred.data(), unblurred.data(), unblurred.size(), 0);
    unblurredPending = false;
    rawBlur.apply(slot.rgb.data(), slot.rgb.data(), slot.rgb.size(), slot.blur);
  }
  // Kept by taking the slot's buffer, whose place the previous one takes.
  if (slot.blur == 0) {
    unblurred.resize(slot.rgb.size());
    std::swap(slot.rgb, unblurred);
    unblurredPending = true;
  }
  std::vector<unsigned char> &frame = slot.blur == 0 ? unblurred : slot.rgb;
  if (!slot.write) return true;
  // The rows, bottom one of the buffer first, leave in a few gathered
  // writes: row by row through stdio a frame took hundreds of system calls,
  // each waking the reader of a pipe.
  // Only the worker writes: one list serves every frame.
  static std::vector<iovec> rows;
  rows.resize(static_cast<size_t>(imageHeight));
  for (int k = 0; k < imageHeight; ++k)
    rows[size_t(k)] = {frame.data() + size_t(imageHeight - 1 - k) * row, row};
  const int fd = fileno(rawStream);
  size_t at = 0;
  while (at < rows.size()) {
    const int count = int(std::min(rows.size() - at, size_t(IOV_MAX)));
    const ssize_t n = writev(fd, &rows[at], count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fprintf(stderr, "[!] capture: writing %s failed: %s\n", RAW_PATH, n < 0 ? strerror(errno) : "nothing written");
      return false;
    }
    // A write may stop part-way: go on from the first byte not taken.
    size_t left = size_t(n);
    while (left > 0 && left >= rows[at].iov_len) left -= rows[at++].iov_len;
    if (left > 0) {
      rows[at].iov_base = static_cast<char *>(rows[at].iov_base) + left;
      rows[at].iov_len -= left;
    }
  }
  return true;
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
    bool ok = rawStream ? writeSlot(*next) : encodeSlot(*next);
    hold.lock();
    next->state = ok ? kDone : kFailed;
    finished.notify_all();
  }
}

static void removeFrame(int framenr) {
  char name[256];
  captureFileName(framenr, name, sizeof name);
  removeFile(name);
}

// A frame failed (its message is out): frames behind it that are not yet
// written are dropped, and those already written are removed, so the files
// left are exactly the frames reported. Then the run ends with status 255.
[[noreturn]] static void failRun(std::unique_lock<std::mutex> &hold, bool atExit) {
  failing = true;
  for (CaptureSlot &s : slots)
    if (s.state == kQueued) s.state = kFree;
  for (;;) {
    bool busy = false;
    for (CaptureSlot &s : slots) busy = busy || s.state == kBusy;
    if (!busy) break;
    finished.wait(hold);
  }
  for (CaptureSlot &s : slots)
    if (s.state == kDone && !rawStream && s.framenr > nextReport) removeFrame(s.framenr);
  hold.unlock();
  fflush(stdout);
  fflush(stderr);
  if (atExit) _exit(255);
  exit(-1);
}

// Reports finished frames in order; waits until every frame below until
// is reported.
static void reportFrames(std::unique_lock<std::mutex> &hold, int until, bool atExit) {
  for (;;) {
    CaptureSlot *oldest = nullptr;
    for (CaptureSlot &s : slots)
      if (s.state != kFree && s.framenr == nextReport) oldest = &s;
    if (!oldest) return;
    if (oldest->state == kFailed) failRun(hold, atExit);
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
  if (imageWidth <= 0 || failing) return;
  std::unique_lock<std::mutex> hold(slotLock);
  reportFrames(hold, INT_MAX, false);
  fflush(stdout);
}

// The show ends with exit(); frames still being written are finished and
// reported first.
static void finishAtExit(int, void *) {
  if (imageWidth <= 0 || failing) return;
  std::unique_lock<std::mutex> hold(slotLock);
  reportFrames(hold, INT_MAX, true);
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
    rawStream = fopen(RAW_PATH, "wb");
    if (!rawStream) {
      fprintf(stderr, "[!] capture: opening %s failed: %s\n", RAW_PATH, strerror(errno));
      exit(-1);
    }
    // A reader that went away must end the run with a message, not a signal.
    signal(SIGPIPE, SIG_IGN);
    // A pipe of a few frames' rows lets the reader take whole frames; where
    // the output is no pipe this does nothing.
    fcntl(fileno(rawStream), F_SETPIPE_SZ, 1 << 20);
  } else {
    // Where it cannot be made, the first frame's file cannot be opened
    // either, and that ends the run with the reason.
    mkdir("capture", 0777);
    reportOlderFrames();
  }
  for (CaptureSlot &s : slots) {
    s.rgb.assign((size_t)w * h * 3, 0);
    if (!rawStream) s.surface = createCaptureSurface(w, h);
  }
  std::thread(workerLoop).detach();
  on_exit(finishAtExit, nullptr);
}

void getScreenShotRGB24() {
  static int loaded = 0;
  static int framenr = 0;
  static int mWindowMode[2] = {0, 0}; // height, width

  if (!loaded) {
    mWindowMode[0] = globalHeight;
    mWindowMode[1] = globalWidth;
    loaded = 1;
    if (mWindowMode[0] > 0 && mWindowMode[1] > 0) startCapture(mWindowMode[1], mWindowMode[0]);
  }
  if (!frameWritten(framenr) && !(rawStream && frameRendered(framenr))) {
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
    reportFrames(hold, nextReport + 1, false);
  }
  slot->state = kReading;
  hold.unlock();
  readFrame(mWindowMode[1], mWindowMode[0], slot->rgb.data());
  hold.lock();
  if (stopping) {
    slot->state = kFree;
    return;
  }
  slot->framenr = framenr;
  slot->blur = rawStream && global_motionblur ? mblur : -1;
  // A range's first drawn frame stands for the history it did not draw.
  if (slot->blur > 0 && framenr == rangeFirst - kBlurSettleFrames) slot->blur = 0;
  slot->write = frameWritten(framenr);
  slot->state = kQueued;
  work.notify_one();
  framenr += 1;
  reportFrames(hold, 0, false);
  hold.unlock();
  // Whoever follows the run through a pipe sees each frame as it lands.
  fflush(stdout);
}

void capture() {
  if (CAPTURE) getScreenShotRGB24();
}

// On SIGINT or SIGTERM: frames not yet started are dropped, the frame being
// written is finished (a writer stuck for 10 s loses its file instead), the
// whole ones are reported, and the process ends by the signal as it would
// have without capture. Runs on a thread of its own, where the lock and
// stdio may be used.
static void stopOnSignal(sigset_t signals) {
  int sig = 0;
  while (sigwait(&signals, &sig) != 0) {
  }
  std::unique_lock<std::mutex> hold(slotLock);
  stopping = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    bool busy = false;
    for (CaptureSlot &s : slots) {
      if (s.state == kQueued) s.state = kFree;
      busy = busy || s.state == kBusy;
    }
    if (!busy || finished.wait_until(hold, deadline) == std::cv_status::timeout) break;
  }
  for (bool more = true; more;) {
    more = false;
    for (CaptureSlot &s : slots)
      if (s.state == kDone && s.framenr == nextReport) {
        s.state = kFree;
        nextReport += 1;
        printf("[->] captured frame #%d\n", nextReport);
        more = true;
      }
  }
  // Behind a failed frame, or still being written: not reported, so gone.
  for (CaptureSlot &s : slots)
    if (!rawStream && (s.state == kDone || s.state == kBusy)) removeFrame(s.framenr);
  fflush(stdout);
  fflush(stderr);
  signal(sig, SIG_DFL);
  pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
  raise(sig);
}

void stopCaptureOnSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  // Blocked here, before GL starts its threads, so every thread inherits
  // the mask and only stopOnSignal takes these signals.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(stopOnSignal, signals).detach();
}
