// The video script with a stand-in for the program: ranges joined in order
// with chapters and music; failures leave the earlier video and nothing else.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "harness/harness.h"

namespace {

// Frames of one grey per stage, 16x16 (RGB, or YUV 4:2:0 with -y); scene k starts in frame 95 + 600 (k - 1),
// numbered from 1 as the program's hand-over lines count. STANDIN_FAIL:
// "early" dies before opening the stream, "at N" stops at frame N with an
// error, "stall" waits after its first frames until it is stopped (a second
// one stalled makes the file STANDIN_MARK).
const char *kStandIn = R"SH(#!/bin/bash
if [ "${1:-}" = -T ]; then
  echo "[dev] timeline: 7535 frames"
  echo "[dev] the music starts in frame 95, 2350 ms into the video: data/tune/vy-03.mp3"
  for k in $(seq 12); do echo "[dev] scene $k starts in frame $((95 + 600 * (k - 1)))"; done
  exit 0
fi
raw= range=0: w=16 h=16 bytes=3
while [ $# -gt 0 ]; do
  case $1 in -r) raw=$2; shift ;; -s) range=$2; shift ;; -w) w=$2; shift ;; -h) h=$2; shift ;; -y) bytes=1.5 ;; esac
  shift
done
frame=$(awk -v w=$w -v h=$h -v b=$bytes 'BEGIN { print w * h * b }')
first=${range%%:*} end=${range#*:}
[ -n "$end" ] || end=7535
fail=${STANDIN_FAIL:-}
if [ "$fail" = early ]; then echo "[!] stand-in: no stream today"; exit 255; fi
exec 3>"$raw"
start() { if [ "$1" = 0 ]; then echo 1; else echo $((95 + 600 * ($1 - 1))); fi; }
for k in $(seq 0 12); do
  a=$(($(start "$k") - 1)) b=7535
  [ "$k" = 12 ] || b=$(($(start $((k + 1))) - 1))
  [ "$k" = 0 ] || [ "$a" -ge "$end" ] || echo "[dev] scene $k starts in frame $((a + 1))"
  [ "$a" -ge "$first" ] || a=$first
  [ "$b" -le "$end" ] || b=$end
  [ "$a" -lt "$b" ] || continue
  if [ "${fail% *}" = at ] && [ "${fail#* }" -lt "$b" ] && [ "${fail#* }" -ge "$a" ]; then
    b=${fail#* }
    fail=now
  fi
  head -c $(((b - a) * frame)) /dev/zero | tr '\0' "\\$(printf %03o $((10 + 18 * k)))" >&3
  [ "$a" -ge "$b" ] || seq -f "[->] captured frame #%g" $((a + 1)) "$b"
  if [ "$fail" = now ]; then echo "[!] stand-in: frame $b went wrong"; exit 3; fi
  if [ "$fail" = stall ]; then
    trap 'kill $! 2>/dev/null; exit 143' TERM
    sleep 60 &
    touch "$STANDIN_MARK.$$"
    [ "$(ls "$STANDIN_MARK".* | wc -l)" -lt 2 ] || touch "$STANDIN_MARK"
    wait
  fi
done
[ "$end" != 7535 ] || echo "[dev] scene 12: 840 frames"
)SH";

// Runs a shell command in dir, in a session of its own; leftOver gets
// whatever of the session still runs after.
ShellRun sh(const std::string &dir, const std::string &cmd, std::string *leftOver = nullptr) {
  return runShell(dir, cmd, leftOver);
}

std::string script() { return std::string(VY_SOURCE_DIR) + "/scripts/make-video.sh"; }

std::string standIn(const std::string &dir) {
  writeFile(dir + "/standin", kStandIn);
  chmod((dir + "/standin").c_str(), 0755);
  return dir + "/standin";
}

std::string probe(const std::string &what, const std::string &file) {
  return sh("/", "ffprobe -v error " + what + " -of csv=p=0 '" + file + "' 2>&1").out;
}

// The script's scratch directories go under dir/tmp, to be found empty; the
// shell execs the script, so that a signal to it reaches the script.
std::string videoCmd(const std::string &dir, const std::string &args) {
  std::system(("mkdir -p '" + dir + "/tmp'").c_str());
  return "TMPDIR='" + dir + "/tmp' exec bash " + script() + " -w 16 -h 16 -p " + standIn(dir) + " " + args;
}

}  // namespace

