// Frame capture: the PNG writer's failure modes, one capture
// of a real GL frame, and the real program's capture and raw runs.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "main/capture.h"
#include "main/pngwriter.h"
#include "main/showrange.h"
#include "main/startup.h"
#include "main/yuvframe.h"

namespace {

// One capture, waited for: frames are written on worker threads.
std::string capturedStdout(void (*body)()) {
  testing::internal::CaptureStdout();
  body();
  finishCapture();
  return testing::internal::GetCapturedStdout();
}

}  // namespace

// The writer (on worker threads) returns instead of exiting: -1 for a file
// it could not open, -2 for a failed write (a full disk, even for an image
// that fits stdio's buffer; libpng refusing a zero-width one). No partial
// file stays; links, even dangling, are not followed; a device is left alone.
TEST(PngSaveSurface, FailuresReturnAndLeaveNoPartialFile) {
  SDL_Surface *s = createCaptureSurface(64, 64), *tiny = createCaptureSurface(2, 2), *none = createCaptureSurface(0, 0);
  const std::string dir = makeWorkdir(false);
  const std::string link = dir + "/link.png", dangling = dir + "/dangling.png", bad = dir + "/bad.png";
  writeFile(dir + "/mine", "mine");
  ASSERT_EQ(symlink("mine", link.c_str()), 0);
  ASSERT_EQ(symlink("made", dangling.c_str()), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(png_save_surface_with("/dev/full", s, 2, 0), -2);
  EXPECT_EQ(png_save_surface_with("/dev/full", tiny, 2, 0), -2);
  EXPECT_EQ(png_save_surface_with(bad.c_str(), none, 2, 0), -2);
  EXPECT_EQ(png_save_surface_with(link.c_str(), s, 2, 0), -1);
  EXPECT_EQ(png_save_surface_with(dangling.c_str(), s, 2, 0), -1);
  EXPECT_EQ(png_save_surface_with((dir + "/none/x.png").c_str(), s, 2, 0), -1);
  EXPECT_EQ(png_save_surface_with(dir.c_str(), s, 2, 0), -1);  // a directory
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string full = "[!] capture: writing /dev/full failed: No space left on device\n";
  EXPECT_EQ(err.substr(0, 2 * full.size()), full + full);
  EXPECT_NE(err.find("libpng: error: "), std::string::npos) << err;
  EXPECT_NE(err.find("[!] capture: writing " + bad + " failed"), std::string::npos) << err;
  EXPECT_EQ(err.substr(err.find("fopen error")), "fopen error: " + link + ": Too many levels of symbolic links\nfopen error: " +
                                                     dangling + ": Too many levels of symbolic links\nfopen error: " + dir +
                                                     "/none/x.png: No such file or directory\nfopen error: " + dir +
                                                     ": Is a directory\n");
  struct stat st;
  EXPECT_NE(stat(bad.c_str(), &st), 0);
  EXPECT_EQ(readFile(dir + "/mine"), "mine");
  EXPECT_NE(stat(dangling.c_str(), &st), 0);
  EXPECT_EQ(lstat(link.c_str(), &st), 0);
  ASSERT_EQ(stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  SDL_FreeSurface(s);
  SDL_FreeSurface(tiny);
  SDL_FreeSurface(none);
}

// The whole path through GL: one window, so it is one test. The image size
// is fixed by the first capture of the process.
TEST(CaptureGl, FramesAreUprightAndSizeStaysFixed) {
  const int w = 301, h = 203;  // odd width: rows of 903 bytes
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
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glColor4f(1, 0, 0, 1);
  glRectf(0, 0.5f, 0.5f, 1);  // upper-left quadrant of the window
  const std::vector<uint8_t> gl = readPixelsRGB(0, 0, w, h);
  // Leave a skewing pack alignment behind: the capture must not rely on it.
  glPixelStorei(GL_PACK_ALIGNMENT, 8);
  const std::string dir = makeWorkdir(false);
  ASSERT_EQ(mkdir((dir + "/capture").c_str(), 0755), 0);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  CAPTURE = 1;
  // The drawable at the first size, then reported larger and smaller: the
  // fixed size is read, into the buffer made for it. PNG row 0 is the top
  // of the screen; every row is exactly GL's row (no skew from row
  // padding); a smaller drawable (still reaching into the red quad) is read
  // at the fixed row stride, black outside it.
  int n = 0;
  for (auto [sw, sh] : {std::pair{w, h}, {2 * w, 2 * h}, {w - 40, h - 30}}) {
    globalWidth = sw;
    globalHeight = sh;
    EXPECT_EQ(capturedStdout(capture), "[->] captured frame #" + std::to_string(++n) + "\n");
    Picture p = readPng("capture/000000000" + std::to_string(n - 1) + ".png");
    ASSERT_TRUE(p.ok && p.width == unsigned(w) && p.height == unsigned(h)) << p.width << "x" << p.height;
    EXPECT_EQ(std::vector<uint8_t>(p.at(5, 35), p.at(5, 35) + 4), std::vector<uint8_t>({255, 0, 0, 255}));
    int wrong = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool inside = x < std::min(w, sw) && h - 1 - y < std::min(h, sh);
        const uint8_t *g = &gl[((size_t)(h - 1 - y) * w + x) * 3], *q = p.at(x, y);
        for (int c = 0; c < 4; ++c) wrong += q[c] != (c == 3 ? 255 : inside ? g[c] : 0);
      }
    EXPECT_EQ(wrong, 0) << sw << "x" << sh;
  }
  GLint alignment = 0;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 8);  // restored for whoever reads next
  CAPTURE = 0;
}

