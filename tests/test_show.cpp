// The whole show, captured once at 320x240: the loader, the hand-over
// frames, the clean end, and chosen frames of every scene; each part is one
// function in the table at the bottom.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "main/showrange.h"

namespace fs = std::filesystem;

namespace {

const int W = 320, H = 240;
// First frame of each scene, counted from 1 (frame n is file n - 1): the
// program's own table of starts, which the whole run's hand-over lines check.
int firstFrame(int scene) { return kSceneFirstFrame[scene] + 1; }
const int lastCaptured = kShowFrames;  // scene 12 ends the show in frame 7536

std::string dir;  // the run's working directory
RunResult run;

Picture frame(int n) {
  char name[64];
  snprintf(name, sizeof name, "/capture/%010d.png", n - 1);
  Picture p = readPng(dir + name);
  EXPECT_TRUE(p.ok) << name;
  if (!p.ok) p.width = W, p.height = H, p.rgba.assign(W * H * 4, 0);  // fail, not crash
  return p;
}

// The frame t seconds into a scene: its first frame reads one 25 ms step.
Picture sceneAt(int scene, double seconds) { return frame(firstFrame(scene) - 1 + int(std::lround(seconds * 40))); }

using Test = std::function<bool(const uint8_t *)>;
int grey(const uint8_t *p) { return (p[0] * 30 + p[1] * 59 + p[2] * 11) / 100; }
int red(const Picture &p, int x, int y) { return p.at(x, y)[0]; }
int green(const Picture &p, int x, int y) { return p.at(x, y)[1]; }
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
double share(const Picture &p, double x0, double y0, double x1, double y1, const Test &test) {
  long hits = 0, all = 0;
  for (unsigned y = unsigned(y0 * p.height); y < unsigned(y1 * p.height); y++)
    for (unsigned x = unsigned(x0 * p.width); x < unsigned(x1 * p.width); x++, all++) hits += test(p.at(x, y));
  return all ? double(hits) / all : 0;
}
double share(const Picture &p, const Test &test) { return share(p, 0, 0, 1, 1, test); }
int corner(const Picture &p) { return grey(p.at(2, 2)); }
// The title "vy-01:the zembrit" sits left of centre on the middle row.
double inTitle(const Picture &p, const Test &test) { return share(p, 0.28, 0.43, 0.72, 0.52, test); }

// Right edge of the loader's bar (x at z = 10) in pixels.
double barEdge(double x) { return W / 2.0 * (1 + x / (40 * std::tan(M_PI / 8) * 1.25)); }
int rightmostWhite(const Picture &p, unsigned row) {
  int edge = -1;
  for (unsigned x = 0; x < p.width; x++)
    if (p.at(x, row)[0] == 255 && p.at(x, row)[1] == 255 && p.at(x, row)[2] == 255) edge = int(x);
  return edge;
}

void loader() {
  const std::string &out = run.out;
  EXPECT_EQ(out.substr(0, out.find("[*] zembrit engaged.\n")),
            "[*] vy-01 the zembrit.\n[*] Resolution set to 320x240:32@75\n");
  EXPECT_NE(out.find("\n[dev]Vendor: "), std::string::npos);
  // One stage a frame: start screen, the four pictures, then the particle
  // table, in this order among the capture lines.
  std::vector<std::string> order;
  for (const char *t : {"loader", "antenna", "commodore", "scroller", "greet"})
    order.push_back(std::string("[*] texture data/textures/") + t + ".tga loaded...\n");
  for (const char *l : {"[->] captured frame #1\n", "[->] captured frame #3\n", "x=0.000000 y=0.000000 z=0.000000 TTL=1.000000 velocity=",
                        "[->] captured frame #4\n", "[dev] scene 1 starts in frame 95\n", "[->] captured frame #95\n"})
    order.push_back(l);
  size_t at = 0;
  for (const std::string &l : order) {
    at = out.find(l, at);
    ASSERT_NE(at, std::string::npos) << l;
  }
  EXPECT_EQ(countLines(out, "x=0.000000 y=0.000000 z=0.000000 TTL=1.000000 velocity="), 100);
  EXPECT_EQ(countLines(out, "[!"), 0) << out.substr(0, 4000);  // shaders build cleanly, no warning
  EXPECT_EQ(countLines(out, "glm"), 0) << out.substr(0, 4000);  // the model's materials are all known
  // The bar's right edge lags one stage behind the work.
  const double edges[] = {-18.0, -13.0, -8.0, -3.0, 2.0, 7.0, 7.5};
  for (int n = 1; n <= 7; n++) EXPECT_NEAR(rightmostWhite(frame(n), H / 2), barEdge(edges[n - 1]), 1.5) << n;
  // The fade: from frame 29 on the picture keeps 90 % of the one before,
  // in linear light (Mesa's window buffer is sRGB-encoded, its
  // accumulation linear), seen on the white bar.
  auto linear = [](int v) {
    double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  for (int n : {29, 30, 31, 35, 40, 50})
    EXPECT_NEAR(linear(red(frame(n), W / 2, H / 2)) / std::pow(0.9, n - 29), 1.0, 0.03) << n;
}

void timeline() {
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.status, 0) << run.err.substr(0, 2000);
  // Scene 4 goes on with scene 3's clock: the two last 22.2 s together.
  for (int scene = 1; scene <= 12; scene++) {
    std::string l = "[dev] scene " + std::to_string(scene) + " starts in frame " + std::to_string(firstFrame(scene)) + "\n";
    EXPECT_NE(run.out.find(l), std::string::npos) << l;
  }
  EXPECT_EQ(countLines(run.out, "[dev] scene "), 12 + 12);  // 12 starts, 12 summaries
  // The frame that ends the show is neither captured nor reported.
  EXPECT_EQ(countLines(run.out, "[->] captured frame #"), lastCaptured);
  EXPECT_NE(run.out.find("[->] captured frame #" + std::to_string(lastCaptured) + "\n"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir + "/capture"), fs::directory_iterator{}), lastCaptured);
  EXPECT_FALSE(fs::exists(dir + "/capture/0000007535.png"));
}

