// The video script with a stand-in for the program: ranges joined in order
// with chapters and music; failures leave the earlier video and nothing else.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "harness/harness.h"

namespace {

// Frames of one grey per stage, 16x16; scene k starts in frame 95 + 600 (k - 1),
// numbered from 1 as the program's hand-over lines count. STANDIN_FAIL:
// "early" dies before opening the stream, "at N" stops at frame N with an
// error, "stall" waits after its first frames until it is stopped.
const char *kStandIn = R"SH(#!/bin/bash
raw= range=0: w=16 h=16
while [ $# -gt 0 ]; do
  case $1 in -r) raw=$2; shift ;; -s) range=$2; shift ;; -w) w=$2; shift ;; -h) h=$2; shift ;; esac
  shift
done
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
  head -c $(((b - a) * w * h * 3)) /dev/zero | tr '\0' "\\$(printf %03o $((10 + 18 * k)))" >&3
  [ "$a" -ge "$b" ] || seq -f "[->] captured frame #%g" $((a + 1)) "$b"
  if [ "$fail" = now ]; then echo "[!] stand-in: frame $b went wrong"; exit 3; fi
  if [ "$fail" = stall ]; then
    sleep 60 &
    trap 'kill $!; exit 143' TERM
    touch "$STANDIN_MARK.$$"
    wait
  fi
done
[ "$end" != 7535 ] || echo "[dev] scene 12: 840 frames"
)SH";

struct Shell {
  int status = -1;
  std::string out, err;
};

// What of session sid is still running (zombies are dead: where init does
// not reap, the orphans of a killed stand-in stay in the table).
std::string sessionLeft(const std::string &sid) {
  const std::string meta = makeWorkdir(false);
  std::system(("ps -o pid=,stat=,args= -s " + sid.substr(0, sid.find('\n')) + " | awk '$2 !~ /^Z/' >'" + meta + "/left'").c_str());
  return readFile(meta + "/left");
}

// Runs a shell command in dir, in a session of its own, keeping its own
// files elsewhere; leftOver gets whatever of the session still runs after.
Shell sh(const std::string &dir, const std::string &cmd, std::string *leftOver = nullptr) {
  const std::string meta = makeWorkdir(false);
  writeFile(meta + "/cmd.sh", "echo $$ >'" + meta + "/sid'\ncd '" + dir + "' || exit 99\n" + cmd + "\n");
  Shell r;
  int s = std::system(("setsid --wait sh '" + meta + "/cmd.sh' >'" + meta + "/out' 2>'" + meta + "/err'").c_str());
  r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  r.out = readFile(meta + "/out");
  r.err = readFile(meta + "/err");
  if (leftOver) *leftOver = sessionLeft(readFile(meta + "/sid"));
  return r;
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

// The script's scratch directories go under dir/tmp, to be found empty.
std::string videoCmd(const std::string &dir, const std::string &args) {
  std::system(("mkdir -p '" + dir + "/tmp'").c_str());
  return "TMPDIR='" + dir + "/tmp' bash " + script() + " -w 16 -h 16 -p " + standIn(dir) + " " + args;
}

}  // namespace

// Three ranges at once, joined in the order of their frames: every frame in
// its place, 13 chapters where the program said the scenes start, the music.
TEST(Video, RangesJoinInOrderWithChaptersAndMusic) {
  const std::string dir = makeWorkdir(false);
  std::string left;
  Shell r = sh(dir, videoCmd(dir, "-j 3 out.mp4"), &left);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(left, "");
  EXPECT_EQ(sh(dir, "ls -A tmp").out, "");
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
  // One grey per stage, as the stand-in drew them.
  ASSERT_EQ(std::system(("ffmpeg -v error -i '" + dir + "/out.mp4' -f rawvideo -pix_fmt gray '" + dir +
                         "/out.gray'").c_str()), 0);
  const std::string grey = readFile(dir + "/out.gray");
  ASSERT_EQ(grey.size(), 7535u * 256);
  for (int f = 0; f < 7535; f += 97) {
    const int k = f < 94 ? 0 : (f - 94) / 600 + 1;
    const int want = 10 + 18 * (k > 12 ? 12 : k);
    EXPECT_NEAR((unsigned char)grey[f * 256 + 136], want, 3) << "frame " << f;
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
      {"bad job count", "", "-j 0", 2, "-j must be a number from 1 to 64"},
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
    Shell r = sh(dir, std::string(row.env) + " " + videoCmd(dir, std::string(row.args) + " out.mp4"), &left);
    EXPECT_EQ(r.status, row.status) << row.name << "\n" << r.out << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << row.name << "\n" << r.err;
    EXPECT_EQ(countLines(r.err, "make-video:"), 1) << row.name << "\n" << r.err;
    EXPECT_EQ(readFile(dir + "/out.mp4"), "the earlier video") << row.name;
    EXPECT_EQ(left, "") << row.name;
    EXPECT_EQ(sh(dir, "ls -A . tmp").out, ".:\nbin\nout.mp4\nstandin\ntmp\n\ntmp:\n") << row.name;
  }
}

// Stopped by a signal while both ranges render: the same.
TEST(Video, SignalKeepsTheEarlierVideoAndLeavesNothingBehind) {
  const std::string dir = makeWorkdir(false), meta = makeWorkdir(false);
  writeFile(dir + "/out.mp4", "the earlier video");
  writeFile(meta + "/cmd.sh", "echo $$ >sid\ncd '" + dir + "'\nSTANDIN_FAIL=stall STANDIN_MARK='" + meta +
                                  "/stalled' " + videoCmd(dir, "-j 2 out.mp4") + " 2>'" + meta +
                                  "/err' &\necho $! >'" + meta + "/pid'\nwait $!\necho $? >'" + meta + "/status'\n");
  ASSERT_EQ(std::system(("cd '" + meta + "' && setsid sh cmd.sh >/dev/null 2>&1 &").c_str()), 0);
  for (int i = 0; i < 300 && std::system(("[ $(ls '" + meta + "' | grep -c stalled) = 2 ]").c_str()) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(std::system(("kill -TERM $(cat '" + meta + "/pid')").c_str()), 0);
  for (int i = 0; i < 100 && readFile(meta + "/status").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(readFile(meta + "/status"), "130\n") << readFile(meta + "/err");
  EXPECT_EQ(readFile(dir + "/out.mp4"), "the earlier video");
  EXPECT_EQ(sessionLeft(readFile(meta + "/sid")), "");
  EXPECT_EQ(sh(dir, "ls -A . tmp").out, ".:\nout.mp4\nstandin\ntmp\n\ntmp:\n");
}
