// Every data file broken in every way a user can break it, tried against the
// real program: each ends with its line and status, or goes on where the
// reader accepts what it got; nothing hangs or crashes. The gibson program,
// read 73 s into the show, is broken here in-process.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "funcs/text.h"
#include "harness/harness.h"
#include "shader.h"

namespace fs = std::filesystem;

namespace {

enum Break { MISSING, TRUNCATED, EMPTY, WRONG, DIRECTORY, DEVICE, FIFO, UNREADABLE };
const char *const BREAK_NAMES[] = {"missing", "truncated", "empty", "wrong format", "directory", "device",
                                   "fifo", "unreadable"};

const std::string SOURCE_DATA = std::string(VY_SOURCE_DIR) + "/data/";

// Another format of text: a PLY model. Its "format" line starts with f, which
// the OBJ reader takes as a face without corners.
const char *const PLY = "ply\nformat ascii 1.0\nelement vertex 3\nend_header\n0 0 0\n1 0 0\n0 1 0\n";

std::string truncated(const std::string &file) {
  std::string bytes = readFile(SOURCE_DATA + file);
  if (file == "models/toyplane.obj") {
    // Cut inside a face line: after its first corner and one digit.
    size_t face = bytes.find("\nf ", bytes.size() / 2);
    size_t corner = bytes.find(' ', face + 3);
    return bytes.substr(0, corner + 2);
  }
  return bytes.substr(0, bytes.size() / 2);
}

std::string wrongFormat(const std::string &file) {
  if (file == "models/toyplane.obj") return PLY;
  if (file == "models/toyplane.mtl") return readFile(SOURCE_DATA + "models/toyplane.obj");
  // The programs, pictures, the track and the font get a text.
  return readFile(SOURCE_DATA + "models/toyplane.mtl");
}

// Root reads a file of mode 000: its unreadable cases run as nobody, on a
// copy of the data and the program that nobody can reach.
const bool AS_NOBODY = geteuid() == 0;

// A working directory whose data/ links (copies, for nobody) every asset
// but `file`, which is made broken in the given way.
std::string brokenData(const std::string &file, Break how) {
  std::string dir = makeWorkdir(false);
  const bool copy = how == UNREADABLE && AS_NOBODY;
  fs::path source = SOURCE_DATA;
  for (auto &entry : fs::recursive_directory_iterator(source)) {
    std::string rel = fs::relative(entry.path(), source).string();
    fs::path target = fs::path(dir) / "data" / rel;
    if (entry.is_directory())
      fs::create_directories(target);
    else if (rel != file)
      copy ? (void)fs::copy_file(entry.path(), target) : fs::create_symlink(entry.path(), target);
  }
  std::string path = dir + "/data/" + file;
  switch (how) {
    case MISSING: break;
    case TRUNCATED: writeFile(path, truncated(file)); break;
    case EMPTY: writeFile(path, ""); break;
    case WRONG: writeFile(path, wrongFormat(file)); break;
    case DIRECTORY: fs::create_directory(path); break;
    case DEVICE: fs::create_symlink("/dev/zero", path); break;
    case FIFO: mkfifo(path.c_str(), 0600); break;
    case UNREADABLE: writeFile(path, readFile(SOURCE_DATA + file)); break;
  }
  if (copy) {
    fs::copy_file(VY_PROGRAM, dir + "/vy01");
    for (auto &entry : fs::recursive_directory_iterator(dir)) EXPECT_EQ(lchown(entry.path().c_str(), 65534, 65534), 0);
    EXPECT_EQ(chown(dir.c_str(), 65534, 65534), 0);
  }
  if (how == UNREADABLE) chmod(path.c_str(), 0);
  return dir;
}

// A row expects an exit with `status` and `line`, or (GOES_ON) the run
// reaching `until` with `line` (if any) on standard output.
const int GOES_ON = -1;
struct Row {
  std::string file;
  Break how;
  bool music;
  int status;
  std::string line;
  bool onStderr = false;
  std::string until = "[dev] scene 1 starts";
};

void tryRow(const Row &row) {
  std::string what = row.file + " " + BREAK_NAMES[row.how] + (row.music ? "" : " -m");
  std::string dir = brokenData(row.file, row.how);
  // Without music the frames need not wait for the timer.
  std::vector<std::string> args = {"-t", "-w", "160", "-h", "120"};
  if (!row.music) args.insert(args.end(), {"-m", "-r", "/dev/null"});
  RunResult r = runProgram(args, dir, 60, row.status == GOES_ON ? row.until : "", SIGKILL,
                           row.how == UNREADABLE);
  EXPECT_FALSE(r.timedOut) << what;
  if (row.status == GOES_ON) {
    EXPECT_TRUE(r.stopped) << what << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find(row.line), std::string::npos) << what << "\n" << r.out;
  } else {
    EXPECT_EQ(r.status, row.status) << what << "\n" << r.out << r.err;
    const std::string &stream = row.onStderr ? r.err : r.out;
    EXPECT_NE(stream.find(row.line), std::string::npos) << what << "\n" << stream;
    EXPECT_EQ(r.out.find("[dev] scene 1 starts"), std::string::npos) << what;
  }
  fs::remove_all(dir);
}

