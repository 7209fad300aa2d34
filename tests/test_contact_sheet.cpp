// scripts/contact-sheet.sh with a stand-in for the program, which prints the
// scene lines and makes every frame the stills come from out of one small
// picture: what the script writes, keeps and removes, and that no process
// of a run outlives it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "harness/harness.h"

namespace fs = std::filesystem;

namespace {

// Named "fails" it ends at once with status 3; named "hangs" it says it has
// started and waits to be stopped.
const char *const STAND_IN = R"(#!/bin/sh
case $(basename "$0") in
  fails) exit 3 ;;
  hangs) touch "$(dirname "$0")/started"; exec sleep 60 ;;
esac
ffmpeg -hide_banner -loglevel error -f lavfi -i color=c=gray:s=64x48 -frames:v 1 capture/0000000000.png || exit 1
for s in 1 2 3 4 5 6 7 8 9 10 11 12; do echo "[dev] scene $s starts in frame 1"; done
perl -e 'link "capture/0000000000.png", sprintf("capture/%010d.png", $_) or die for 1..1200'
)";

// ffmpeg as the script finds it first in PATH: writing the sheet (the call
// that tiles) it meets a full disk, as a file size limit.
const char *const FULL_DISK_FFMPEG = R"(#!/bin/sh
case "$*" in *tile=*) trap '' XFSZ; ulimit -f 8 ;; esac
exec "$REAL_FFMPEG" "$@"
)";

struct SheetRun {
  int status = -1;
  std::string err;
  bool leftRunning = false;
};

// Runs `shell` (limits, say) and then the script with args, in a session of
// its own so that every process of the run is found by its group, its
// scratch files in dir/tmp; once the stand-in has started, stops it with
// SIGTERM, or with SIGINT to the whole group as Ctrl-C does, when asked.
SheetRun runSheet(const std::string &dir, const std::string &args, const std::string &shell = "",
                  int stopSignal = 0) {
  fs::create_directories(dir + "/tmp");
  const std::string command = shell + "TMPDIR=" + dir + "/tmp exec bash " + VY_SOURCE_DIR + "/scripts/contact-sheet.sh " +
                              args + " >/dev/null 2>" + dir + "/err.log";
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    execl("/bin/sh", "sh", "-c", command.c_str(), (char *)nullptr);
    _exit(127);
  }
  SheetRun r;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
  while (waitpid(pid, &status, WNOHANG) != pid) {
    if (stopSignal && fs::exists(dir + "/started")) {
      kill(stopSignal == SIGINT ? -pid : pid, stopSignal);
      stopSignal = 0;
    }
    if (std::chrono::steady_clock::now() > deadline) kill(-pid, SIGKILL);
    usleep(50000);
  }
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.err = readFile(dir + "/err.log");
  r.leftRunning = kill(-pid, 0) == 0;
  kill(-pid, SIGKILL);
  return r;
}

}  // namespace

TEST(ContactSheet, KeepsWhatItDidNotMakeAndLeavesNothingBroken) {
  const std::string dir = makeWorkdir(false);
  fs::create_directories(dir + "/full");
  fs::create_directories(dir + "/bin");
  for (const char *name : {"stand-in", "fails", "hangs", "bin/ffmpeg"}) {
    writeFile(dir + "/" + name, fs::path(name).filename() == "ffmpeg" ? FULL_DISK_FFMPEG : STAND_IN);
    chmod((dir + "/" + name).c_str(), 0755);
  }
  const std::string p = " -p " + dir + "/";
  writeFile(dir + "/full/mine", "mine");
  fs::create_directories(dir + "/keep");
  const struct {
    std::string args, shell;
    int stop;
    int status;
    const char *message;
  } rows[] = {
      // A "%" is no pattern; frames go beside a sheet that landed in the empty DIR.
      {p + "stand-in -k " + dir + "/keep '" + dir + "/keep/sheet%d.png'", "", 0, 0, ""},
      {p + "stand-in -k " + dir + "/full " + dir + "/out/sheet.png", "", 0, 2, "not a new or empty directory"},
      // A disk that fills up while the sheet is written.
      {p + "stand-in " + dir + "/out/sheet.png",
       "export REAL_FFMPEG=$(command -v ffmpeg) PATH=" + dir + "/bin:$PATH; ", 0, 1, "could not tile"},
      {p + "fails " + dir + "/out/sheet.png", "", 0, 1, "failed with exit status 3"},
      {p + "hangs " + dir + "/out/sheet.png", "", SIGTERM, 130, ""},
      {p + "hangs " + dir + "/out/sheet.png", "", SIGINT, 130, ""},
  };
  for (const auto &row : rows) {
    SheetRun r = runSheet(dir, row.args, row.shell, row.stop);
    EXPECT_EQ(r.status, row.status) << row.args << "\n" << r.err;
    // No message: nothing at all on standard error.
    EXPECT_TRUE(*row.message ? r.err.find(row.message) != std::string::npos : r.err.empty())
        << row.args << "\n" << r.err;
    EXPECT_FALSE(r.leftRunning) << row.args;
    // Nor any scratch file, the frames among them.
    EXPECT_TRUE(fs::is_empty(dir + "/tmp")) << row.args;
    fs::remove(dir + "/started");
    // Nothing under the sheet's name but a whole sheet, no temporary file.
    EXPECT_TRUE(!fs::exists(dir + "/out") || fs::is_empty(dir + "/out")) << row.args;
  }
  EXPECT_EQ(readFile(dir + "/full/mine"), "mine");
  EXPECT_GT(readPng(dir + "/keep/sheet%d.png").width, 1000u);
  int frameDirs = 0;
  for (auto &e : fs::directory_iterator(dir + "/keep"))
    if (e.path().filename().string().rfind("frames.", 0) == 0) {
      ++frameDirs;
      EXPECT_TRUE(fs::exists(e.path() / "0000001199.png"));
      EXPECT_TRUE(fs::exists(e.path() / "out.log"));
    }
  EXPECT_EQ(frameDirs, 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir + "/keep"), fs::directory_iterator()), 2);
  fs::remove_all(dir);
}
