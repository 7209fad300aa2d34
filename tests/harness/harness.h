// Test harness: a private Xvfb per test process, an in-process GL context,
// running the real program, small file helpers.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Starts Xvfb on a free display (once per process; it dies with the process)
// and points DISPLAY at it. Returns the display name, e.g. ":5".
std::string ensureDisplay();

// Another Xvfb, with extra arguments (say "-extension", "GLX"); it dies
// with the process, or by stopXvfb.
struct XServer {
  int pid = 0;
  std::string display;
};
XServer startXvfb(const std::vector<std::string> &extra = {});
void stopXvfb(XServer &server);

// One GLUT window with the production's visual and GL state, made by the
// first call at its size; later calls reuse it. withAccum: also an
// accumulation buffer, where the display offers a visual with one (the
// production asks for none).
void ensureGlContext(int width = 1024, int height = 768, bool withAccum = false);

// The window's framebuffer bound and cleared to the colour, the modelview
// at the production's fixed camera (50 back).
void startWindowFrame(int width, int height, float r, float g, float b);

// Reads back the back buffer as tightly packed RGB rows, bottom row first.
std::vector<uint8_t> readPixelsRGB(int x, int y, int width, int height);

// What fn sends through GL feedback of the given type (GL_3D: x y z a
// vertex; GL_3D_COLOR: x y z r g b a), lines and polygons, each as its
// vertices' values, under an orthographic view of 10 pixels a unit centred
// on 500, 500; window depth 0..1 stands for z from 100 to -100.
using Primitive = std::vector<std::vector<float>>;
std::vector<Primitive> feedback(const std::function<void()> &fn, unsigned type);

struct RunResult {
  int status = -1;      // exit status, or 128 + signal
  bool timedOut = false;
  bool stopped = false;   // killed on purpose after stopWhen appeared
  std::string out;      // standard output
  std::string err;      // standard error
};

// Runs the real program in workdir on the harness's display; killed after
// timeoutSeconds, or sent stopSignal (then "stopped") once its standard
// output holds stopWhen. asNobody (when root): workdir/vy01 as nobody, for
// files root could read whatever their mode.
RunResult runProgram(const std::vector<std::string> &args, const std::string &workdir,
                     int timeoutSeconds = 120, const std::string &stopWhen = "", int stopSignal = 9,
                     bool asNobody = false);

// A shell command run for a script test: sh -c cmd in dir, in a session of
// its own, output to files. Once the file `when` exists the shell gets sig
// (toGroup: its whole process group, as Ctrl-C sends it); cmd should exec
// the script for the signal to reach it. leftOver gets the ps lines of what
// of the session still runs after it ended, allowing settleSeconds for it
// to go. Killed after 600 s.
struct ShellRun {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};
ShellRun runShell(const std::string &dir, const std::string &cmd, std::string *leftOver = nullptr,
                  const std::string &when = "", int sig = 0, bool toGroup = false, int settleSeconds = 0);

// When root, opens files as user and group nobody from now on.
void becomeNobody();

// A fresh temporary directory; with data, it holds a link to the built
// assets, so the program finds data/ relative to it.
std::string makeWorkdir(bool withData = true);
void writeFile(const std::string &path, const std::string &bytes);
std::string readFile(const std::string &path);
int countLines(const std::string &text, const std::string &prefix);

// A PNG file decoded to 8-bit RGBA rows, top row first.
struct Picture {
  bool ok = false;
  unsigned width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;  // as stored in the file
  std::vector<uint8_t> rgba;
  const uint8_t *at(unsigned x, unsigned y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};
Picture readPng(const std::string &path);