std::vector<Row> pictureRows(Break how) {
  std::vector<Row> rows;
  for (const char *name : {"loader", "antenna", "commodore", "scroller", "greet"}) {
    std::string p = std::string("data/textures/") + name + ".tga";
    std::string line = how == TRUNCATED           ? "[!] Unable to allocate memory for tga " + p + "...\n"
                       : how == EMPTY || how == WRONG ? "[!] Unable to load " + p
                                                      : "[! " + p + "] file not found \n";
    rows.push_back({p.substr(5), how, false, 255, line});
  }
  return rows;
}

std::vector<Row> rowsFor(Break how) {
  const bool opens = how == TRUNCATED || how == EMPTY || how == WRONG;
  const std::string bloom = "data/shader/glsl/bloom.glsl";
  std::vector<Row> rows = pictureRows(how);
  // The model; an empty one has no faces: nothing to draw.
  if (how == EMPTY)
    rows.push_back({"models/toyplane.obj", how, false, GOES_ON, ""});
  else
    rows.push_back({"models/toyplane.obj", how, false, 1,
                    std::string("glmReadOBJ() failed: ") + (opens ? "incomplete face in" : "can't open data file") +
                        " \"data/models/toyplane.obj\".\n", true});
  // Its library: materials that are not there are warned about.
  if (!opens)
    rows.push_back({"models/toyplane.mtl", how, false, 1,
                    "glmReadMTL() failed: can't open material file \"data/models/toyplane.mtl\".\n", true});
  else
    rows.push_back({"models/toyplane.mtl", how, false, GOES_ON,
                    std::string("glmFindMaterial():  can't find material \"") + (how == TRUNCATED ? "blade" : "body") + "\".\n"});
  // The bloom program: a source that does not compile is reported, and the
  // show goes on without the glow.
  if (!opens)
    rows.push_back({"shader/glsl/bloom.glsl", how, false, 255, "[!] Couldn't read file " + bloom + "...\n"});
  else
    rows.push_back({"shader/glsl/bloom.glsl", how, false, GOES_ON, "[!] compiling of " + bloom + " failed"});
  // The track, with music on (a truncated one plays what there is); with -m
  // it is never opened.
  const std::string fmod = how == UNREADABLE ? "(19) "
                           : !opens         ? "(23) File not found. \n"
                                            : "(25) Unsupported file or audio format. \n";
  if (how == TRUNCATED)
    rows.push_back({"tune/vy-03.mp3", how, true, GOES_ON, ""});
  else
    rows.push_back({"tune/vy-03.mp3", how, true, 255, "[!] FMOD error! " + fmod});
  rows.push_back({"tune/vy-03.mp3", how, false, GOES_ON, ""});
  // The font, on scene 1's first frame: reported, and the show goes on.
  const std::string font = "[! data/fonts/crounded.ttf] font not loaded, text is not drawn\n";
  rows.push_back({"fonts/crounded.ttf", how, false, GOES_ON, font, false, font});
  return rows;
}

// In a fresh process (the routines build once): `body` in `dir` with a GL
// window, standard output sent to standard error for the death test.
template <class F>
void inDirectoryWithGl(const std::string &dir, F body, Break how) {
  ensureDisplay();
  if (how == UNREADABLE) becomeNobody();
  if (chdir(dir.c_str()) != 0) _exit(126);
  ensureGlContext(64, 64);
  fflush(stdout);
  dup2(2, 1);
  body();
  fflush(stdout);
  exit(0);
}

const Break EVERY_BREAK[] = {MISSING, TRUNCATED, EMPTY, WRONG, DIRECTORY, DEVICE, FIFO, UNREADABLE};

}  // namespace

// Each way of breaking the files, as its own test. Opening a FIFO waits for
// a writer; no reader may get that far.
class BadFiles : public testing::TestWithParam<Break> {};

TEST_P(BadFiles, EndWithTheirLineOrGoOn) {
  for (const Row &row : rowsFor(GetParam())) tryRow(row);
}

INSTANTIATE_TEST_SUITE_P(Every, BadFiles, testing::ValuesIn(EVERY_BREAK), [](const auto &info) {
  std::string name = BREAK_NAMES[info.param];
  name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
  return name;
});

// Suites named *DeathTest run first, before this process makes GL threads.
// The font is reported once and draws nothing; the gibson program that
// cannot be read ends the run, one that does not compile is reported.
TEST(BadFilesDeathTest, FontAndGibsonProgramInProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (Break how : EVERY_BREAK) {
    std::string dir = brokenData("fonts/crounded.ttf", how);
    EXPECT_EXIT(inDirectoryWithGl(
                    dir, [] { for (int i = 0; i < 3; i++) drawText("vy-01", 0, 0, 0, 1); }, how),
                testing::ExitedWithCode(0),
                "^\\[! data/fonts/crounded\\.ttf\\] font not loaded, text is not drawn\n$")
        << BREAK_NAMES[how];
    fs::remove_all(dir);
    dir = brokenData("shader/glsl/gibson_frag.glsl", how);
    const bool opens = how == TRUNCATED || how == EMPTY || how == WRONG;
    auto firstCall = [] {
      glsl_gibson_frag(1);
      glsl_gibson_frag(0);
    };
    EXPECT_EXIT(inDirectoryWithGl(dir, firstCall, how), testing::ExitedWithCode(opens ? 0 : 255),
                opens ? "^\\[!\\] compiling of data/shader/glsl/gibson_frag\\.glsl failed"
                      : "^\\[!\\] Couldn't read file data/shader/glsl/gibson_frag\\.glsl\\.\\.\\.\n$")
        << BREAK_NAMES[how];
    fs::remove_all(dir);
  }
}
