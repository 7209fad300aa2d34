// The real program, run as a user would: options, console lines, exit
// statuses, the loader's frames and the capture files they leave.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "harness/harness.h"
#include "main/startup.h"

namespace fs = std::filesystem;

namespace {

// A working directory whose data/ links every asset but `skip`; when
// `replacement` is given, `skip` is written with it instead.
std::string dataWithout(const std::string &skip, const char *replacement = nullptr) {
  std::string dir = makeWorkdir(false);
  fs::path source = fs::path(VY_SOURCE_DIR) / "data";
  for (auto &entry : fs::recursive_directory_iterator(source)) {
    std::string rel = fs::relative(entry.path(), source).string();
    fs::path target = fs::path(dir) / "data" / rel;
    if (entry.is_directory()) {
      fs::create_directories(target);
    } else if ("data/" + rel != skip) {
      fs::create_symlink(entry.path(), target);
    }
  }
  if (replacement) writeFile(dir + "/" + skip, replacement);
  return dir;
}

std::string head(int lines, const std::string &text) {
  size_t at = 0;
  for (int i = 0; i < lines && at != std::string::npos; i++) at = text.find('\n', at + 1);
  return text.substr(0, at == std::string::npos ? text.size() : at + 1);
}

const std::string BANNER = "[*] vy-01 the zembrit.\n";
const std::string DEFAULT = "[*] Resolution set to default becouse nothing else was given\n";
const std::string ENGAGED = "[*] zembrit engaged.\n";

// Right edge of the loader's bar (x at z = 10) in pixels of a width-W frame.
double barEdge(double x, int W) { return W / 2.0 * (1 + x / (40 * std::tan(M_PI / 8) * 1.25)); }

int rightmostWhite(const Picture &p, unsigned row) {
  int edge = -1;
  for (unsigned x = 0; x < p.width; x++)
    if (p.at(x, row)[0] == 255 && p.at(x, row)[1] == 255 && p.at(x, row)[2] == 255) edge = int(x);
  return edge;
}

}  // namespace

TEST(Options, SizeRulesAndResolutionLine) {
  struct {
    std::vector<const char *> args;
    int width, height;
    const char *line;
  } table[] = {
      {{}, 1024, 768, "[*] Resolution set to default becouse nothing else was given\n"},
      {{"-w", "800"}, 1024, 768, "[*] Resolution set to default becouse nothing else was given\n"},
      {{"-h", "600"}, 1024, 768, "[*] Resolution set to default becouse nothing else was given\n"},
      {{"-w", "800", "-h", "600"}, 800, 600, "[*] Resolution set to 800x600:32@75\n"},
      {{"-w", "800", "-w", "640", "-h", "480"}, 800, 480, "[*] Resolution set to 800x480:32@75\n"},
      {{"-w", "0", "-w", "640", "-h", "480"}, 640, 480, "[*] Resolution set to 640x480:32@75\n"},
      {{"-w", "abc", "-h", "600"}, 1024, 768, "[*] Resolution set to default becouse nothing else was given\n"},
      {{"-h", "-w", "700"}, 1024, 768, "[*] Resolution set to default becouse nothing else was given\n"},
      {{"-w"}, 1024, 768, "[*] Resolution set to default becouse nothing else was given\n"},
      {{"-x", "-w", "320", "junk", "-h", "200"}, 320, 200, "[*] Resolution set to 320x200:32@75\n"},
  };
  for (auto &row : table) {
    std::vector<char *> argv{const_cast<char *>("vy01")};
    for (auto a : row.args) argv.push_back(const_cast<char *>(a));
    testing::internal::CaptureStdout();
    StartOptions o = parseOptions(int(argv.size()), argv.data());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), row.line);
    EXPECT_EQ(o.width, row.width);
    EXPECT_EQ(o.height, row.height);
    EXPECT_EQ(o.fullscreen, 0);
  }
  char *argv[] = {const_cast<char *>("vy01"), const_cast<char *>("-f"), nullptr};
  testing::internal::CaptureStdout();
  StartOptions o = parseOptions(2, argv);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(o.fullscreen, 1);
  EXPECT_STREQ(o.gameMode, "1280x1024:32@75");
}

