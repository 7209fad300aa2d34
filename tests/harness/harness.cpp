#include "harness/harness.h"

#include <GL/glew.h>
#include <GL/glut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "main/startup.h"

namespace {

pid_t xvfbPid = 0;
std::string displayName;

void stopOwnXvfb() {
  if (xvfbPid > 0) {
    kill(xvfbPid, SIGTERM);
    waitpid(xvfbPid, nullptr, 0);
    xvfbPid = 0;
  }
}

}  // namespace

XServer startXvfb(const std::vector<std::string> &extra) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid == 0) {
    // Xvfb must not outlive the test, even when the test crashes.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    close(fds[0]);
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    dup2(devnull, 2);
    std::string fd = std::to_string(fds[1]);
    std::vector<const char *> argv = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
                                      "-nolisten", "tcp", "-noreset"};
    for (const auto &a : extra) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    execvp("Xvfb", const_cast<char *const *>(argv.data()));
    _exit(127);
  }
  close(fds[1]);
  // Xvfb writes the display number it chose once it accepts connections.
  std::string number;
  char c;
  struct pollfd p = {fds[0], POLLIN, 0};
  while (poll(&p, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    throw std::runtime_error("Xvfb did not start");
  }
  return {pid, ":" + number};
}

void stopXvfb(XServer &server) {
  if (server.pid > 0) {
    kill(server.pid, SIGTERM);
    waitpid(server.pid, nullptr, 0);
    server.pid = 0;
  }
}

std::string ensureDisplay() {
  if (!displayName.empty()) return displayName;
  const XServer server = startXvfb();
  xvfbPid = server.pid;
  atexit(stopOwnXvfb);
  displayName = server.display;
  setenv("DISPLAY", displayName.c_str(), 1);
  return displayName;
}

// Asking GLUT for a buffer the display lacks ends the process, so ask the
// display first.
static bool displayOffersAccum() {
  Display *display = XOpenDisplay(nullptr);
  if (!display) return false;
  const int wanted[] = {GLX_RENDER_TYPE, GLX_RGBA_BIT, GLX_DOUBLEBUFFER, True, GLX_DEPTH_SIZE, 1,
                        GLX_ACCUM_RED_SIZE, 1, None};
  int count = 0;
  GLXFBConfig *configs = glXChooseFBConfig(display, DefaultScreen(display), wanted, &count);
  if (configs) XFree(configs);
  XCloseDisplay(display);
  return count > 0;
}

void ensureGlContext(int width, int height, bool withAccum) {
  static bool made = false;
  if (made) return;
  ensureDisplay();
  int argc = 1;
  char name[] = "vytest";
  char *argv[] = {name, nullptr};
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH | (withAccum && displayOffersAccum() ? GLUT_ACCUM : 0));
  glutInitWindowSize(width, height);
  glutCreateWindow("vytest");
  initRendering();
  handleResize(width, height);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  made = true;
}

void startWindowFrame(int width, int height, float r, float g, float b) {
  ensureGlContext(width, height);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  glClearColor(r, g, b, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0, 0, -50);
}