// Scene 1: the presenting line cuts holes in the wire lattice without
// showing itself; scene 2: flashes and blinks of the background, the boxes
// always its inverse.
void scenes1And2() {
  const auto at = sceneAt;
  // Dark pixels of the lattice's middle columns in rows y0..y1-1.
  auto darkShare = [](const Picture &p, int y0, int y1) {
    int n = 0;
    for (int y = y0; y < y1; y++)
      for (int x = 140; x < 180; x++) n += green(p, x, y) <= 90;
    return double(n) / ((y1 - y0) * 40);
  };
  auto middleRange = [](const Picture &p) {
    int lo = 255, hi = 0;
    for (int y = H / 4; y < 3 * H / 4; y++)
      for (int x = W / 4; x < 3 * W / 4; x++) lo = std::min(lo, green(p, x, y)), hi = std::max(hi, green(p, x, y));
    return std::pair{lo, hi};
  };
  // At 3.5 s the line's small letters (white ones would fill the gaps)
  // hold several times the dark pixels of the rows above them.
  Picture p = at(1, 3.5);
  double letters = darkShare(p, H / 2 - 7, H / 2 - 1), above = darkShare(p, H / 2 - 19, H / 2 - 10);
  EXPECT_LT(above, 0.1);
  EXPECT_GT(letters, 0.15);
  EXPECT_GT(letters, 2.5 * above) << letters << " vs " << above;

  // Black background, lit white boxes before the first flash.
  Picture before = at(2, 3.0);
  EXPECT_LT(green(before, 2, 2), 10);
  EXPECT_GT(middleRange(before).second, 150);
  // The flash at 3.4 s shows white from the next frame, boxes dark; the
  // background falls back until the next flash at 3.6 s.
  Picture flash = at(2, 3.45);
  EXPECT_GT(green(flash, 2, 2), 220);
  EXPECT_LT(middleRange(flash).first, 60);
  EXPECT_LT(green(at(2, 3.6), 2, 2), 200);
  EXPECT_GT(green(at(2, 3.625), 2, 2), 220);
  EXPECT_EQ(green(at(2, 3.9), 2, 2), 0);
  // White from 5 s: the boxes and the plane are black on it.
  for (double t : {7.0, 11.0, 13.5}) {
    Picture w = at(2, t);
    EXPECT_GE(green(w, 2, 2), 250) << t;
    EXPECT_LT(middleRange(w).first, 30) << t;
  }
  // Two black blinks near the end, each back to white within ten frames.
  auto darkest = [&](double t0, double t1) {
    int d = 255;
    for (double t = t0; t < t1; t += 0.025) d = std::min(d, green(at(2, t), 2, 2));
    return d;
  };
  EXPECT_LT(darkest(13.6, 13.7), 100);
  EXPECT_LT(darkest(13.9, 14.05), 100);
  EXPECT_GE(green(at(2, 13.875), 2, 2), 250);
  EXPECT_GE(green(at(2, 14.4), 2, 2), 250);
}