TEST(Options, CaptureClockAndModeFlags) {
  char *argv[] = {const_cast<char *>("vy01"), const_cast<char *>("-m"), const_cast<char *>("-c"), nullptr};
  testing::internal::CaptureStdout();
  parseOptions(3, argv);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(SOUND_ON, 0);
  EXPECT_EQ(CAPTURE, 1);
  EXPECT_EQ(getTime(), 25);
  EXPECT_EQ(getTime(), 50);
  EXPECT_EQ(getTime(), 75);
}

TEST(Options, EscapeQuitsWithZeroOtherKeysDoNot) {
  // A forked copy of a process with renderer threads cannot exit cleanly:
  // let the death test start afresh.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ensureGlContext();
  handleKeypress('q', 0, 0);
  handleKeypress(13, 0, 0);
  EXPECT_EXIT(handleKeypress(27, 0, 0), testing::ExitedWithCode(0), "");
}

TEST(Program, BannerThenMissingStartScreen) {
  RunResult r = runProgram({"-m"}, makeWorkdir(false));
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(head(3, r.out), BANNER + DEFAULT + ENGAGED);
  EXPECT_NE(r.out.find("\n[dev]Vendor: "), std::string::npos);
  EXPECT_NE(r.out.find("[! data/textures/loader.tga] file not found \n"), std::string::npos);
}

TEST(Program, FatalAssetsEndInTheirFrame) {
  struct {
    const char *skip;
    const char *replacement;
    int status;
    const char *out, *err;
  } table[] = {
      {"data/textures/greet.tga", nullptr, 255, "[! data/textures/greet.tga] file not found \n", ""},
      {"data/textures/antenna.tga", "not a picture at all", 255,
       "[!] Unable to load data/textures/antenna.tga", ""},
      {"data/models/toyplane.obj", nullptr, 1, "",
       "glmReadOBJ() failed: can't open data file \"data/models/toyplane.obj\".\n"},
      {"data/shader/glsl/bloom.glsl", nullptr, 255,
       "[!] Couldn't read file data/shader/glsl/bloom.glsl...\n", ""},
      {"data/tune/vy-03.mp3", nullptr, 255, "[!] FMOD error! (23) File not found. \n", ""},
      {"data/tune/vy-03.mp3", "ID3 but really just some text, long enough to be scanned for frames",
       255, "[!] FMOD error! (25) Unsupported file or audio format. \n", ""},
  };
  for (auto &row : table) {
    RunResult r = runProgram({"-t"}, dataWithout(row.skip, row.replacement), 60);
    EXPECT_EQ(r.status, row.status) << row.skip << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find(row.out), std::string::npos) << row.skip << "\n" << r.out;
    EXPECT_NE(r.err.find(row.err), std::string::npos) << row.skip << "\n" << r.err;
    EXPECT_EQ(r.out.find("[dev] scene 1 starts"), std::string::npos) << row.skip;
  }
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
      {{"-c", "-w", "16384", "-h", "100"}, 2, "[!] 16384x100 is larger than -c can keep: a captured frame is at most 16383x"},
      {{"-r"}, 2, "[!] -r needs the name of the file for the raw frames\n"},
      {{"-r", "-m"}, 2, "[!] -r needs the name of the file for the raw frames, not the option -m\n"},
      {{"-r", "data"}, 255, "[!] capture: opening data failed: Is a directory\n"},
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

TEST(Program, FirstFrameAtRequestedSizeWithTheBar) {
  // Without the model the run ends in frame 2, after frame 1 was captured.
  std::string dir = dataWithout("data/models/toyplane.obj");
  fs::create_directory(dir + "/capture");
  writeFile(dir + "/capture/0000000007.png", "an earlier run's");  // said, and left alone
  RunResult r = runProgram({"-c", "-w", "800", "-h", "600"}, dir, 60);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("[*] Resolution set to 800x600:32@75\n"), std::string::npos);
  EXPECT_NE(r.out.find("[!] capture/ already holds 1 frame file: not this run's"), std::string::npos) << r.out;
  EXPECT_EQ(readFile(dir + "/capture/0000000007.png"), "an earlier run's");
  EXPECT_NE(r.out.find("[->] captured frame #1\n"), std::string::npos);
  Picture p = readPng(dir + "/capture/0000000000.png");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.width, 800u);
  EXPECT_EQ(p.height, 600u);
  // The bar starts half a unit wide, from -18.5 to -18.0, across the middle.
  EXPECT_NEAR(rightmostWhite(p, 300), barEdge(-18.0, 800), 2);
  EXPECT_FALSE(fs::exists(dir + "/capture/0000000001.png"));
}

