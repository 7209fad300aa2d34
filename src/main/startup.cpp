// Entry, command line, time base and the GLUT callbacks.
#include "main/startup.h"

#include <GL/glew.h>
#include <GL/freeglut.h>
#include <X11/Xlib.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "main/capture.h"
#include "main/capturesignals.h"
#include "main/pngwriter.h"
#include "main/driver.h"
#include "main/rawstream.h"
#include "main/showrange.h"

int CAPTURE = 0;
int SOUND_ON = 1;
int TIMING = 0;
const char *RAW_PATH = nullptr;
int RAW_YUV = 0;
int globalWidth = 0;
int globalHeight = 0;

static const char *const TITLE = "vy-01 the zembrit.";

// A bad value of one of our own options ends the run before anything opens.
[[noreturn]] static void refuseOption(const char *line) {
  fprintf(stderr, "[!] %s\n", line);
  exit(2);
}

// Read as atoi reads (blanks, a sign, digits, the rest ignored), except that
// a number beyond int saturates instead of wrapping round to another size;
// a negative size is refused.
static int readSize(const char *option, const char *value) {
  long long v = strtoll(value, nullptr, 10);
  if (v < 0) {
    char line[128];
    snprintf(line, sizeof line, "%s %.40s: a size cannot be negative", option, value);
    refuseOption(line);
  }
  return v > INT_MAX ? INT_MAX : (int)v;
}

StartOptions parseOptions(int argc, char **argv) {
  StartOptions o;
  // Every position is compared with every option: a value after -w or -h
  // is not skipped, it just matches nothing.
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "-w") == 0 && o.width == 0 && i + 1 < argc) o.width = readSize("-w", argv[i + 1]);
    if (strcmp(argv[i], "-h") == 0 && o.height == 0 && i + 1 < argc) o.height = readSize("-h", argv[i + 1]);
    if (strcmp(argv[i], "-f") == 0) o.fullscreen = 1;
    if (strcmp(argv[i], "-c") == 0) CAPTURE = 1;
    if (strcmp(argv[i], "-m") == 0) SOUND_ON = 0;
    if (strcmp(argv[i], "-t") == 0) TIMING = 1;
    if (strcmp(argv[i], "-T") == 0) o.timeline = 1;
    if (strcmp(argv[i], "-y") == 0) RAW_YUV = 1;
    // -r writes a file: a missing name, or an option where the name should
    // be, must not start a run that writes somewhere unintended.
    if (strcmp(argv[i], "-r") == 0 && !RAW_PATH) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') refuseOption("-r needs the name of the file for the raw frames");
      if (argv[i + 1][0] == '-') {
        char line[128];
        snprintf(line, sizeof line, "-r needs the name of the file for the raw frames, not the option %.40s", argv[i + 1]);
        refuseOption(line);
      }
      RAW_PATH = argv[i + 1];
      CAPTURE = 1;
    }
    if (strcmp(argv[i], "-s") == 0 && !o.range) o.range = i + 1 < argc ? argv[i + 1] : "";
    if (strcmp(argv[i], "-S") == 0 && !o.scenes) o.scenes = i + 1 < argc ? argv[i + 1] : "";
  }
  if (RAW_YUV && !RAW_PATH) refuseOption("-y goes with -r: it sets the raw frames' format");
  if (o.width != 0 && o.height != 0) {
    snprintf(o.gameMode, sizeof o.gameMode, "%dx%d:32@75", o.width, o.height);
    printf("[*] Resolution set to %s\n", o.gameMode);
  } else {
    // One size alone is not enough: both fall back to the defaults.
    o.width = 1024;
    o.height = 768;
    strcpy(o.gameMode, "1280x1024:32@75");
    puts("[*] Resolution set to default becouse nothing else was given");
  }
  return o;
}

static int frames = 0;  // getTime calls on the capture clock
// A live run with a later start runs up to it on the capture clock; real
// time then goes on from the reading the capture clock would give next, so
// the start's frame reads what it reads on the capture clock.
static bool realTime = false;  // the start is reached
static int realTimeFrom = 0, realTimeSince = 0;

int captureClockMillis() { return frames * 25; }

bool onCaptureClock() { return CAPTURE == 1 || (rangeFirst > 0 && !realTime); }

void continueInRealTime() {
  if (!onCaptureClock() || CAPTURE == 1) return;
  realTime = true;
  realTimeFrom = (frames + 1) * 25;
  realTimeSince = glutGet(GLUT_ELAPSED_TIME);
}

int getTime() {
  if (onCaptureClock()) {
    frames++;
    return frames * 25;
  }
  return realTimeFrom + glutGet(GLUT_ELAPSED_TIME) - realTimeSince;
}

void initRendering() {
  glutSetCursor(GLUT_CURSOR_NONE);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_COLOR_MATERIAL);
  glEnable(GL_NORMALIZE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glewInit();
  printf("[dev]Vendor: %s\n", (const char *)glGetString(GL_VENDOR));
  printf("[dev] vy01 %s\n", VY01_VERSION);
}

void handleKeypress(unsigned char key, int, int) {
  if (key == 27) {
    glutLeaveGameMode();
    exit(0);
  }
}

void handleResize(int width, int height) {
  globalWidth = width;
  globalHeight = height;
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glClear(GL_ACCUM_BUFFER_BIT);
  glLoadIdentity();
  // A fixed aspect whatever the window's shape.
  gluPerspective(45.0, 1.25, 1.0, 200.0);
}

void update(int) {
  glutPostRedisplay();
  glutTimerFunc(25, update, 0);
}

