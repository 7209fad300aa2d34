// The command line, the Escape key, the real program's first frame at the
// size asked for, in a window or the full screen it falls back to, and a
// live start late in the show.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "harness/harness.h"
#include "main/showrange.h"
#include "main/startup.h"

namespace fs = std::filesystem;

TEST(Options, SizeRulesModesAndResolutionLine) {
  const std::string DEFAULT = "[*] Resolution set to default becouse nothing else was given\n";
  const struct {
    std::vector<const char *> args;
    int width, height;
    std::string line;
    int fullscreen = 0, capture = 0, sound = 1;
    const char *raw = nullptr;
  } table[] = {
      {{}, 1024, 768, DEFAULT},
      {{"-w", "800"}, 1024, 768, DEFAULT},
      {{"-h", "600"}, 1024, 768, DEFAULT},
      {{"-w", "800", "-h", "600"}, 800, 600, "[*] Resolution set to 800x600:32@75\n"},
      {{"-w", "800", "-w", "640", "-h", "480"}, 800, 480, "[*] Resolution set to 800x480:32@75\n"},
      {{"-w", "0", "-w", "640", "-h", "480"}, 640, 480, "[*] Resolution set to 640x480:32@75\n"},
      {{"-w", "abc", "-h", "600"}, 1024, 768, DEFAULT},
      {{"-h", "-w", "700"}, 1024, 768, DEFAULT},
      {{"-w"}, 1024, 768, DEFAULT},
      {{"-x", "-w", "320", "junk", "-h", "200"}, 320, 200, "[*] Resolution set to 320x200:32@75\n"},
      {{"-f"}, 1024, 768, DEFAULT, 1},
      {{"-m", "-c"}, 1024, 768, DEFAULT, 0, 1, 0},
      // "-r FILE" takes the capture clock with it, the first one wins.
      {{"-r", "frames.raw"}, 1024, 768, DEFAULT, 0, 1, 1, "frames.raw"},
      {{"-m", "-r", "a", "-r", "b"}, 1024, 768, DEFAULT, 0, 1, 0, "a"},
  };
  for (auto &row : table) {
    RAW_PATH = nullptr;
    CAPTURE = 0;
    SOUND_ON = 1;
    std::vector<char *> argv{const_cast<char *>("vy01")};
    for (auto a : row.args) argv.push_back(const_cast<char *>(a));
    testing::internal::CaptureStdout();
    StartOptions o = parseOptions(int(argv.size()), argv.data());
    const std::string what = row.args.empty() ? "" : row.args[0] + std::string(" ...") + std::to_string(row.args.size());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), row.line) << what;
    EXPECT_EQ(o.width, row.width) << what;
    EXPECT_EQ(o.height, row.height) << what;
    EXPECT_EQ(o.fullscreen, row.fullscreen) << what;
    EXPECT_EQ(CAPTURE, row.capture) << what;
    EXPECT_EQ(SOUND_ON, row.sound) << what;
    if (row.raw) EXPECT_STREQ(RAW_PATH, row.raw); else EXPECT_EQ(RAW_PATH, nullptr) << what;
  }
  // The capture clock: one 25 ms step a reading.
  CAPTURE = 1;
  EXPECT_EQ(getTime(), 25);
  EXPECT_EQ(getTime(), 50);
  RAW_PATH = nullptr;
  CAPTURE = 0;
  SOUND_ON = 1;
}

TEST(Options, EscapeQuitsWithZeroOtherKeysDoNot) {
  // A forked copy of a process with renderer threads cannot exit cleanly:
  // let the death test start afresh.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ensureGlContext();
  // Were either key to end the process, it would end with another status.
  EXPECT_EXIT(
      {
        handleKeypress('q', 0, 0);
        handleKeypress(13, 0, 0);
        handleKeypress(' ', 0, 0);
        exit(7);
      },
      testing::ExitedWithCode(7), "");
  EXPECT_EXIT(handleKeypress(27, 0, 0), testing::ExitedWithCode(0), "");
}