// Three ranges at once (03 is three, not octal), joined in the order of
// their frames: every frame in its place, 13 chapters where the program
// said the scenes start, the music; the video has the mode the umask gives.
TEST(Video, RangesJoinInOrderWithChaptersAndMusic) {
  const std::string dir = makeWorkdir(false);
  std::string left;
  ShellRun r = sh(dir, "umask 027; " + videoCmd(dir, "-j 03 out.mp4"), &left);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find(", 3 at once,"), std::string::npos) << r.out;
  EXPECT_EQ(left, "");
  EXPECT_EQ(sh(dir, "ls -A . tmp").out, ".:\nout.mp4\nstandin\ntmp\n\ntmp:\n");
  struct stat st;
  ASSERT_EQ(stat((dir + "/out.mp4").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(probe("-select_streams v:0 -show_entries stream=nb_frames", dir + "/out.mp4"), "7535\n");
  EXPECT_EQ(probe("-select_streams a:0 -show_entries stream=codec_name", dir + "/out.mp4"), "aac\n");
  std::string expected = "0.000000,2.350000,Start\n";
  for (int k = 1; k <= 12; ++k) {
    char row[64];
    snprintf(row, sizeof row, "%.6f,%.6f,Scene %d\n", (94 + 600 * (k - 1)) * 0.025,
             k == 12 ? 7535 * 0.025 : (94 + 600 * k) * 0.025, k);
    expected += row;
  }
  EXPECT_EQ(probe("-show_entries chapter=start_time,end_time:chapter_tags=title", dir + "/out.mp4"), expected);
  // One grey per stage, as the stand-in drew them: its Y.
  ASSERT_EQ(std::system(("ffmpeg -v error -i '" + dir + "/out.mp4' -f rawvideo -pix_fmt yuv420p '" + dir +
                         "/out.yuv'").c_str()), 0);
  const std::string yuv = readFile(dir + "/out.yuv");
  ASSERT_EQ(yuv.size(), 7535u * 384);
  for (int f = 0; f < 7535; f += 97) {
    const int k = f < 94 ? 0 : (f - 94) / 600 + 1;
    const int want = 10 + 18 * (k > 12 ? 12 : k);
    EXPECT_NEAR((unsigned char)yuv[f * 384 + 136], want, 3) << "frame " << f;
  }
}

// A range that fails fails the whole command with one line saying what
// and why; the earlier video stays, no half-written file, nothing running.
TEST(Video, FailuresKeepTheEarlierVideoAndLeaveNothingBehind) {
  const struct {
    const char *name;
    const char *env;
    const char *args;
    int status;
    const char *message;
  } rows[] = {
      {"program dies before opening the pipe", "STANDIN_FAIL=early", "-j 2", 1,
       "failed with status 255: [!] stand-in: no stream today"},
      {"one range fails halfway", "STANDIN_FAIL='at 5000'", "-j 3", 1,
       "failed with status 3: [!] stand-in: frame 5000 went wrong"},
      {"ffmpeg fails first", "PATH=$PWD/bin:$PATH", "-j 2", 1, "ffmpeg failed (status 1): Error writing trailer: No space left on device"},
      {"bad job count", "", "-j 0", 2, "-j must be a whole number from 1 to 64"},
  };
  for (const auto &row : rows) {
    const std::string dir = makeWorkdir(false);
    // An encoder that dies on a full disk after its first frames.
    ASSERT_EQ(std::system(("mkdir '" + dir + "/bin'").c_str()), 0);
    writeFile(dir + "/bin/ffmpeg",
              "#!/bin/sh\ncase \"$*\" in *rawvideo*) ;; *) exec /usr/bin/ffmpeg \"$@\" ;; esac\n"
              "while [ \"$1\" != -i ]; do shift; done\nhead -c 1000 \"$2\" >/dev/null\n"
              "echo 'Error writing trailer: No space left on device' >&2\nexit 1\n");
    chmod((dir + "/bin/ffmpeg").c_str(), 0755);
    writeFile(dir + "/out.mp4", "the earlier video");
    std::string left;
    ShellRun r = sh(dir, std::string(row.env) + " " + videoCmd(dir, std::string(row.args) + " out.mp4"), &left);
    EXPECT_EQ(r.status, row.status) << row.name << "\n" << r.out << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << row.name << "\n" << r.err;
    EXPECT_EQ(countLines(r.err, "make-video:"), 1) << row.name << "\n" << r.err;
    EXPECT_EQ(readFile(dir + "/out.mp4"), "the earlier video") << row.name;
    EXPECT_EQ(left, "") << row.name;
    EXPECT_EQ(sh(dir, "ls -A . tmp").out, ".:\nbin\nout.mp4\nstandin\ntmp\n\ntmp:\n") << row.name;
  }
}

// Stopped by a signal while both ranges render: the same. Killed outright
// (no trap runs), its processes and scratch files go with it all the same.
TEST(Video, SignalKeepsTheEarlierVideoAndLeavesNothingBehind) {
  for (int sig : {SIGTERM, SIGKILL}) {
    const std::string dir = makeWorkdir(false), marks = makeWorkdir(false);
    writeFile(dir + "/out.mp4", "the earlier video");
    std::string left;
    ShellRun r = runShell(dir, "STANDIN_FAIL=stall STANDIN_MARK='" + marks + "/stalled' " + videoCmd(dir, "-j 2 out.mp4"),
                          &left, marks + "/stalled", sig, false, 20);
    EXPECT_EQ(r.status, sig == SIGTERM ? 130 : 128 + SIGKILL) << r.err;
    EXPECT_EQ(readFile(dir + "/out.mp4"), "the earlier video") << sig;
    EXPECT_EQ(left, "") << sig;
    for (int i = 0; i < 100 && sh(dir, "ls -A tmp").out != ""; ++i) usleep(100000);
    EXPECT_EQ(sh(dir, "ls -A . tmp").out, ".:\nout.mp4\nstandin\ntmp\n\ntmp:\n") << sig;
  }
}

// A part says which frames it holds, at what size and rate, from which
// program; -J joins only parts that make one whole show (-i: one that ends
// early) from one program at one size, and refuses anything else with one
// line and status 2, the earlier video left alone. A re-render that fails
// leaves the PART and its log as they were; parts and logs take the mode
// the umask gives.
TEST(Video, JoinTakesOnlyPartsOfOneWholeShow) {
  const std::string dir = makeWorkdir(false);
  writeFile(dir + "/other", std::string(kStandIn) + "# another build\n");
  chmod((dir + "/other").c_str(), 0755);
  for (const char *part : {"-s 0:3767 a.mp4", "-s 3767: b.mp4", "-w 18 -h 18 -s 7000: c.mp4",
                           "-p ./other -s 7000: d.mp4"}) {
    ShellRun r = sh(dir, "umask 027; " + videoCmd(dir, part));
    ASSERT_EQ(r.status, 0) << part << "\n" << r.err;
  }
  struct stat st;
  for (const char *f : {"/a.mp4", "/a.mp4.log"}) {
    ASSERT_EQ(stat((dir + f).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << f;
  }
  // The logs of a and b swapped; a part that does not say what it holds.
  ASSERT_EQ(sh(dir, "cp a.mp4 sa.mp4 && cp b.mp4.log sa.mp4.log && cp b.mp4 sb.mp4 && cp a.mp4.log sb.mp4.log && "
                    "ffmpeg -v error -i a.mp4 -c copy -metadata comment= x.mp4 && cp a.mp4.log x.mp4.log && mkdir dir.mp4")
                .status,
            0);
  writeFile(dir + "/out.mp4", "the earlier video");
  const std::string files = sh(dir, "ls -A . tmp").out;
  const struct {
    const char *args, *message;
  } refused[] = {
      {"-J out.mp4 a.mp4 c.mp4", "c.mp4 is 18x18, a.mp4 16x16: the parts of one video have one size"},
      {"-J out.mp4 a.mp4 d.mp4", "d.mp4 and a.mp4 come from different programs"},
      {"-J out.mp4 a.mp4", "the parts end at frame 3767, a whole show has 7535 (-i joins them all the same)"},
      {"-J out.mp4 b.mp4", ": b.mp4 starts at frame 3767, the frames before it end at 0"},
      {"-J out.mp4 sa.mp4 sb.mp4", "sa.mp4.log is not the log of sa.mp4: it reports frames 3767:7535, the part holds 0:3767"},
      {"-J out.mp4 a.mp4 x.mp4", ": x.mp4 is not a part made by this script"},
      {"-J dir.mp4 a.mp4 b.mp4", "/dir.mp4 exists and is not a regular file"},
      {"-s 0:10 dir.mp4", "/dir.mp4 exists and is not a regular file"},
      {"-s 10:5 e.mp4", "-s 10:5: END must come after FIRST"},
  };
  for (const auto &row : refused) {
    ShellRun r = sh(dir, videoCmd(dir, row.args));
    EXPECT_EQ(r.status, 2) << row.args << "\n" << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << row.args << "\n" << r.err;
    EXPECT_EQ(countLines(r.err, "make-video:"), 1) << row.args << "\n" << r.err;
    EXPECT_EQ(readFile(dir + "/out.mp4"), "the earlier video") << row.args;
    EXPECT_EQ(sh(dir, "ls -A . tmp").out, files) << row.args;
  }
  const std::string a = readFile(dir + "/a.mp4"), aLog = readFile(dir + "/a.mp4.log");
  ShellRun failed = sh(dir, "STANDIN_FAIL='at 100' " + videoCmd(dir, "-s 0:3767 a.mp4"));
  EXPECT_EQ(failed.status, 1) << failed.err;
  EXPECT_TRUE(readFile(dir + "/a.mp4") == a && readFile(dir + "/a.mp4.log") == aLog);
  EXPECT_EQ(sh(dir, "ls -A . tmp").out, files);

  ShellRun part = sh(dir, videoCmd(dir, "-J -i first.mp4 a.mp4"));
  EXPECT_EQ(part.status, 0) << part.err;
  EXPECT_EQ(probe("-select_streams v:0 -show_entries stream=nb_frames", dir + "/first.mp4"), "3767\n");
  ShellRun whole = sh(dir, videoCmd(dir, "-J out.mp4 b.mp4 a.mp4"));
  EXPECT_EQ(whole.status, 0) << whole.err;
  EXPECT_EQ(probe("-select_streams v:0 -show_entries stream=nb_frames", dir + "/out.mp4"), "7535\n");
}

// Refused before any range renders: an OUTPUT that is a directory (status
// 2), a place that cannot take the video (a path through a file).
TEST(Video, UnusableOutputIsFoundBeforeTheRender) {
  const std::string dir = makeWorkdir(false);
  ASSERT_EQ(sh(dir, "mkdir dir.mp4 && echo a file >file").status, 0);
  const struct {
    const char *output;
    int status;
    const char *message;
  } rows[] = {
      {"dir.mp4", 2, "dir.mp4 exists and is not a regular file\n"},
      {"file/out.mp4", 1, "make-video: cannot make the directory of "},
  };
  for (const auto &row : rows) {
    ShellRun r = sh(dir, videoCmd(dir, std::string("-j 2 ") + row.output));
    EXPECT_EQ(r.status, row.status) << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("rendering"), std::string::npos) << r.out;
    EXPECT_EQ(sh(dir, "ls -A . dir.mp4 tmp").out, ".:\ndir.mp4\nfile\nstandin\ntmp\n\ndir.mp4:\n\ntmp:\n");
  }
}

// A TMPDIR that fills up while the ranges render (a small file system of
// its own): the one line says so.
TEST(Video, FullScratchSpaceIsNamed) {
  const std::string dir = makeWorkdir(false);
  if (sh(dir, "unshare -m true").status != 0) GTEST_SKIP() << "no mount namespace for a small file system";
  writeFile(dir + "/out.mp4", "the earlier video");
  std::string left;
  writeFile(dir + "/full.sh", "mount -t tmpfs -o size=256k tmpfs tmp && " + videoCmd(dir, "-w 64 -h 64 -j 2 out.mp4"));
  ShellRun r = sh(dir, "exec unshare -m sh full.sh", &left);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find(": No space left on device"), std::string::npos) << r.err;
  EXPECT_EQ(countLines(r.err, "make-video:"), 1) << r.err;
  EXPECT_EQ(readFile(dir + "/out.mp4"), "the earlier video");
  EXPECT_EQ(left, "");
}

// The options of size and quality: -P frames the picture for a video site,
// -q picks the encoder; the parts say both, and -J joins only parts alike.
TEST(Video, SitesFrameThePictureAndPartsKeepTheirQuality) {
  const std::string dir = makeWorkdir(false);
  std::string cmd = videoCmd(dir, "");
  cmd = cmd.substr(0, cmd.find(" -w 16 -h 16")) + " -p " + dir + "/standin ";
  for (const char *part : {"-P 1080p -q draft -s 95:100 a.mp4", "-P 1080p -s 100:110 b.mp4"}) {
    ShellRun r = sh(dir, cmd + part);
    ASSERT_EQ(r.status, 0) << r.err;
  }
  EXPECT_EQ(probe("-select_streams v:0 -show_entries stream=width,height,profile", dir + "/a.mp4"),
            "Constrained Baseline,1920,1080\n");
  EXPECT_EQ(probe("-select_streams v:0 -show_entries stream=width,height,profile", dir + "/b.mp4"), "High,1920,1080\n");
  // The stand-in's grey in the middle, the bars black (Y 16) at the sides.
  ASSERT_EQ(std::system(("ffmpeg -v error -i '" + dir + "/b.mp4' -frames:v 1 -f rawvideo -pix_fmt yuv420p '" + dir +
                         "/b.yuv'").c_str()), 0);
  const std::string y = readFile(dir + "/b.yuv");
  ASSERT_EQ(y.size(), 1920u * 1080 * 3 / 2);
  const int row = 540 * 1920, grey = 10 + 18;
  // (The picture spans x = 285 to 1634.)
  for (int x : {0, 270}) EXPECT_NEAR((unsigned char)y[row + x], 16, 2) << x;
  for (int x : {300, 960, 1620}) EXPECT_NEAR((unsigned char)y[row + x], grey, 3) << x;
  for (int x : {1650, 1919}) EXPECT_NEAR((unsigned char)y[row + x], 16, 2) << x;
  const struct {
    const char *args, *message;
  } refused[] = {
      {"-P 720p x.mp4", "-P 720p: a video site's size is 1080p, 1440p or 2160p\n"},
      {"-P 1080p -w 640 -h 480 x.mp4", "give -P or -w and -h, not both\n"},
      {"-q best x.mp4", "-q best: the quality is draft, share or master\n"},
  };
  for (const auto &bad : refused) {
    ShellRun b = sh(dir, cmd + bad.args);
    EXPECT_EQ(b.status, 2) << bad.args;
    EXPECT_EQ(b.err, std::string("make-video: ") + bad.message);
  }
  ShellRun j = sh(dir, cmd + "-J -i joined.mp4 a.mp4 b.mp4");
  EXPECT_EQ(j.status, 2);
  EXPECT_NE(j.err.find("b.mp4 is of quality share, a.mp4 draft"), std::string::npos) << j.err;
}

// The video's colours are the show's: converted with the BT.709 matrix in
// limited range and tagged so, a decoded frame matches the frame -c saves
// within 3 levels wherever the picture is flat (95 % of its 6x6 blocks, and
// the typical block of the city's blue), the white behind scenes 9 and 10,
// the black of scene 12.
TEST(VideoColours, FlatAreasDecodeToTheCapturedColours) {
  const std::string dir = makeWorkdir();
  const struct {
    int frame, w, h;  // the towers are narrow: the city is looked at larger
    const char *what;
    bool (*is)(int r, int g, int b);
    // 95 % of the blocks within this: the towers' scan lines (every third
    // row darker) are detail the encoder rounds, by up to 5 levels here and
    // there; the colour itself is typical of the blocks.
    int tail;
  } rows[] = {
      {3000, 1024, 768, "the city's blue", [](int r, int g, int b) { return b > r + 100 && b > g + 100; }, 6},
      {4345, 320, 240, "scene 9's white", [](int r, int g, int b) { return r > 240 && g > 240 && b > 240; }, 3},
      {6100, 320, 240, "scene 10's white", [](int r, int g, int b) { return r > 240 && g > 240 && b > 240; }, 3},
      {7000, 320, 240, "scene 12's black", [](int r, int g, int b) { return r < 8 && g < 8 && b < 8; }, 3},
  };
  // Flat: the same colour (within a level) a block every way, beyond the
  // ringing of an edge.
  const int reach = 1;
  // -c plays no music, so the city's towers stand still: the video's frames
  // are made without it too.
  writeFile(dir + "/silent", std::string("#!/bin/sh\nexec ") + VY_PROGRAM + " \"$@\" -m\n");
  chmod((dir + "/silent").c_str(), 0755);
  for (const auto &row : rows) {
    const int w = row.w, h = row.h;
    const std::string size = " -w " + std::to_string(w) + " -h " + std::to_string(h);
    const std::string range = std::to_string(row.frame) + ":" + std::to_string(row.frame + 1);
    RunResult c = runProgram({"-c", "-s", range, "-w", std::to_string(w), "-h", std::to_string(h)}, dir, 300);
    ASSERT_EQ(c.status, 0) << c.out << c.err;
    char png[64];
    snprintf(png, sizeof png, "/capture/%010d.png", row.frame);
    const Picture pic = readPng(dir + png);
    ASSERT_TRUE(pic.ok) << png;
    ShellRun v = sh(dir, "TMPDIR=. bash " + script() + " -p ./silent" + size + " -s " + range + " part.mp4");
    ASSERT_EQ(v.status, 0) << v.err;
    EXPECT_EQ(probe("-select_streams v:0 -show_entries stream=color_range,color_space,color_transfer,color_primaries",
                    dir + "/part.mp4"),
              "tv,bt709,bt709,bt709\n");
    // Decoded as the tags say, as a player would.
    ASSERT_EQ(sh(dir, "ffmpeg -v error -y -i part.mp4 -vf scale=in_color_matrix=bt709:in_range=tv:flags="
                      "accurate_rnd+full_chroma_int -f rawvideo -pix_fmt rgb24 part.rgb").status, 0);
    const std::string rgb = readFile(dir + "/part.rgb");
    ASSERT_EQ(rgb.size(), size_t(w * h * 3));
    // 4:2:0 keeps one colour per 2x2 pixels, so colours are compared as
    // the means of blocks of 6x6 (the city's towers have scan lines every
    // third row).
    const int side = 6, bw = w / side, bh = h / side;
    auto blocks = [&](auto pixel) {
      std::vector<int> mean(size_t(bw) * bh * 3);
      for (int y = 0; y < bh * side; ++y)
        for (int x = 0; x < bw * side; ++x)
          for (int k = 0; k < 3; ++k) mean[(size_t(y / side) * bw + x / side) * 3 + k] += pixel(x, y, k);
      for (int &m : mean) m = (m + side * side / 2) / (side * side);
      return mean;
    };
    const std::vector<int> drawn = blocks([&](int x, int y, int k) { return int(pic.at(x, y)[k]); });
    const std::vector<int> shown =
        blocks([&](int x, int y, int k) { return int((unsigned char)rgb[(size_t(y) * w + x) * 3 + k]); });
    auto at = [&](const std::vector<int> &m, int x, int y) { return &m[(size_t(y) * bw + x) * 3]; };
    std::vector<int> errors;
    for (int y = reach; y < bh - reach; ++y)
      for (int x = reach; x < bw - reach; ++x) {
        const int *p = at(drawn, x, y);
        if (!row.is(p[0], p[1], p[2])) continue;
        bool same = true;
        for (int dy = -reach; same && dy <= reach; ++dy)
          for (int dx = -reach; same && dx <= reach; ++dx)
            for (int k = 0; k < 3; ++k) same = same && std::abs(at(drawn, x + dx, y + dy)[k] - p[k]) <= 1;
        if (!same) continue;
        int e = 0;
        for (int k = 0; k < 3; ++k) e = std::max(e, std::abs(at(shown, x, y)[k] - p[k]));
        errors.push_back(e);
      }
    // A wrong matrix or range moves every block (BT.601's decoding of the
    // towers' blue is 8 levels off, full range's of white 20).
    std::sort(errors.begin(), errors.end());
    const int flat = int(errors.size());
    ASSERT_GE(flat, 40) << row.what << " in frame " << row.frame;
    const int typical = errors[size_t(flat / 2)], worst = errors[size_t(flat * 95 / 100)];
    EXPECT_LE(typical, 3) << row.what << " in frame " << row.frame;
    EXPECT_LE(worst, row.tail) << row.what << " in frame " << row.frame;
  }
}

// The quality script on a part of the real show: the size line, one row for
// the scene the part holds and one for all, the SSIM a good encoding keeps;
// -s measures some of the part's frames; bad input is refused.
TEST(VideoQuality, PrintsSizeAndEachScenesSsim) {
  const std::string dir = makeWorkdir();
  const std::string quality = "TMPDIR=. bash " + std::string(VY_SOURCE_DIR) + "/scripts/video-quality.sh -p " + VY_PROGRAM;
  ShellRun v = sh(dir, "TMPDIR=. bash " + script() + " -p " + VY_PROGRAM + " -w 160 -h 120 -s 4400:4420 part.mp4");
  ASSERT_EQ(v.status, 0) << v.err;
  ShellRun q = sh(dir, quality + " part.mp4");
  ASSERT_EQ(q.status, 0) << q.err;
  EXPECT_EQ(q.out.substr(0, 10), "part.mp4: ") << q.out;
  EXPECT_NE(q.out.find(" MB, "), std::string::npos) << q.out;
  EXPECT_NE(q.out.find(" 20 frames of 160x120 at 40 fps\n"), std::string::npos) << q.out;
  EXPECT_EQ(countLines(q.out, "scene 9 "), 1) << q.out;
  EXPECT_EQ(countLines(q.out, "scene "), 1) << q.out;
  double mean = 0, worst = 0;
  ASSERT_EQ(sscanf(q.out.substr(q.out.find("\nall ")).c_str(), "\nall %*d %lf %lf", &mean, &worst), 2) << q.out;
  EXPECT_GT(mean, 0.97);
  EXPECT_GT(worst, 0.95);
  EXPECT_LE(worst, mean);
  ShellRun ten = sh(dir, quality + " -s 4410:4420 part.mp4");
  ASSERT_EQ(ten.status, 0) << ten.err;
  EXPECT_NE(ten.out.find("\nall          10 "), std::string::npos) << ten.out;
  const struct {
    const char *args, *message;
    int status;
  } refused[] = {
      {" nothing.mp4", "video-quality: no video at ", 2},
      {" -s 4300:4410 part.mp4", "video-quality: -s FIRST must be a whole number from 4400 to 4419 (got 4300)\n", 2},
  };
  for (const auto &bad : refused) {
    ShellRun b = sh(dir, quality + bad.args);
    EXPECT_EQ(b.status, bad.status) << bad.args;
    EXPECT_EQ(b.err.substr(0, std::string(bad.message).size()), bad.message) << b.err;
  }
}