// Many displays (and every virtual one) cannot switch modes; the show then
// runs in a full-screen window instead of ending before its first frame.
// Under Xwayland (GNOME's and KDE's X programs) modes are only emulated,
// and asking for one has crashed the server; the full-screen window is
// what such a desktop gives anyway.
static bool onXwayland() {
  Display *display = XOpenDisplay(nullptr);
  if (!display) return false;
  int opcode = 0, event = 0, error = 0;
  const bool xwayland = XQueryExtension(display, "XWAYLAND", &opcode, &event, &error);
  XCloseDisplay(display);
  return xwayland;
}

static void openFullScreen(const char *gameMode) {
  glutGameModeString(gameMode);
  if (!onXwayland() && glutEnterGameMode() != 0 && glutGameModeGet(GLUT_GAME_MODE_ACTIVE)) return;
  printf("[!] game mode %s is not available, using a full-screen window\n", gameMode);
  glutInitWindowSize(glutGet(GLUT_SCREEN_WIDTH), glutGet(GLUT_SCREEN_HEIGHT));
  glutCreateWindow(TITLE);
  glutFullScreen();
}

// Runs first among the exit handlers (registered after GLUT's): GLUT's own
// teardown destroys the GL context in the middle of a frame, which under
// software GL can crash or hang the exit. The output is flushed, a game mode
// is left so the desktop gets its resolution back, and the process ends
// with the status exit() was given.
static bool glutFailed = false;  // GLUT's state is gone: ask it nothing more

static void endQuietly(int status, void *) {
  if (!glutFailed && glutGameModeGet(GLUT_GAME_MODE_ACTIVE)) glutLeaveGameMode();
  fflush(stdout);
  fflush(stderr);
  _exit(status);
}

// GLUT's fatal errors (no display, no visual it can use) would end the run
// with status 1 and GLUT's internal wording; they end it as our own fatal
// errors do, with one line that says what the display lacks.
static void failGlut(const char *format, va_list args) {
  char what[256];
  vsnprintf(what, sizeof what, format, args);
  glutFailed = true;
  if (strstr(what, "capabilities not found")) {
    const char *display = getenv("DISPLAY");
    printf("[!] the display %s has no visual with RGBA colour, a double buffer and a depth buffer: no window can "
           "be opened\n",
           display ? display : "(none)");
  } else {
    printf("[!] no window can be opened: %s\n", what);
  }
  exit(-1);
}

// The window's size must be one this GL can draw, and with -c one a
// captured frame can hold; anything larger crashes or hangs in the first
// frames instead.
static void checkWindowSize(int width, int height) {
  GLint viewport[2] = {0, 0}, texture = 0;
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
  char line[200];
  if (width > viewport[0] || height > viewport[1])
    snprintf(line, sizeof line, "%dx%d is larger than this GL can draw: GL_MAX_VIEWPORT_DIMS is %dx%d", width, height,
             viewport[0], viewport[1]);
  else if (width > texture || height > texture)
    snprintf(line, sizeof line, "%dx%d is larger than this GL can draw: GL_MAX_TEXTURE_SIZE is %d", width, height,
             texture);
  else if (width < 2 || height < 2)
    // GLUT never draws a window one pixel wide or high: the run would wait for good.
    snprintf(line, sizeof line, "%dx%d is smaller than the show can draw: a window is at least 2x2", width, height);
  else if (CAPTURE && !RAW_PATH && (width > kCaptureMaxWidth || height > kCaptureMaxHeight))
    snprintf(line, sizeof line, "%dx%d is larger than -c can keep: a captured frame is at most %dx%d", width, height,
             kCaptureMaxWidth, kCaptureMaxHeight);
  else
    return;
  refuseOption(line);
}

// Raw frames sent to standard output (-r /dev/stdout, or the file standard
// output goes to) must not get the console lines among them: those go to
// standard error instead, and the frames to standard output's own file.
// The first -r decides, as in parseOptions. A device (/dev/null) keeps no
// order to spoil.
static void keepConsoleOutOfFrames(int argc, char **argv) {
  for (int i = 1; i + 1 < argc; i++) {
    if (strcmp(argv[i], "-r") != 0) continue;
    struct stat raw, out;
    if (stat(argv[i + 1], &raw) == 0 && fstat(1, &out) == 0 && raw.st_dev == out.st_dev &&
        raw.st_ino == out.st_ino && !S_ISCHR(out.st_mode)) {
      rawStreamFd = fcntl(1, F_DUPFD_CLOEXEC, 3);
      if (rawStreamFd >= 0) dup2(2, 1);
    }
    return;
  }
}

int runProduction(int argc, char **argv) {
  keepConsoleOutOfFrames(argc, argv);
  // Line-buffered, so progress lines reach a pipe as they happen.
  setvbuf(stdout, nullptr, _IOLBF, 0);
  puts("[*] vy-01 the zembrit.");
  StartOptions o = parseOptions(argc, argv);
  applyRange(o.range, o.scenes);
  if (o.timeline) {
    printTimeline();
    exit(0);
  }
  if (CAPTURE) stopCaptureOnSignals();
  puts("[*] zembrit engaged.");
  glutInitErrorFunc(failGlut);
  glutInit(&argc, argv);
  on_exit(endQuietly, nullptr);
  // No accumulation buffer: the motion blur is our own arithmetic, and most
  // displays today (current Mesa, NVIDIA, Xwayland) offer no visual with one.
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  if (o.fullscreen) {
    openFullScreen(o.gameMode);
  } else {
    glutInitWindowSize(o.width, o.height);
    glutCreateWindow(TITLE);
  }
  initRendering();
  if (!o.fullscreen) checkWindowSize(o.width, o.height);
  glutDisplayFunc(drawScene);
  glutKeyboardFunc(handleKeypress);
  glutReshapeFunc(handleResize);
  glutTimerFunc(25, update, 0);
  glutMainLoop();
  return 0;
}
