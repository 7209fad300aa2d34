// Scenes 3 to 7 in one small capture run: hand-over frames, the inversion,
// the light on the flat shapes, the white of the composited scenes and the
// wipe's black end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace fs = std::filesystem;

namespace {

const int W = 320, H = 240;

std::string dir;  // the capture run's working directory

// Frame n (counted from 1) of the run, as captured.
Picture frame(int n) {
  char name[64];
  snprintf(name, sizeof name, "/capture/%010d.png", n - 1);
  return readPng(dir + name);
}

int grey(const Picture &p, int x, int y) { return p.at(x, y)[0]; }

int medianOfRow(const Picture &p, int y) {
  std::vector<int> v;
  for (int x = 0; x < W; x++) v.push_back(grey(p, x, y));
  std::nth_element(v.begin(), v.begin() + W / 2, v.end());
  return v[W / 2];
}

}  // namespace

// One capture run (ctest runs each test in a process of its own), checked
// part by part.
TEST(Scenes3To7, HandOversInversionGreysAndWipe) {
  dir = makeWorkdir(true);
  fs::create_directory(dir + "/capture");
  RunResult run = runProgram({"-c", "-t", "-w", "320", "-h", "240"}, dir, 900, "[dev] scene 8 starts");
  ASSERT_TRUE(run.stopped) << run.out << run.err;
  // Scene 4 goes on with scene 3's clock: the two together last 22.2 s
  // (886 frames), and scene 4 gets what scene 3's 90-frame swing leaves.
  for (auto [scene, first] : {std::pair{3, 1670}, {4, 2380}, {5, 2556}, {6, 2796}, {7, 2876}, {8, 2936}}) {
    std::string line = "[dev] scene " + std::to_string(scene) + " starts in frame " + std::to_string(first) + "\n";
    EXPECT_NE(run.out.find(line), std::string::npos) << line;
  }

  // The clock first passes 15.5 s in frame 2290; the fade follows a frame
  // later and takes 17 frames, each clear showing the grey set before.
  Picture before = frame(2289), after = frame(2312);
  ASSERT_TRUE(before.ok && after.ok);
  EXPECT_EQ(medianOfRow(before, 0), 255);
  EXPECT_EQ(medianOfRow(after, 0), 0);
  // The sphere goes with the white: nothing but black along the top.
  for (int x = 0; x < W; x++) EXPECT_EQ(grey(after, x, 0), 0) << x;
  // The front silhouette faces the light: mid grey 0.5 lit to 0.6.
  EXPECT_EQ(grey(before, W / 2, 175), 153);
  // The plane, black on white before, white (lit) on black after, seen
  // where it flies in these two frames in front of the band's end.
  for (int y = 104; y <= 107; y++)
    for (int x = 60; x <= 70; x++) EXPECT_EQ(grey(before, x, y), 0) << x << "," << y;
  for (int y = 87; y <= 90; y++)
    for (int x = 50; x <= 55; x++) EXPECT_GE(grey(after, x, y), 250) << x << "," << y;

  // Scene 5 opens white, darkens by 0.01 a frame for its first 2 s to
  // about 0.2, and is back above white before its end; scene 6 is white.
  // The composite is lit: the background shows at full strength.
  EXPECT_EQ(grey(frame(2556), 0, 0), 255);
  EXPECT_NEAR(grey(frame(2636), 0, 0), 54, 2);
  EXPECT_EQ(grey(frame(2795), 0, 0), 255);
  for (int n : {2796, 2830, 2875}) {
    Picture p = frame(n);
    EXPECT_EQ(grey(p, 0, 0), 255) << n;
    EXPECT_EQ(grey(p, W - 1, H - 1), 255) << n;
  }

  // Halfway the wave's centre line is near the middle of the view; in the
  // last frame of scene 7 everything is black.
  Picture mid = frame(2876 + 40), end = frame(2935);
  ASSERT_TRUE(mid.ok && end.ok);
  EXPECT_EQ(grey(mid, W / 2, 0), 255);
  EXPECT_LT(grey(mid, W / 2, H - 1), 10);  // black under the white's glow
  for (unsigned y = 0; y < end.height; y++)
    for (unsigned x = 0; x < end.width; x++) ASSERT_EQ(grey(end, x, y), 0) << x << "," << y;
  fs::remove_all(dir);
}
