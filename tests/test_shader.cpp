// The fragment programs: built once, switched by mode, failures visible,
// and the real glow respecting the caller's colour and alpha.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "funcs/quads.h"
#include "harness/harness.h"
#include "shader.h"

namespace fs = std::filesystem;

namespace {

GLint currentProgram() {
  GLint p = -1;
  glGetIntegerv(GL_CURRENT_PROGRAM, &p);
  return p;
}

const char *PASS_THROUGH = "uniform sampler2D t; void main() { gl_FragColor = texture2D(t, gl_TexCoord[0].st) * gl_Color; }\n";

// The switch functions read data/shader/glsl/ relative to the working
// directory: give each test process one of its own.
std::string shaderDir() {
  static std::string dir;
  if (dir.empty()) {
    dir = makeWorkdir(false);
    fs::create_directories(dir + "/data/shader/glsl");
    if (chdir(dir.c_str()) != 0) ADD_FAILURE() << "chdir";
  }
  return dir + "/data/shader/glsl/";
}

}  // namespace

TEST(ReadFile, MissingFileIsFatal) {
  std::string path = makeWorkdir(false) + "/nothing.glsl";
  EXPECT_EXIT((dup2(2, 1), readFile(path.c_str())), testing::ExitedWithCode(255),
              "^\\[!\\] Couldn't read file .*/nothing\\.glsl\\.\\.\\.\n$");
}

TEST(Shaders, BuiltOnceSwitchedByMode) {
  std::string dir = shaderDir();
  writeFile(dir + "bloom.glsl", PASS_THROUGH);
  ensureGlContext();
  glUseProgramObjectARB(0);
  testing::internal::CaptureStdout();
  glsl_bloom_shader(0);  // first call builds and stays fixed-function
  EXPECT_EQ(currentProgram(), 0);
  // Changing the file afterwards changes nothing: it was read once.
  writeFile(dir + "bloom.glsl", "this is not GLSL");
  glsl_bloom_shader(1);
  GLint program = currentProgram();
  EXPECT_NE(program, 0);
  glsl_bloom_shader(0);
  EXPECT_EQ(currentProgram(), 0);
  glsl_bloom_shader(2);
  EXPECT_EQ(currentProgram(), program);
  glsl_bloom_shader(0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  GLint linked = 0;
  glGetObjectParameterivARB(GLhandleARB(program), GL_OBJECT_LINK_STATUS_ARB, &linked);
  EXPECT_EQ(linked, 1);
}

TEST(Shaders, BrokenSourceIsReportedAndTheShowGoesOn) {
  std::string dir = shaderDir();
  writeFile(dir + "gibson_frag.glsl", "void main() { gl_FragColor = undefined_thing; }\n");
  ensureGlContext();
  testing::internal::CaptureStdout();
  glsl_gibson_frag(1);
  glsl_gibson_frag(0);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("[!] compiling of data/shader/glsl/gibson_frag.glsl failed: "), std::string::npos) << out;
  EXPECT_NE(out.find("[!] linking of data/shader/glsl/gibson_frag.glsl failed: "), std::string::npos) << out;
  EXPECT_EQ(currentProgram(), 0);
}

// The real glow over a black picture with one white square: light spreads
// around the square, and the caller's alpha switches it off.
TEST(Shaders, BloomGlowsAroundBrightShapesByCallerAlpha) {
  std::string dir = shaderDir();
  fs::copy_file(std::string(VY_SOURCE_DIR) + "/data/shader/glsl/bloom.glsl", dir + "../bloom-real.glsl");
  ensureGlContext(1024, 768);
  const int N = 256;
  std::vector<unsigned char> texels(N * N * 3, 0);
  for (int y = 118; y < 138; y++)
    for (int x = 118; x < 138; x++)
      for (int c = 0; c < 3; c++) texels[(y * N + x) * 3 + c] = 255;
  GLuint tex;
  glGenTextures(1, &tex);
  glBindTexture(GL_TEXTURE_2D, tex);
  glTexImage2D(GL_TEXTURE_2D, 0, 4, N, N, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
  GLhandleARB shader = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
  char *source = readFile((dir + "../bloom-real.glsl").c_str());
  const GLcharARB *text = source;
  glShaderSourceARB(shader, 1, &text, nullptr);
  free(source);
  glCompileShaderARB(shader);
  GLhandleARB program = glCreateProgramObjectARB();
  glAttachObjectARB(program, shader);
  glLinkProgramARB(program);

  auto glowAt = [&](float alpha, int x, int y) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -50);
    glRotatef(180, 0, 1, 0);
    glUseProgramObjectARB(program);
    glColor4f(1, 1, 1, alpha);
    draw2DTexture(0, 0, 0, 26, 21, tex);
    glUseProgramObjectARB(0);
    return int(readPixelsRGB(x, y, 1, 1)[1]);
  };
  // The square covers about 492..531 x 369..398; just outside it glows.
  EXPECT_GT(glowAt(1, 536, 384), 20);
  EXPECT_EQ(glowAt(1, 100, 100), 0);
  EXPECT_EQ(glowAt(0, 536, 384), 0);
  EXPECT_GT(glowAt(1, 512, 384), 100);
}