namespace {

std::vector<std::string> listDir(const std::string &dir) {
  std::vector<std::string> names;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string frameName(int n) {
  char name[32];
  snprintf(name, sizeof name, "%010d.png", n);
  return name;
}

// The captured lines of a run, in order, must be #1, #2, ... #n.
int capturedInOrder(const std::string &out) {
  int n = 0;
  size_t at = 0;
  for (;;) {
    const std::string line = "[->] captured frame #" + std::to_string(n + 1) + "\n";
    size_t next = out.find(line, at);
    if (next == std::string::npos) break;
    at = next + line.size();
    ++n;
  }
  return countLines(out, "[->] captured frame #") == n ? n : -1;
}

}  // namespace

// "-c" makes capture/ where it is missing; "-r" writes the same frames,
// blurred off the GL thread, to a raw stream only, equal to the PNGs pixel
// for pixel through the start screen's blurred fade and scene 1's glow.
TEST(CaptureRun, MakesItsDirectoryAndRawFramesEqualThePngs) {
  const int w = 320, h = 240, frames = 100;
  const std::string png = makeWorkdir(true), raw = makeWorkdir(true);
  RunResult a = runProgram({"-c", "-m", "-w", "320", "-h", "240"}, png, 120,
                           "[->] captured frame #" + std::to_string(frames) + "\n");
  ASSERT_TRUE(a.stopped) << a.out << a.err;
  EXPECT_GE(capturedInOrder(a.out), frames);

  RunResult b = runProgram({"-r", "frames.raw", "-w", "320", "-h", "240"}, raw, 120,
                           "[->] captured frame #" + std::to_string(frames) + "\n");
  ASSERT_TRUE(b.stopped) << b.out << b.err;
  EXPECT_GE(capturedInOrder(b.out), frames);
  EXPECT_EQ(listDir(raw), std::vector<std::string>({"data", "frames.raw"}));
  // The stream holds whole frames only up to the last reported one.
  const std::string stream = readFile(raw + "/frames.raw");
  const size_t frameBytes = (size_t)w * h * 3;
  ASSERT_GE(stream.size(), frameBytes * frames);

  for (int f = 0; f < frames; ++f) {
    Picture p = readPng(png + "/capture/" + frameName(f));
    ASSERT_TRUE(p.ok) << f;
    ASSERT_EQ(p.width, (unsigned)w);
    const unsigned char *r = (const unsigned char *)stream.data() + frameBytes * f;
    for (int i = 0; i < w * h; ++i)
      ASSERT_TRUE(r[3 * i] == p.rgba[4 * i] && r[3 * i + 1] == p.rgba[4 * i + 1] &&
                  r[3 * i + 2] == p.rgba[4 * i + 2])
          << "frame " << f << " pixel " << i % w << "," << i / w;
  }
}

// YUV for a video: BT.709's own values for the primaries in limited range,
// U and V of each 2x2 block's mean colour, rows turned top first, and an
// odd width's and height's last column and row kept.
TEST(YuvFrame, Bt709LimitedRangeFromBottomUpRows) {
  const struct {
    uint8_t r, g, b, y, u, v;
  } colours[] = {
      {0, 0, 0, 16, 128, 128},     {255, 255, 255, 235, 128, 128}, {255, 0, 0, 63, 102, 240},
      {0, 255, 0, 173, 42, 26},    {0, 0, 255, 32, 240, 118},      {128, 128, 128, 126, 128, 128},
  };
  for (const auto &c : colours) {
    const uint8_t rgb[2 * 2 * 3] = {c.r, c.g, c.b, c.r, c.g, c.b, c.r, c.g, c.b, c.r, c.g, c.b};
    uint8_t yuv[6];
    rgbToYuv420(rgb, 2, 2, yuv);
    EXPECT_EQ(std::vector<int>(yuv, yuv + 6), std::vector<int>({c.y, c.y, c.y, c.y, c.u, c.v}))
        << int(c.r) << "," << int(c.g) << "," << int(c.b);
  }
  // 3x3, bottom row first as read back: the top row is white, the rest black
  // but for a red right column. The top-left block mixes white and black.
  const uint8_t W = 255;
  const uint8_t rgb[3 * 3 * 3] = {0, 0, 0, 0, 0, 0, W, 0, 0,  0, 0, 0, 0, 0, 0, W, 0, 0,  W, W, W, W, W, W, W, 0, 0};
  ASSERT_EQ(yuv420Size(3, 3), 9u + 2 * 4);
  std::vector<uint8_t> yuv(yuv420Size(3, 3));
  rgbToYuv420(rgb, 3, 3, yuv.data());
  EXPECT_EQ(std::vector<int>(yuv.begin(), yuv.begin() + 9), std::vector<int>({235, 235, 63, 16, 16, 63, 16, 16, 63}));
  // U, then V: the mixed block is grey; the red column's blocks red (top:
  // two reds; bottom: one red, its own pair); the bottom-left block black.
  EXPECT_EQ(std::vector<int>(yuv.begin() + 9, yuv.end()), std::vector<int>({128, 102, 128, 102, 128, 240, 128, 240}));
}

// -y hands out the -r frames converted, at an odd size too.
TEST(CaptureRun, YuvFramesAreTheRawFramesConverted) {
  const int w = 161, h = 121, frames = 5;
  const std::string dir = makeWorkdir(true);
  for (const char *format : {"rgb", "yuv"}) {
    std::vector<std::string> args = {"-r", std::string("frames.") + format, "-s", "1100:1105", "-w", "161", "-h", "121"};
    if (format[0] == 'y') args.push_back("-y");
    RunResult r = runProgram(args, dir, 120);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }
  const std::string rgb = readFile(dir + "/frames.rgb"), yuv = readFile(dir + "/frames.yuv");
  const size_t rgbBytes = size_t(w) * h * 3, yuvBytes = yuv420Size(w, h);
  ASSERT_EQ(rgb.size(), rgbBytes * frames);
  ASSERT_EQ(yuv.size(), yuvBytes * frames);
  for (int f = 0; f < frames; ++f) {
    // The raw rows are top first; the converter takes them bottom first.
    std::vector<uint8_t> flipped(rgbBytes), want(yuvBytes);
    for (int k = 0; k < h; ++k)
      std::memcpy(&flipped[size_t(h - 1 - k) * w * 3], rgb.data() + f * rgbBytes + size_t(k) * w * 3, size_t(w) * 3);
    rgbToYuv420(flipped.data(), w, h, want.data());
    EXPECT_EQ(std::memcmp(want.data(), yuv.data() + f * yuvBytes, yuvBytes), 0) << "frame " << f;
  }
}

// Frames sent to standard output get no console line among them: those go
// to standard error then. A FIFO nobody reads yet: the run says it waits.
TEST(CaptureRun, RawFramesOnStandardOutputAndAFifoWithoutReader) {
  const std::string dir = makeWorkdir(true);
  RunResult r = runProgram({"-r", "/dev/stdout", "-s", "0:40", "-m", "-w", "160", "-h", "120"}, dir, 120);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.size(), 40u * 160 * 120 * 3);
  EXPECT_EQ(r.err.rfind("[*] vy-01 the zembrit.\n", 0), 0u) << r.err;
  EXPECT_EQ(countLines(r.err, "[->] captured frame #"), 40) << r.err;
  ASSERT_EQ(mkfifo((dir + "/frames").c_str(), 0600), 0);
  RunResult f = runProgram({"-r", "frames", "-m", "-w", "160", "-h", "120"}, dir, 60,
                           "[*] capture: waiting for a reader of frames\n", SIGTERM);
  EXPECT_TRUE(f.stopped) << f.out << f.err;
}