// Sizes it cannot draw or keep, and -r without a file, end at start-up with
// one line and status 2 (a -r file that cannot be opened, at the first frame).
TEST(Program, RefusesWhatItCannotRun) {
  struct {
    std::vector<std::string> args;
    int status;
    const char *line;
  } table[] = {
      {{"-w", "-5", "-h", "-5"}, 2, "[!] -w -5: a size cannot be negative\n"},
      {{"-w", "100000", "-h", "100000"}, 2, "[!] 100000x100000 is larger than this GL can draw: GL_MAX_VIEWPORT_DIMS is "},
      {{"-w", "2147483647", "-h", "1", "-c"}, 2, "[!] 2147483647x1 is larger than this GL can draw: GL_MAX_VIEWPORT_DIMS"},
      {{"-w", "1", "-h", "120"}, 2, "[!] 1x120 is smaller than the show can draw: a window is at least 2x2\n"},
      {{"-r", "x.raw", "-w", "120", "-h", "1"}, 2, "[!] 120x1 is smaller than the show can draw: a window is at least 2x2\n"},
      {{"-c", "-w", "16384", "-h", "100"}, 2, "[!] 16384x100 is larger than -c can keep: a captured frame is at most 16383x"},
      {{"-r"}, 2, "[!] -r needs the name of the file for the raw frames\n"},
      {{"-r", "-m"}, 2, "[!] -r needs the name of the file for the raw frames, not the option -m\n"},
      {{"-r", "data"}, 255, "[!] capture: opening data failed: Is a directory\n"},
      {{"-y", "-c"}, 2, "[!] -y goes with -r: it sets the raw frames' format\n"},
  };
  for (auto &row : table) {
    std::string dir = makeWorkdir(true);
    RunResult r = runProgram(row.args, dir, 60);
    EXPECT_EQ(r.status, row.status) << row.line << "\n" << r.out << r.err;
    EXPECT_NE(r.err.find(row.line), std::string::npos) << r.err;
    EXPECT_EQ(countLines(r.err, "[!"), 1) << r.err;
    EXPECT_FALSE(fs::exists(dir + "/-m"));
  }
}

// Where no window can be opened, the run ends with one line that says why
// and the status of a fatal error, not GLUT's internal wording.
TEST(Program, NoWindowEndsWithOneLineAnd255) {
  ensureDisplay();
  XServer noGlx = startXvfb({"-extension", "GLX"});
  const std::string own = getenv("DISPLAY");
  const struct {
    std::string display, line;
    bool indirect = false;  // a server that refuses indirect contexts
  } rows[] = {
      {noGlx.display, "[!] no window can be opened: OpenGL GLX extension not supported by display '" + noGlx.display +
                          "'\n"},
      {":65000", "[!] no window can be opened: failed to open display ':65000'\n"},
      {own, "[!] no window can be opened: Unable to create OpenGL 1.0 context (flags 0, profile 0)\n", true},
  };
  const std::string dir = makeWorkdir(true);
  for (const auto &row : rows) {
    setenv("DISPLAY", row.display.c_str(), 1);
    if (row.indirect) setenv("LIBGL_ALWAYS_INDIRECT", "1", 1);
    RunResult r = runProgram({"-m"}, dir, 60);
    unsetenv("LIBGL_ALWAYS_INDIRECT");
    setenv("DISPLAY", own.c_str(), 1);
    EXPECT_EQ(r.status, 255) << r.out << r.err;
    EXPECT_NE(r.out.find("[*] zembrit engaged.\n" + row.line), std::string::npos) << r.out;
    EXPECT_EQ(countLines(r.out + r.err, "[!"), 1) << r.out << r.err;
    EXPECT_EQ(r.err.find("freeglut"), std::string::npos) << r.err;
  }
  stopXvfb(noGlx);
  fs::remove_all(dir);
}

