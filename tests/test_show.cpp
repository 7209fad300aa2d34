// The whole show, captured once at 320x240: the hand-over frames of the
// timeline, the clean end, and chosen frames of the scenes read back from
// the captured files. One run serves every check; a scene's checks are one
// function in the table at the bottom.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "harness/harness.h"

namespace fs = std::filesystem;

namespace {

// First frame of each scene, counted from 1 (frame n is file n - 1).
const int firstFrame[13] = {0, 95, 1055, 1670, 2380, 2556, 2796, 2876, 2936, 4336, 5136, 6136, 6336};
const int lastCaptured = 7535;  // scene 12 ends the show in frame 7536

struct Show {
  std::string dir;
  RunResult run;
};

Picture frameFile(const Show &show, int frame) {
  char name[64];
  snprintf(name, sizeof name, "/capture/%010d.png", frame - 1);
  return readPng(show.dir + name);
}

// The frame t seconds into a scene: its first frame reads one 25 ms step.
Picture sceneAt(const Show &show, int scene, double seconds) {
  return frameFile(show, firstFrame[scene] - 1 + int(std::lround(seconds * 40)));
}

int grey(const uint8_t *p) { return (p[0] * 30 + p[1] * 59 + p[2] * 11) / 100; }
bool dark(const uint8_t *p) { return grey(p) < 100; }
bool nearWhite(const uint8_t *p) { return grey(p) > 235; }
bool bluish(const uint8_t *p) { return p[2] > p[0] + 50 && p[2] > p[1] + 50; }
// The title's strokes are thin and soft at this size.
bool ink(const uint8_t *p) { return grey(p) < 160; }
bool chalk(const uint8_t *p) { return grey(p) > 120; }
// Half-transparent black wire lines on white come out light grey.
bool line(const uint8_t *p) { return grey(p) < 230; }

// Share of the pixels in a box (fractions of the picture, top row 0) that
// pass a test.
double share(const Picture &p, double x0, double y0, double x1, double y1,
             const std::function<bool(const uint8_t *)> &test) {
  unsigned xa = unsigned(x0 * p.width), xb = unsigned(x1 * p.width);
  unsigned ya = unsigned(y0 * p.height), yb = unsigned(y1 * p.height);
  long hits = 0, all = 0;
  for (unsigned y = ya; y < yb; y++)
    for (unsigned x = xa; x < xb; x++, all++) hits += test(p.at(x, y));
  return all ? double(hits) / all : 0;
}
double share(const Picture &p, const std::function<bool(const uint8_t *)> &test) {
  return share(p, 0, 0, 1, 1, test);
}
int corner(const Picture &p) { return grey(p.at(2, 2)); }

// The title "vy-01:the zembrit" sits left of centre on the middle row.
const double titleBox[4] = {0.28, 0.43, 0.72, 0.52};
double inTitle(const Picture &p, const std::function<bool(const uint8_t *)> &test) {
  return share(p, titleBox[0], titleBox[1], titleBox[2], titleBox[3], test);
}

void timeline(const Show &show) {
  const RunResult &r = show.run;
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 2000);
  for (int scene = 1; scene <= 12; scene++) {
    std::string line = "[dev] scene " + std::to_string(scene) + " starts in frame " +
                       std::to_string(firstFrame[scene]) + "\n";
    EXPECT_NE(r.out.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(countLines(r.out, "[dev] scene "), 12 + 12);  // 12 starts, 12 summaries
  // The frame that ends the show is neither captured nor reported.
  EXPECT_EQ(countLines(r.out, "[->] captured frame #"), lastCaptured);
  EXPECT_NE(r.out.find("[->] captured frame #" + std::to_string(lastCaptured) + "\n"), std::string::npos);
  long files = std::distance(fs::directory_iterator(show.dir + "/capture"), fs::directory_iterator{});
  EXPECT_EQ(files, lastCaptured);
  EXPECT_TRUE(frameFile(show, lastCaptured).ok);
  EXPECT_FALSE(fs::exists(show.dir + "/capture/0000007535.png"));
}

void scene09(const Show &show) {
  // Frames 1 to 100 grow the head out of view: no cube yet at 2 s.
  Picture early = sceneAt(show, 9, 2.0);
  ASSERT_TRUE(early.ok);
  EXPECT_LT(share(early, bluish), 0.0005);
  // At 10 s the ribbon spans the view: a broad band of blue cubes on white.
  Picture full = sceneAt(show, 9, 10.0);
  EXPECT_GT(share(full, bluish), 0.03);
  EXPECT_GT(share(full, nearWhite), 0.3);
  // At 18.75 s the tail has passed the head: only the black wire spheres
  // (radius 20 of the view's half width 25.9) remain on white.
  Picture after = sceneAt(show, 9, 18.75);
  EXPECT_LT(share(after, bluish), 0.0005);
  EXPECT_GT(share(after, 0.3, 0.3, 0.7, 0.7, dark), 0.02);
  EXPECT_LT(share(after, 0, 0, 0.06, 1, dark) + share(after, 0.94, 0, 1, 1, dark), 0.001);
  EXPECT_GT(corner(after), 235);
}

void scene10(const Show &show) {
  // Inside the huge wire sphere: its lines cross every quarter of the view,
  // on white, also once the inherited blur has run out (frame 91 on).
  for (double t : {1.0, 7.0}) {
    Picture inside = sceneAt(show, 10, t);
    ASSERT_TRUE(inside.ok);
    for (double x : {0.0, 0.5})
      for (double y : {0.0, 0.5})
        EXPECT_GT(share(inside, x, y, x + 0.5, y + 0.5, line), 0.05) << t << ": " << x << " " << y;
    EXPECT_GT(share(inside, nearWhite), 0.3) << t;
  }
  // From 20 s the spheres shrink away; at 24 s they have turned into small
  // inside-out ones of radius about -1 at the centre.
  Picture gone = sceneAt(show, 10, 24.0);
  EXPECT_GT(share(gone, nearWhite), 0.97);
  EXPECT_LT(share(gone, 0, 0, 1, 0.35, line) + share(gone, 0, 0.65, 1, 1, line), 0.0005);
}

void scene11(const Show &show) {
  // The plane starts just before the eye: a large grey shape.
  Picture close = sceneAt(show, 11, 0.3);
  ASSERT_TRUE(close.ok);
  EXPECT_GT(share(close, [](const uint8_t *p) { return grey(p) < 200; }), 0.05);
  EXPECT_LT(inTitle(close, dark), 0.005);  // the title is still transparent
  // Before the hand-over the title is black on white, the plane long gone.
  Picture title = sceneAt(show, 11, 4.8);
  EXPECT_GT(inTitle(title, ink), 0.015);
  EXPECT_LT(share(title, 0, 0, 1, 0.38, dark) + share(title, 0, 0.58, 1, 1, dark), 0.0005);
  EXPECT_GT(corner(title), 235);
}

void scene12(const Show &show) {
  // At 0.7 s the falling plane is 9 units above the black title, on white.
  Picture falling = sceneAt(show, 12, 0.7);
  ASSERT_TRUE(falling.ok);
  EXPECT_GT(inTitle(falling, ink), 0.015);
  EXPECT_GT(share(falling, 0.35, 0.12, 0.65, 0.42, [](const uint8_t *p) { return grey(p) < 240; }), 0.01);
  EXPECT_GT(corner(falling), 235);
  // From 5 s the background goes from white to black in 101 frames.
  int before = corner(sceneAt(show, 12, 5.0));
  int during = corner(sceneAt(show, 12, 6.25));
  int after = corner(sceneAt(show, 12, 7.75));
  EXPECT_GT(before, 235);
  EXPECT_LT(during, before - 40);
  EXPECT_GT(during, after + 40);
  EXPECT_LT(after, 10);
  // Then the white title on black, up to the last captured frame.
  for (Picture end : {sceneAt(show, 12, 15.0), frameFile(show, lastCaptured)}) {
    ASSERT_TRUE(end.ok);
    EXPECT_GT(inTitle(end, chalk), 0.03);
    EXPECT_LT(share(end, 0, 0, 1, 0.38, [](const uint8_t *p) { return grey(p) > 20; }), 0.0005);
  }
}

}  // namespace

TEST(Show, WholeRunHandsOverOnTimeAndEachSceneShowsItsPicture) {
  // Small frames keep this quick; frame numbers do not depend on size.
  Show show;
  show.dir = makeWorkdir(true);
  fs::create_directory(show.dir + "/capture");
  show.run = runProgram({"-c", "-t", "-w", "320", "-h", "240"}, show.dir, 880);

  const std::pair<const char *, void (*)(const Show &)> checks[] = {
      {"timeline", timeline}, {"scene 9", scene09}, {"scene 10", scene10},
      {"scene 11", scene11},  {"scene 12", scene12},
  };
  for (auto &check : checks) {
    SCOPED_TRACE(check.first);
    check.second(show);
  }
  // The frames stay for a look when a check failed.
  if (testing::Test::HasFailure())
    printf("frames kept in %s/capture\n", show.dir.c_str());
  else
    fs::remove_all(show.dir);
}