std::vector<uint8_t> readPixelsRGB(int x, int y, int width, int height) {
  std::vector<uint8_t> px(size_t(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, px.data());
  return px;
}

std::vector<Primitive> feedback(const std::function<void()> &fn, unsigned type) {
  ensureGlContext(320, 240);
  static std::vector<GLfloat> buffer(1 << 21);
  glViewport(0, 0, 1000, 1000);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(-50, 50, -50, 50, -100, 100);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glFeedbackBuffer(GLsizei(buffer.size()), type, buffer.data());
  glRenderMode(GL_FEEDBACK);
  fn();
  const GLint used = glRenderMode(GL_RENDER);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  if (used < 0) throw std::runtime_error("feedback buffer overflow");
  const int values = type == GL_3D_COLOR ? 7 : 3;
  std::vector<Primitive> prims;
  for (GLint at = 0; at < used;) {
    const GLfloat token = buffer[at++];
    const bool line = token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN;
    if (!line && token != GL_POLYGON_TOKEN) throw std::runtime_error("unexpected feedback token");
    prims.emplace_back(line ? 2 : int(buffer[at++]));
    for (auto &v : prims.back()) v.assign(&buffer[at], &buffer[at + values]), at += values;
  }
  return prims;
}

// Only the effective ids: files are opened as nobody, while the real root
// may still stop its own Xvfb.
void becomeNobody() {
  if (geteuid() != 0) return;
  if (setgroups(0, nullptr) != 0 || setegid(65534) != 0 || seteuid(65534) != 0) _exit(125);
}

RunResult runProgram(const std::vector<std::string> &args, const std::string &workdir,
                     int timeoutSeconds, const std::string &stopWhen, int stopSignal,
                     bool asNobody) {
  ensureDisplay();
  // Output goes to files: a pipe could fill up and stall a chatty program.
  std::string outPath = workdir + "/.stdout", errPath = workdir + "/.stderr";
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (chdir(workdir.c_str()) != 0) _exit(126);
    int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, 1);
    dup2(e, 2);
    std::vector<char *> argv;
    std::string prog = VY_PROGRAM;
    if (asNobody && geteuid() == 0) {
      prog = workdir + "/vy01";
      setenv("HOME", workdir.c_str(), 1);
      if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(125);
      prctl(PR_SET_PDEATHSIG, SIGKILL);  // cleared by the change of user
    }
    argv.push_back(prog.data());
    std::vector<std::string> copy = args;
    for (auto &a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    setenv("ALSOFT_LOGLEVEL", "0", 1);
    execv(prog.c_str(), argv.data());
    _exit(127);
  }
  RunResult r;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int status = 0;
  for (;;) {
    pid_t w = waitpid(pid, &status, WNOHANG);
    if (w == pid) break;
    r.stopped = !stopWhen.empty() && readFile(outPath).find(stopWhen) != std::string::npos;
    r.timedOut = !r.stopped && std::chrono::steady_clock::now() > deadline;
    if (r.stopped || r.timedOut) {
      kill(pid, r.stopped ? stopSignal : SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    usleep(stopWhen.empty() ? 20000 : 100000);
  }
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = readFile(outPath);
  r.err = readFile(errPath);
  return r;
}

// What of session sid still runs (zombies are dead: where init does not
// reap, the orphans of a killed process stay in the table).
static std::string sessionLeft(pid_t sid) {
  const std::string meta = makeWorkdir(false);
  std::system(("ps -o pid=,stat=,args= -s " + std::to_string(sid) + " | awk '$2 !~ /^Z/' >'" + meta + "/left'").c_str());
  std::string left = readFile(meta + "/left");
  std::system(("rm -rf '" + meta + "'").c_str());
  return left;
}

ShellRun runShell(const std::string &dir, const std::string &cmd, std::string *leftOver, const std::string &when,
                  int sig, bool toGroup, int settleSeconds) {
  const std::string meta = makeWorkdir(false);
  const std::string outPath = meta + "/out", errPath = meta + "/err";
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, 1);
    dup2(e, 2);
    if (chdir(dir.c_str()) != 0) _exit(99);
    execl("/bin/sh", "sh", "-c", cmd.c_str(), (char *)nullptr);
    _exit(127);
  }
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(600);
  struct stat st;
  while (waitpid(pid, &status, WNOHANG) != pid) {
    if (sig && stat(when.c_str(), &st) == 0) {
      kill(toGroup ? -pid : pid, sig);
      sig = 0;
    }
    if (std::chrono::steady_clock::now() > deadline) kill(-pid, SIGKILL);
    usleep(50000);
  }
  ShellRun r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = readFile(outPath);
  r.err = readFile(errPath);
  std::system(("rm -rf '" + meta + "'").c_str());
  if (leftOver) {
    *leftOver = sessionLeft(pid);
    for (int i = 0; i < settleSeconds * 10 && !leftOver->empty(); ++i) {
      usleep(100000);
      *leftOver = sessionLeft(pid);
    }
  }
  return r;
}

std::string makeWorkdir(bool withData) {
  char tmpl[] = "/tmp/vytest.XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  std::string dir = tmpl;
  if (withData) {
    std::string target = std::string(VY_SOURCE_DIR) + "/data";
    if (symlink(target.c_str(), (dir + "/data").c_str()) != 0)
      throw std::runtime_error("symlink failed");
  }
  return dir;
}

void writeFile(const std::string &path, const std::string &bytes) {
  std::ofstream f(path, std::ios::binary);
  f << bytes;
}

std::string readFile(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

int countLines(const std::string &text, const std::string &prefix) {
  int n = 0;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, prefix.size(), prefix) == 0) ++n;
  return n;
}