TEST(Program, GameModeFallsBackToFullScreenWindow) {
  std::string dir = dataWithout("data/models/toyplane.obj");
  fs::create_directory(dir + "/capture");
  RunResult r = runProgram({"-f", "-c", "-w", "800", "-h", "600"}, dir, 60);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("[!] game mode 800x600:32@75 is not available"), std::string::npos) << r.out;
  Picture p = readPng(dir + "/capture/0000000000.png");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.width, 1280u);  // the whole virtual screen
  EXPECT_EQ(p.height, 1024u);
}

TEST(Loader, StagesOnePerFrameFadeAndMusicStartInFrame95) {
  std::string dir = makeWorkdir(true);
  fs::create_directory(dir + "/capture");
  RunResult r = runProgram({"-c", "-t"}, dir, 300, "[dev] scene 2 starts");
  ASSERT_TRUE(r.stopped) << r.out << r.err;
  // Loader lines in stage order: start screen, then the four pictures.
  std::string expected = BANNER + DEFAULT + ENGAGED;
  EXPECT_EQ(head(3, r.out), expected);
  size_t at = 0;
  for (const char *line :
       {"[*] texture data/textures/loader.tga loaded...\n", "[*] texture data/textures/antenna.tga loaded...\n",
        "[*] texture data/textures/commodore.tga loaded...\n", "[*] texture data/textures/scroller.tga loaded...\n",
        "[*] texture data/textures/greet.tga loaded...\n", "[->] captured frame #1\n", "[->] captured frame #3\n", "x=0.000000 y=0.000000 z=0.000000 TTL=1.000000 velocity=",
        "[->] captured frame #4\n", "[dev] scene 1 starts in frame 95\n", "[->] captured frame #95\n"}) {
    size_t next = r.out.find(line, at);
    ASSERT_NE(next, std::string::npos) << line;
    at = next;
  }
  EXPECT_EQ(countLines(r.out, "x=0.000000 y=0.000000 z=0.000000 TTL=1.000000 velocity="), 100);
  EXPECT_EQ(countLines(r.out, "[!"), 0) << r.out;  // shaders build cleanly, no warning
  // Scene 1 lasts 24 s of 25 ms steps; its first clock reading is 0.025 s.
  EXPECT_NE(r.out.find("[dev] scene 2 starts in frame 1055\n"), std::string::npos) << r.out;

  // The bar's right edge lags one stage behind the work: -18, -13, -8, -3, 2.
  const double edges[] = {-18.0, -13.0, -8.0, -3.0, 2.0, 7.0, 7.5};
  for (int frame = 0; frame < 7; frame++) {
    char name[64];
    snprintf(name, sizeof name, "%s/capture/%010d.png", dir.c_str(), frame);
    Picture p = readPng(name);
    ASSERT_TRUE(p.ok) << name;
    EXPECT_NEAR(rightmostWhite(p, 384), barEdge(edges[frame], 1024), 2) << frame;
    EXPECT_EQ(p.at(0, 0)[3], 255);
  }
  // The fade: from frame 29 on the picture keeps 90 % of the one before,
  // seen on the white bar. Mesa's window buffer is sRGB-encoded and its
  // accumulation works in linear light, so compare linear values.
  auto linear = [](int v) {
    double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  for (int frame : {29, 30, 31, 35, 40, 50}) {
    char name[64];
    snprintf(name, sizeof name, "%s/capture/%010d.png", dir.c_str(), frame - 1);
    Picture p = readPng(name);
    ASSERT_TRUE(p.ok) << name;
    double expect = std::pow(0.9, frame - 29);
    EXPECT_NEAR(linear(p.at(512, 384)[0]) / expect, 1.0, 0.03) << frame;
  }
}