// A frame that cannot be written ends the run with status 255 and its
// message; no frame from it on is reported, and the files left are
// exactly the reported frames, each whole.
TEST(CaptureRun, UnwritableFramesEndTheRunWith255) {
  const struct {
    const char *name;
    int failAt;  // first frame that cannot be written
    const char *message;
  } rows[] = {
      {"frame file is a directory", 2, "fopen error: capture/0000000002.png: Is a directory\n"},
      {"frame file is a link", 3, "fopen error: capture/0000000003.png: Too many levels of symbolic links\n"},
      {"capture is a file", 0, "fopen error: capture/0000000000.png: Not a directory\n"},
  };
  for (const auto &row : rows) {
    const std::string dir = makeWorkdir(true);
    const std::string cap = dir + "/capture";
    const std::string blocker = cap + "/" + frameName(row.failAt);
    if (row.failAt == 0) {
      writeFile(cap, "not a directory");
    } else {
      ASSERT_EQ(mkdir(cap.c_str(), 0755), 0);
      writeFile(dir + "/mine", "mine");
      if (row.failAt == 2) ASSERT_EQ(mkdir(blocker.c_str(), 0755), 0);
      else ASSERT_EQ(symlink("../mine", blocker.c_str()), 0);
    }
    RunResult r = runProgram({"-c", "-m", "-w", "320", "-h", "240"}, dir, 60);
    EXPECT_EQ(r.status, 255) << row.name << "\n" << r.out << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << row.name << "\n" << r.err;
    EXPECT_EQ(capturedInOrder(r.out), row.failAt) << row.name << "\n" << r.out;
    if (row.failAt == 0) continue;
    std::vector<std::string> expected;
    for (int f = 0; f < row.failAt; ++f) expected.push_back(frameName(f));
    expected.push_back(frameName(row.failAt));  // the directory or link stays
    EXPECT_EQ(listDir(cap), expected) << row.name;
    EXPECT_EQ(readFile(dir + "/mine"), "mine") << row.name;
    for (int f = 0; f < row.failAt; ++f) EXPECT_TRUE(readPng(cap + "/" + frameName(f)).ok) << row.name << f;
  }
}

