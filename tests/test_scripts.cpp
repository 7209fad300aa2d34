// What every script takes from the command line as a number: sizes and
// counts are whole decimal numbers in their bounds, or refused with one
// line and status 2 before anything starts.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "harness/harness.h"

namespace {

std::string scripts() { return std::string(VY_SOURCE_DIR) + "/scripts/"; }

// A program that only tells the show's numbers (make-video reads them first).
std::string timelineOnly(const std::string &dir) {
  writeFile(dir + "/timeline-only",
            "#!/bin/sh\n[ \"$1\" = -T ] || exit 0\necho '[dev] timeline: 7535 frames'\n"
            "echo '[dev] the music starts in frame 95, 2350 ms into the video: data/tune/vy-03.mp3'\n"
            "for f in 95 1055 1670 2380 2556 2796 2876 2936 4336 5136 6136 6336; do\n"
            "  echo \"[dev] scene $((n += 1)) starts in frame $f\"\ndone\n");
  chmod((dir + "/timeline-only").c_str(), 0755);
  return dir + "/timeline-only";
}

}  // namespace

TEST(Scripts, SizesOutside2To32767AreRefusedWithStatus2) {
  const std::string dir = makeWorkdir(false), p = " -p /bin/true ", t = " -p " + timelineOnly(makeWorkdir(false)) + " ";
  // Each command with @W for the width and @H for the height.
  const std::string commands[] = {
      "make-video.sh -w '@W' -h '@H'" + t + "out.mp4",
      "make-video.sh -w '@W' -h '@H'" + t + "-s 0:10 part.mp4",
      "contact-sheet.sh -w '@W' -h '@H'" + p + "out.png",
      "compare-frames.sh" + p + "HEAD '@Wx@H'",
      "bench.sh" + p + "320x240 '@Wx@H'",
      "sanitize-run.sh capture '@W' '@H'",
  };
  // The empty size once started a run in every process it made.
  const struct {
    const char *width, *height, *message;
  } sizes[] = {
      {"", "16", "the width must be a whole number from 2 to 32767 (got '')\n"},
      {"abc", "16", "the width must be a whole number from 2 to 32767 (got 'abc')\n"},
      {"99999999999999999999", "16", "the width must be a whole number from 2 to 32767 (got 99999999999999999999)\n"},
      {"1", "16", "the width must be a whole number from 2 to 32767 (got 1)\n"},
      {"-5", "16", "the width must be a whole number from 2 to 32767 (got '-5')\n"},
      {"16", "0", "the height must be a whole number from 2 to 32767 (got 0)\n"},
      {"16", "32768", "the height must be a whole number from 2 to 32767 (got 32768)\n"},
  };
  for (const std::string &command : commands) {
    const std::string me = command.substr(0, command.find(".sh"));
    for (const auto &size : sizes) {
      std::string c = command;
      c.replace(c.find("@W"), 2, size.width);
      c.replace(c.find("@H"), 2, size.height);
      std::string left;
      ShellRun r = runShell(dir, "TMPDIR=. exec bash " + scripts() + c, &left);
      EXPECT_EQ(r.status, 2) << c << "\n" << r.err;
      EXPECT_EQ(r.err, (me == "sanitize-run" ? "sanitize" : me) + ": " + size.message) << c;
      EXPECT_EQ(left, "") << c;
      EXPECT_EQ(runShell(dir, "ls -A").out, "") << c;
    }
  }
  EXPECT_EQ(runShell(dir, "exec bash " + scripts() + "bench.sh -p /bin/true 320").err,
            "bench: a size is WIDTHxHEIGHT (got '320')\n");
}

// Counts are decimal, a leading 0 no octal: 08 is eight ranges, 010 ten.
// The ranges are cut by cost: scene 1's frames are dear, the titles' cheap.
TEST(Scripts, CountsAreDecimal) {
  const std::string tools = makeWorkdir(false), dir = makeWorkdir(false),
                    video = "exec bash " + scripts() + "make-video.sh -p " + timelineOnly(tools) + " ";
  ShellRun eight = runShell(dir, video + "-l 08");
  EXPECT_EQ(eight.status, 0) << eight.err;
  EXPECT_EQ(countLines(eight.out, ""), 8) << eight.out;
  ShellRun ten = runShell(dir, video + "-l 010");
  EXPECT_EQ(ten.out.substr(0, 15), "0:632\n632:1253\n") << ten.out;
  EXPECT_EQ(countLines(ten.out, ""), 10) << ten.out;
  const struct {
    const char *args, *message;
  } refused[] = {
      {"-l 0", "-l must be a whole number from 1 to 64 (got 0)\n"},
      {"-l 65", "-l must be a whole number from 1 to 64 (got 65)\n"},
      {"-l ''", "-l must be a whole number from 1 to 64 (got '')\n"},
      {"-j '' out.mp4", "-j must be a whole number from 1 to 64 (got '')\n"},
      {"-s '' part.mp4", "-s FIRST must be a whole number from 0 to 7534 (got '')\n"},
      {"-j 99999999999999999999 out.mp4", "-j must be a whole number from 1 to 64 (got 99999999999999999999)\n"},
      {"-j 0x10 out.mp4", "-j must be a whole number from 1 to 64 (got '0x10')\n"},
      {"-s 08:09x part.mp4", "-s END must be a whole number from 1 to 7535 (got '09x')\n"},
  };
  for (const auto &row : refused) {
    ShellRun r = runShell(dir, "TMPDIR=. " + video + row.args);
    EXPECT_EQ(r.status, 2) << row.args;
    EXPECT_EQ(r.err, std::string("make-video: ") + row.message);
  }
  EXPECT_EQ(runShell(dir, "ls -A").out, "");
}