// Scenes 3 to 7: the inversion, the light on the flat shapes, the white of
// the composited scenes and the wipe's black end.
void scenes3To7() {
  auto medianOfRow = [](const Picture &p, int y) {
    std::vector<int> v;
    for (int x = 0; x < W; x++) v.push_back(red(p, x, y));
    std::nth_element(v.begin(), v.begin() + W / 2, v.end());
    return v[W / 2];
  };
  // The clock first passes 15.5 s in frame 2290; the fade follows a frame
  // later and takes 17 frames, each clear showing the grey set before.
  Picture before = frame(2289), after = frame(2312);
  EXPECT_EQ(medianOfRow(before, 0), 255);
  // The sphere goes with the white: nothing but black along the top.
  for (int x = 0; x < W; x++) EXPECT_EQ(red(after, x, 0), 0) << x;
  // The front silhouette faces the light: mid grey 0.5 lit to 0.6.
  EXPECT_EQ(red(before, W / 2, 175), 153);
  // The plane, black on white before, white (lit) on black after.
  for (int y = 104; y <= 107; y++)
    for (int x = 60; x <= 70; x++) EXPECT_EQ(red(before, x, y), 0) << x << "," << y;
  for (int y = 87; y <= 90; y++)
    for (int x = 50; x <= 55; x++) EXPECT_GE(red(after, x, y), 250) << x << "," << y;
  // Scene 5 opens white, darkens by 0.01 a frame for 2 s to about 0.2, and
  // is back above white before its end; scene 6 is white (lit composite).
  EXPECT_EQ(red(frame(2556), 0, 0), 255);
  EXPECT_NEAR(red(frame(2636), 0, 0), 54, 2);
  for (int n : {2795, 2796, 2830, 2875}) {
    EXPECT_EQ(red(frame(n), 0, 0), 255) << n;
    EXPECT_EQ(red(frame(n), W - 1, H - 1), 255) << n;
  }
  // Halfway the wave's centre line is near the middle of the view; in the
  // last frame of scene 7 everything is black.
  Picture mid = frame(2876 + 40), end = frame(2935);
  EXPECT_EQ(red(mid, W / 2, 0), 255);
  EXPECT_LT(red(mid, W / 2, H - 1), 10);  // black under the white's glow
  EXPECT_EQ(share(end, [](const uint8_t *p) { return p[0] != 0; }), 0);
}

