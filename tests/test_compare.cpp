// scripts/compare-frames.sh in a repository of its own, REV's build and this
// tree's program both stand-ins: how it ends when a program fails, when it
// is stopped, when its -k directory cannot be made; and that it leaves
// nothing running or behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <string>

#include "harness/harness.h"

namespace {

// 20 frames of one grey at the size asked for. STANDIN=stall: 5 frames,
// then the file MARK, then it waits to be stopped.
const char *kStandIn = R"SH(#!/bin/bash
while [ $# -gt 0 ]; do
  case $1 in -r) raw=$2; shift ;; -w) w=$2; shift ;; -h) h=$2; shift ;; esac
  shift
done
frames=20
[ "${STANDIN:-}" != stall ] || frames=5
head -c $((frames * w * h * 3)) /dev/zero | tr '\0' '\100' >"$raw"
if [ "${STANDIN:-}" = stall ]; then
  exec 3>"$raw"
  trap 'kill $! 2>/dev/null; exit 143' TERM INT
  sleep 60 &
  touch "$MARK"
  wait
fi
echo "[dev] scene 1 starts in frame 1"
)SH";

}  // namespace

TEST(CompareFrames, EndsWithTheCauseAndLeavesNothing) {
  // The script and its library committed in a repository of their own, with
  // REV's build already in place.
  const std::string repo = makeWorkdir(false), src = std::string(VY_SOURCE_DIR) + "/scripts/";
  ASSERT_EQ(runShell(repo, "mkdir scripts tmp && cp '" + src + "compare-frames.sh' '" + src +
                               "lib.sh' scripts/ && git init -q && git add scripts && "
                               "git -c user.name=t -c user.email=t@t commit -qm t")
                .status,
            0);
  const std::string sha = runShell(repo, "git rev-parse HEAD").out.substr(0, 40);
  const std::string ref = repo + "/build/compare/" + sha + "/build";
  ASSERT_EQ(runShell(repo, "mkdir -p " + ref + " && echo a file >file").status, 0);
  for (const std::string &f : {ref + "/vy01", repo + "/standin"}) {
    writeFile(f, kStandIn);
    chmod(f.c_str(), 0755);
  }
  const std::string cmd = "TMPDIR=" + repo + "/tmp MARK=" + repo + "/stalled exec bash scripts/compare-frames.sh ";
  const struct {
    const char *name, *env, *args;
    int sig;
    bool toGroup;
    int status;
    const char *message;
  } rows[] = {
      {"same frames", "", "-p ./standin HEAD 16x16", 0, false, 0, ""},
      {"one frame kept", "", "-p ./standin -k kept -f 3 HEAD 16x16", 0, false, 0, ""},
      // Once waited for ever: this program never opens its stream.
      {"program dies at once", "", "-p /bin/false HEAD 16x16", 0, false, 1, "/bin/false failed with status 1\n"},
      {"-k cannot be made", "", "-p ./standin -k file/kept -f 3 HEAD 16x16", 0, false, 1,
       "compare-frames: cannot make the directory "},
      {"kill", "STANDIN=stall ", "-p ./standin HEAD 16x16", SIGTERM, false, 130, ""},
      {"Ctrl-C", "STANDIN=stall ", "-p ./standin HEAD 16x16", SIGINT, true, 130, ""},
  };
  for (const auto &row : rows) {
    std::string left;
    runShell(repo, "rm -f stalled");
    ShellRun r = runShell(repo, std::string(row.env) + cmd + row.args, &left, repo + "/stalled", row.sig, row.toGroup);
    EXPECT_EQ(r.status, row.status) << row.name << "\n" << r.out << r.err;
    EXPECT_NE(r.err.find(row.message), std::string::npos) << row.name << "\n" << r.err;
    EXPECT_EQ(left, "") << row.name;
    EXPECT_EQ(runShell(repo, "ls -A tmp").out, "") << row.name;
    if (std::string(row.name) == "same frames") {
      EXPECT_NE(r.out.find("frames: 20; SSIM below 0.98: 0"), std::string::npos) << r.out;
    }
  }
  EXPECT_TRUE(readPng(repo + "/kept/frame-3.png").ok);
}
