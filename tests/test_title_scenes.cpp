// The first two scenes as captured: the invisible presenting line cutting
// holes in the wire lattice, the title scene's flashes and blinks of the
// background, and the boxes always the inverse of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "harness/harness.h"

namespace fs = std::filesystem;

namespace {

const int W = 320, H = 240;
const int SCENE1 = 95, SCENE2 = 1055;  // frames in which the scenes start

std::string dir;

// The frame in which a scene's clock reads t (one 25 ms step a frame, the
// first reading 0.025 s), decoded from its capture file.
Picture at(int sceneStart, double t) {
  int frame = sceneStart - 1 + int(t / 0.025 + 0.5);
  char name[64];
  snprintf(name, sizeof name, "/capture/%010d.png", frame - 1);
  Picture p = readPng(dir + name);
  EXPECT_TRUE(p.ok) << name;
  return p;
}

int grey(const Picture &p, int x, int y) { return p.at(x, y)[1]; }

// Share of dark pixels (the picture behind, not the grey lattice) in rows
// y0..y1-1 of the lattice's middle columns.
double darkShare(const Picture &p, int y0, int y1) {
  int dark = 0;
  for (int y = y0; y < y1; y++)
    for (int x = 140; x < 180; x++) dark += grey(p, x, y) <= 90;
  return double(dark) / ((y1 - y0) * 40);
}

// Darkest and brightest pixel of the middle of the view.
std::pair<int, int> middleRange(const Picture &p) {
  int lo = 255, hi = 0;
  for (int y = H / 4; y < 3 * H / 4; y++)
    for (int x = W / 4; x < 3 * W / 4; x++) lo = std::min(lo, grey(p, x, y)), hi = std::max(hi, grey(p, x, y));
  return {lo, hi};
}

}  // namespace

// One capture run for all (ctest runs each test in a process of its own).
TEST(TitleScenes, HoleFlashesBlinksAndInverseBoxes) {
  dir = makeWorkdir(true);
  fs::create_directory(dir + "/capture");
  // Up to scene 2's second black blink and a little after.
  RunResult run = runProgram({"-c", "-t", "-w", "320", "-h", "240"}, dir, 600, "[->] captured frame #1640\n");
  ASSERT_TRUE(run.stopped) << run.out << run.err;
  EXPECT_NE(run.out.find("[dev] scene 1 starts in frame 95\n"), std::string::npos);
  EXPECT_NE(run.out.find("[dev] scene 2 starts in frame 1055\n"), std::string::npos);
  EXPECT_EQ(countLines(run.out, "[!"), 0) << run.out;

  // At 3.5 s the line runs across the distant lattice, its baseline on the
  // middle row: its letters take lattice pixels out without showing
  // themselves (white letters would fill the gaps instead), so the rows of
  // its small letters hold several times the dark pixels of those above,
  // where only the black wire cube cuts its thin lines.
  Picture p = at(SCENE1, 3.5);
  double letters = darkShare(p, H / 2 - 7, H / 2 - 1), above = darkShare(p, H / 2 - 19, H / 2 - 10);
  EXPECT_LT(above, 0.1);
  EXPECT_GT(letters, 0.15);
  EXPECT_GT(letters, 2.5 * above) << letters << " vs " << above;

  // Black background, lit white boxes before the first flash.
  Picture before = at(SCENE2, 3.0);
  EXPECT_LT(grey(before, 2, 2), 10);
  EXPECT_GT(middleRange(before).second, 150);

  // The flash at 3.4 s shows white from the next frame, boxes dark; then
  // the background falls back a tenth a frame until the flash at 3.6 s.
  Picture flash = at(SCENE2, 3.45);
  EXPECT_GT(grey(flash, 2, 2), 220);
  EXPECT_LT(middleRange(flash).first, 60);
  int last = 256;
  for (double t = 3.525; t < 3.61; t += 0.025) {
    int g = grey(at(SCENE2, t), 2, 2);
    EXPECT_LT(g, last) << t;
    last = g;
  }
  EXPECT_LT(last, 200);
  EXPECT_GT(grey(at(SCENE2, 3.625), 2, 2), 220);
  EXPECT_EQ(grey(at(SCENE2, 3.9), 2, 2), 0);

  // White from 5 s: the boxes and the plane are black on it.
  for (double t : {7.0, 11.0, 13.5}) {
    Picture p = at(SCENE2, t);
    EXPECT_GE(grey(p, 2, 2), 250) << t;
    EXPECT_LT(middleRange(p).first, 30) << t;
  }

  // Two black blinks near the end, each back to white within ten frames.
  auto darkest = [](double t0, double t1) {
    int d = 255;
    for (double t = t0; t < t1; t += 0.025) d = std::min(d, grey(at(SCENE2, t), 2, 2));
    return d;
  };
  EXPECT_LT(darkest(13.6, 13.7), 100);
  EXPECT_LT(darkest(13.9, 14.05), 100);
  EXPECT_GE(grey(at(SCENE2, 13.875), 2, 2), 250);
  EXPECT_GE(grey(at(SCENE2, 14.4), 2, 2), 250);
}
