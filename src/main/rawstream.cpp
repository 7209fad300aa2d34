// The raw stream of -r: frames read back before the motion blur, blurred
// here with the accumulation buffer's arithmetic, and appended to the
// stream top row first, as a video wants them.
#include "main/rawstream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "main/rawblur.h"
#include "main/startup.h"
#include "main/yuvframe.h"

static FILE *rawStream = nullptr;
static int streamWidth = 0, streamHeight = 0;
static RawBlur rawBlur;  // the worker's alone: frames reach it in order

int rawStreamFd = -1;

// A FIFO without a reader holds the run at its first frame: it says so.
static FILE *openStream() {
  if (rawStreamFd >= 0) return fdopen(rawStreamFd, "wb");
  struct stat st;
  if (stat(RAW_PATH, &st) == 0 && S_ISFIFO(st.st_mode)) {
    const int fd = open(RAW_PATH, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fdopen(fd, "wb");
    }
    if (errno == ENXIO) {
      printf("[*] capture: waiting for a reader of %s\n", RAW_PATH);
      fflush(stdout);
    }
  }
  return fopen(RAW_PATH, "wb");
}

void openRawStream(int width, int height) {
  streamWidth = width;
  streamHeight = height;
  rawStream = openStream();
  if (!rawStream) {
    fprintf(stderr, "[!] capture: opening %s failed: %s\n", RAW_PATH, strerror(errno));
    exit(-1);
  }
  // A reader that went away must end the run with a message, not a signal.
  signal(SIGPIPE, SIG_IGN);
  // A pipe of a few frames' rows lets the reader take whole frames; where
  // the output is no pipe this does nothing.
  fcntl(fileno(rawStream), F_SETPIPE_SZ, 1 << 20);
}

bool rawStreamOpen() { return rawStream != nullptr; }

// A frame without blur goes out as drawn and is only remembered; most are
// followed by more of their kind (scenes 1 to 7 never blur), so it is
// taken into the blur's memory only when a blurred frame needs it.
static std::vector<unsigned char> unblurred;
static bool unblurredPending = false;

bool writeRawFrame(std::vector<unsigned char> &rgb, float blur, bool write) {
  const size_t row = (size_t)streamWidth * 3;
  if (blur > 0) {
    if (unblurredPending) rawBlur.apply(unblurred.data(), unblurred.data(), unblurred.size(), 0);
    unblurredPending = false;
    rawBlur.apply(rgb.data(), rgb.data(), rgb.size(), blur);
  }
  // Kept by taking the caller's buffer, whose place the previous one takes.
  if (blur == 0) {
    unblurred.resize(rgb.size());
    std::swap(rgb, unblurred);
    unblurredPending = true;
  }
  std::vector<unsigned char> &frame = blur == 0 ? unblurred : rgb;
  if (!write) return true;
  // The rows, bottom one of the buffer first, leave in a few gathered
  // writes: row by row through stdio a frame took hundreds of system calls,
  // each waking the reader of a pipe.
  // Only the worker writes: one list and one YUV frame serve every frame.
  // Never destroyed: at the show's end exit() runs the destructors of such
  // statics while the worker may still be writing the last frame.
  static std::vector<iovec> &rows = *new std::vector<iovec>;
  static std::vector<unsigned char> &yuv = *new std::vector<unsigned char>;
  if (RAW_YUV) {
    yuv.resize(yuv420Size(streamWidth, streamHeight));
    rgbToYuv420(frame.data(), streamWidth, streamHeight, yuv.data());
    rows.assign(1, {yuv.data(), yuv.size()});
  } else {
    rows.resize(static_cast<size_t>(streamHeight));
    for (int k = 0; k < streamHeight; ++k)
      rows[size_t(k)] = {frame.data() + size_t(streamHeight - 1 - k) * row, row};
  }
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