// Without the model the run ends in frame 2 with status 1, frame 1 captured
// at the size asked for (or the full screen, where there is no game mode).
TEST(Program, FirstFrameAtItsSizeBeforeTheMissingModelEndsTheRun) {
  const struct {
    std::vector<std::string> args;
    unsigned width, height;
    const char *line;
  } rows[] = {
      {{"-c", "-w", "800", "-h", "600"}, 800, 600, "[*] Resolution set to 800x600:32@75\n"},
      {{"-f", "-c", "-w", "800", "-h", "600"}, 1280, 1024, "[!] game mode 800x600:32@75 is not available"},
  };
  for (const auto &row : rows) {
    const std::string dir = makeWorkdir(false), data = std::string(VY_SOURCE_DIR) + "/data/";
    fs::create_directories(dir + "/data/models");
    for (const char *d : {"fonts", "shader", "textures", "tune"}) fs::create_directory_symlink(data + d, dir + "/data/" + d);
    fs::create_directory(dir + "/capture");
    writeFile(dir + "/capture/0000000007.png", "an earlier run's");  // said, and left alone
    RunResult r = runProgram(row.args, dir, 60);
    EXPECT_EQ(r.status, 1) << row.line << r.out << r.err;
    EXPECT_NE(r.out.find(row.line), std::string::npos) << r.out;
    EXPECT_EQ(readFile(dir + "/capture/0000000007.png"), "an earlier run's");
    EXPECT_NE(r.err.find("glmReadOBJ() failed: can't open data file"), std::string::npos) << r.err;
    const std::string tail =
        "[*] texture data/textures/greet.tga loaded...\n"
        "[!] capture/ already holds 1 frame file: not this run's, except those it writes over\n"
        "[->] captured frame #1\n";
    ASSERT_GE(r.out.size(), tail.size()) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir + "/capture"), fs::directory_iterator{}), 2);
    Picture p = readPng(dir + "/capture/0000000000.png");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.width, row.width);
    EXPECT_EQ(p.height, row.height);
    fs::remove_all(dir);
  }
}

// A live start at scene 12 runs ahead on the capture clock, showing
// nothing of scenes 1 to 11, then plays scene 12 in real time at the
// timer's pace, at most a frame per 25 ms for its 30 s, and ends by itself.
TEST(Program, LiveStartAtSceneTwelvePlaysItInRealTimeAndEnds) {
  const std::string dir = makeWorkdir(true);
  const auto started = std::chrono::steady_clock::now();
  RunResult r = runProgram({"-m", "-t", "-S", "12", "-w", "160", "-h", "120"}, dir, 300);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_GE(seconds, 30.0);
  for (int scene = 0; scene <= 11; scene++) {
    const std::string what = scene ? "[dev] scene " + std::to_string(scene) + ": " : "[dev] loader 0: ";
    EXPECT_EQ(countLines(r.out, what), 1) << what << "\n" << r.out;
    EXPECT_NE(r.out.find(what + std::to_string(kSceneFirstFrame[scene + 1] - kSceneFirstFrame[scene]) +
                         " frames run ahead, " + (scene == 11 ? "200" : "0") + " of them drawn for the blur, in "),
              std::string::npos)
        << what;
  }
  EXPECT_NE(r.out.find("[dev] scene 12 starts in frame 6336\n"), std::string::npos);
  EXPECT_NE(r.out.find("[*] start reached (frame 6335, counted from 0): the show goes on in real time\n"),
            std::string::npos);
  const std::string played = "[dev] scene 12: ";
  const size_t at = r.out.find(played);
  ASSERT_NE(at, std::string::npos) << r.out;
  const int frames = atoi(r.out.c_str() + at + played.size());
  EXPECT_LE(frames, 30 * 40 + 1);
  EXPECT_GE(frames, 300);  // a busy machine drops frames, not seconds
  EXPECT_NE(r.out.find(" frames, mean ", at), std::string::npos);
  EXPECT_EQ(countLines(r.out, "[!"), 0) << r.out;
  fs::remove_all(dir);
}

// -T tells the scripts the show's numbers and opens no window: the frames
// of a whole run, the music's place in the video, the scene starts (those
// the whole run's hand-over lines are checked against).
TEST(Program, TimelineOnRequest) {
  const std::string dir = makeWorkdir(true);
  RunResult r = runProgram({"-T"}, dir, 30);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("[dev] timeline: 7535 frames\n"
                       "[dev] the music starts in frame 95, 2350 ms into the video: data/tune/vy-03.mp3\n"
                       "[dev] scene 1 starts in frame 95\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("[dev] scene 12 starts in frame 6336\n"), std::string::npos) << r.out;
  EXPECT_EQ(countLines(r.out, "[dev] scene "), 12) << r.out;
  EXPECT_EQ(r.out.find("zembrit engaged"), std::string::npos) << r.out;
  fs::remove_all(dir);
}