void scene09() {
  // Frames 1 to 100 grow the head out of view: no cube yet at 2 s.
  EXPECT_LT(share(sceneAt(9, 2.0), bluish), 0.0005);
  // At 10 s the ribbon spans the view: a broad band of blue cubes on white.
  Picture full = sceneAt(9, 10.0);
  EXPECT_GT(share(full, bluish), 0.03);
  EXPECT_GT(share(full, nearWhite), 0.3);
  // At 18.75 s only the black wire spheres (radius 20 of the view's half
  // width 25.9) remain on white.
  Picture after = sceneAt(9, 18.75);
  EXPECT_LT(share(after, bluish), 0.0005);
  EXPECT_GT(share(after, 0.3, 0.3, 0.7, 0.7, dark), 0.02);
  EXPECT_LT(share(after, 0, 0, 0.06, 1, dark) + share(after, 0.94, 0, 1, 1, dark), 0.001);
  EXPECT_GT(corner(after), 235);
}

void scene10() {
  // Inside the huge wire sphere: its lines cross every quarter of the view,
  // also once the inherited blur has run out (frame 91 on).
  for (double t : {1.0, 7.0}) {
    Picture inside = sceneAt(10, t);
    for (double x : {0.0, 0.5})
      for (double y : {0.0, 0.5})
        EXPECT_GT(share(inside, x, y, x + 0.5, y + 0.5, line), 0.05) << t << ": " << x << " " << y;
    EXPECT_GT(share(inside, nearWhite), 0.3) << t;
  }
  // At 24 s the spheres have shrunk to small inside-out ones at the centre.
  Picture gone = sceneAt(10, 24.0);
  EXPECT_GT(share(gone, nearWhite), 0.97);
  EXPECT_LT(share(gone, 0, 0, 1, 0.35, line) + share(gone, 0, 0.65, 1, 1, line), 0.0005);
}

void scene11() {
  // The plane starts just before the eye; the title is still transparent.
  Picture close = sceneAt(11, 0.3);
  EXPECT_GT(share(close, [](const uint8_t *p) { return grey(p) < 200; }), 0.05);
  EXPECT_LT(inTitle(close, dark), 0.005);
  // Before the hand-over the title is black on white, the plane long gone.
  Picture title = sceneAt(11, 4.8);
  EXPECT_GT(inTitle(title, ink), 0.015);
  EXPECT_LT(share(title, 0, 0, 1, 0.38, dark) + share(title, 0, 0.58, 1, 1, dark), 0.0005);
  EXPECT_GT(corner(title), 235);
}

void scene12() {
  // At 0.7 s the falling plane is 9 units above the black title, on white.
  Picture falling = sceneAt(12, 0.7);
  EXPECT_GT(inTitle(falling, ink), 0.015);
  EXPECT_GT(share(falling, 0.35, 0.12, 0.65, 0.42, [](const uint8_t *p) { return grey(p) < 240; }), 0.01);
  EXPECT_GT(corner(falling), 235);
  // From 5 s the background goes from white to black in 101 frames.
  int before = corner(sceneAt(12, 5.0)), during = corner(sceneAt(12, 6.25)), after = corner(sceneAt(12, 7.75));
  EXPECT_GT(before, 235);
  EXPECT_LT(during, before - 40);
  EXPECT_GT(during, after + 40);
  EXPECT_LT(after, 10);
  // Then the white title on black, up to the last captured frame.
  for (Picture end : {sceneAt(12, 15.0), frame(lastCaptured)}) {
    EXPECT_GT(inTitle(end, chalk), 0.03);
    EXPECT_LT(share(end, 0, 0, 1, 0.38, [](const uint8_t *p) { return grey(p) > 20; }), 0.0005);
  }
}