// Ctrl-C or kill during a run: the frame being written is finished, and the
// run ends by the signal; the files left are the frames reported, each whole.
TEST(CaptureRun, InterruptedRunLeavesWholeFrames) {
  for (int sig : {SIGINT, SIGTERM}) {
    const std::string dir = makeWorkdir(true);
    RunResult r = runProgram({"-c", "-m"}, dir, 60, "[->] captured frame #12\n", sig);
    EXPECT_EQ(r.status, 128 + sig) << r.out << r.err;
    const std::vector<std::string> files = listDir(dir + "/capture");
    EXPECT_EQ((int)files.size(), capturedInOrder(r.out)) << sig;
    for (const std::string &f : files) EXPECT_TRUE(readPng(dir + "/capture/" + f).ok) << sig << " " << f;
  }
}

// Where a start's drawing begins: 200 frames early where the blur carries
// history into it, from the last unblurred frame just after scene 8
// starts, and at the start itself in scenes 1 to 7, which never blur.
TEST(RunRange, DrawsAheadOnlyWhereTheBlurCarriesHistory) {
  const int saved = rangeFirst;
  const struct {
    int first, drawnFrom;
  } rows[] = {{0, 0},       {50, 0},      {93, 0},      {94, 94},     {1100, 1100}, {2934, 2934},
              {2935, 2934}, {3000, 2934}, {3134, 2934}, {3135, 2935}, {4400, 4200}, {7534, 7334}};
  for (const auto &row : rows) {
    rangeFirst = row.first;
    EXPECT_EQ(firstRenderedFrame(), row.drawnFrom) << row.first;
  }
  rangeFirst = saved;
}