// Runs that start later, from a scene (-S) or a frame (-s), captured (-c)
// or streamed (-r, without the music the capture has not), give the whole
// run's frames, each within one level in every channel, under its names.
void laterStarts() {
  const int frames = 4;
  const struct {
    std::vector<std::string> args;
    int first;  // numbered from 0
  } rows[] = {
      {{"-c", "-S", "2"}, kSceneFirstFrame[2]},
      {{"-r", "v.raw", "-m", "-s", std::to_string(kSceneFirstFrame[2]) + ":" + std::to_string(kSceneFirstFrame[2] + frames)},
       kSceneFirstFrame[2]},
      {{"-c", "-S", "8:9"}, kSceneFirstFrame[8]},
      {{"-r", "v.raw", "-m", "-S", "8"}, kSceneFirstFrame[8]},
      {{"-c", "-s", "4400:4404"}, 4400},  // scene 9, blurred
      {{"-r", "v.raw", "-m", "-s", "4400:4404"}, 4400},
      {{"-c", "-s", "5000"}, 5000},
      {{"-r", "v.raw", "-m", "-s", "5000:5004"}, 5000},
  };
  for (const auto &row : rows) {
    std::string what;
    for (const std::string &a : row.args) what += a + " ";
    SCOPED_TRACE(what);
    const std::string later = makeWorkdir(true);
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {"-w", std::to_string(W), "-h", std::to_string(H)});
    // Stopped as its last frame wanted is reported: the signal lets the
    // frames being written finish.
    RunResult r = runProgram(args, later, 300, "[->] captured frame #" + std::to_string(row.first + frames) + "\n", 15);
    ASSERT_FALSE(r.timedOut) << r.out << r.err;
    EXPECT_EQ(r.out.find("[->] captured frame #" + std::to_string(row.first) + "\n"), std::string::npos);
    const bool raw = row.args[0] == "-r";
    const std::string stream = raw ? readFile(later + "/v.raw") : "";
    if (raw) {
      EXPECT_GE(stream.size(), size_t(W) * H * 3 * frames);
    }
    auto name = [](int n) {
      char s[32];
      snprintf(s, sizeof s, "%010d.png", n);
      return std::string(s);
    };
    if (!raw) {
      std::vector<std::string> files;
      for (const auto &e : fs::directory_iterator(later + "/capture")) files.push_back(e.path().filename());
      ASSERT_FALSE(files.empty());
      EXPECT_EQ(*std::min_element(files.begin(), files.end()), name(row.first));
    }
    for (int k = 0; k < frames; k++) {
      Picture whole = frame(row.first + k + 1), part;
      if (!raw) part = readPng(later + "/capture/" + name(row.first + k));
      ASSERT_TRUE(raw || part.ok) << name(row.first + k);
      int worst = 0;
      for (int i = 0; i < W * H; i++)
        for (int c = 0; c < 3; c++) {
          const int v = raw ? (uint8_t)stream[size_t(W) * H * 3 * k + 3 * i + c] : part.rgba[4 * i + c];
          worst = std::max(worst, std::abs(v - whole.rgba[4 * i + c]));
        }
      EXPECT_LE(worst, 1) << "frame " << row.first + k;
    }
    fs::remove_all(later);
  }
}

}  // namespace

TEST(Show, WholeRunHandsOverOnTimeAndEachSceneShowsItsPicture) {
  // Small frames keep this quick; frame numbers do not depend on size.
  dir = makeWorkdir(true);
  fs::create_directory(dir + "/capture");
  // Its 7535 frames wait for the 25 ms frame timer: 188 s at best, much
  // longer on a loaded machine.
  run = runProgram({"-c", "-t", "-w", "320", "-h", "240"}, dir, 1700);
  const std::pair<const char *, void (*)()> checks[] = {
      {"timeline", timeline}, {"loader", loader},   {"scenes 1 and 2", scenes1And2}, {"scenes 3 to 7", scenes3To7},
      {"scene 9", scene09},   {"scene 10", scene10}, {"scene 11", scene11},          {"scene 12", scene12},
      {"later starts", laterStarts},
  };
  for (auto &check : checks) {
    SCOPED_TRACE(check.first);
    check.second();
  }
  // The frames stay for a look when a check failed.
  if (testing::Test::HasFailure())
    printf("frames kept in %s/capture\n", dir.c_str());
  else
    fs::remove_all(dir);
}