// "-s FIRST:END": frame numbers within the show, END after FIRST or left
// out; "-S N:M": scenes 1 to 12, M not before N; in every mode. Anything
// else, or both options at once, ends at start-up with one line and status
// 2, before any file is made.
TEST(RunRange, ReadsRangesWithinTheShowAndRefusesTheRest) {
  const struct {
    bool scenes;
    const char *text;
    int first, end;
    const char *why;  // null: accepted
  } rows[] = {
      {false, "0:10", 0, 10, nullptr},
      {false, "7000", 7000, -1, nullptr},
      {false, "5:", 5, -1, nullptr},
      {false, "7534:7535", 7534, 7535, nullptr},
      {false, "10:5", 0, 0, "END comes before FIRST"},
      {false, "5:5", 0, 0, "the range is empty"},
      {false, "7535", 0, 0, "FIRST lies past the end of the show"},
      {false, "0:7536", 0, 0, "END lies past the end of the show"},
      {false, "", 0, 0, "FIRST is not a frame number"},
      {false, "-1:5", 0, 0, "FIRST is not a frame number"},
      {false, " 1:2", 0, 0, "FIRST is not a frame number"},
      {false, "9999999999", 0, 0, "FIRST is not a frame number"},
      {false, "1:x", 0, 0, "END is not a frame number"},
      {false, "1:2:3", 0, 0, "expected FIRST:END, two frame numbers"},
      {false, "0x10", 0, 0, "expected FIRST:END, two frame numbers"},
      {true, "9", 9, 12, nullptr},
      {true, "8:9", 8, 9, nullptr},
      {true, "1:12", 1, 12, nullptr},
      {true, "12:12", 12, 12, nullptr},
      {true, "3:", 3, 12, nullptr},
      {true, "0", 0, 0, "there is no scene 0"},
      {true, "13", 0, 0, "there is no scene 13"},
      {true, "2:13", 0, 0, "there is no scene 13"},
      {true, "9:8", 0, 0, "M comes before N"},
      {true, "", 0, 0, "N is not a scene number"},
      {true, "-2", 0, 0, "N is not a scene number"},
      {true, "2:x", 0, 0, "M is not a scene number"},
      {true, "2:3:4", 0, 0, "expected N:M, two scene numbers"},
      {true, "9 ", 0, 0, "expected N:M, two scene numbers"},
  };
  for (const auto &row : rows) {
    int first = -2, end = -2;
    const char *why = nullptr;
    const bool ok = row.scenes ? parseSceneRange(row.text, &first, &end, &why)
                               : parseFrameRange(row.text, &first, &end, &why);
    EXPECT_EQ(ok, row.why == nullptr) << row.text;
    if (ok) {
      EXPECT_EQ(first, row.first) << row.text;
      EXPECT_EQ(end, row.end) << row.text;
    } else {
      EXPECT_STREQ(why, row.why) << row.text;
    }
  }
  const std::string dir = makeWorkdir(true);
  for (auto [args, line] : {std::pair{std::vector<std::string>{"-r", "v.raw", "-s", "10:5"},
                                      "[!] -s 10:5: END comes before FIRST (a whole run has frames 0 to 7534)\n"},
                            {{"-c", "-S", "0"}, "[!] -S 0: there is no scene 0 (the show has scenes 1 to 12)\n"},
                            {{"-r", "v.raw", "-s"}, "[!] -s : FIRST is not a frame number"},  // no value is no range
                            {{"-r", "v.raw", "-S", "13"}, "[!] -S 13: there is no scene 13 (the show has scenes 1 to 12)\n"},
                            {{"-r", "v.raw", "-S", "9:8"}, "[!] -S 9:8: M comes before N (the show has scenes 1 to 12)\n"},
                            {{"-r", "v.raw", "-S", "2", "-s", "5"}, "[!] -s 5: give -s or -S, not both"}}) {
    RunResult r = runProgram(args, dir, 60);
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
    EXPECT_EQ(countLines(r.out + r.err, "[!"), 1) << r.out << r.err;
  }
  EXPECT_EQ(listDir(dir), std::vector<std::string>({"data"}));
}
