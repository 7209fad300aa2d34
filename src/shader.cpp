// Full-screen fragment programs: read, compiled and linked on first use.
#include "shader.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>

#include "regularfile.h"

char *readFile(const char *path) {
  // A device would give an empty or endless source: refused like a missing file.
  FILE *f = fopenRegular(path, "rt");
  if (!f) {
    printf("[!] Couldn't read file %s...\n", path);
    exit(-1);
  }
  fseek(f, 0, SEEK_END);
  long n = ftell(f);
  rewind(f);
  char *buffer = n >= 0 ? static_cast<char *>(malloc(size_t(n) + 1)) : nullptr;
  if (!buffer) {
    fclose(f);
    printf("[!] Couldn't read file %s...\n", path);
    exit(-1);
  }
  // The file may have changed size since ftell: keep what was really read.
  size_t got = fread(buffer, 1, size_t(n), f);
  buffer[got] = '\0';
  fclose(f);
  return buffer;
}

// A broken shader would otherwise fail silently; say so and go on.
static void reportStatus(GLhandleARB object, GLenum which, const char *what, const char *path) {
  GLint ok = 0;
  glGetObjectParameterivARB(object, which, &ok);
  if (ok) return;
  char log[2048] = {0};
  GLsizei length = 0;
  glGetInfoLogARB(object, sizeof log - 1, &length, log);
  printf("[!] %s of %s failed: %s\n", what, path, log);
}

struct Program {
  int loaded;
  GLhandleARB fragment_shader;
  GLhandleARB program;
};

static void useProgram(Program &p, const char *path, int mode) {
  if (p.loaded == 0) {
    p.fragment_shader = glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    char *source = readFile(path);
    const GLcharARB *text = source;
    glShaderSourceARB(p.fragment_shader, 1, &text, nullptr);
    free(source);
    glCompileShaderARB(p.fragment_shader);
    reportStatus(p.fragment_shader, GL_OBJECT_COMPILE_STATUS_ARB, "compiling", path);
    p.program = glCreateProgramObjectARB();
    glAttachObjectARB(p.program, p.fragment_shader);
    glLinkProgramARB(p.program);
    reportStatus(p.program, GL_OBJECT_LINK_STATUS_ARB, "linking", path);
    p.loaded = p.loaded + 1;
  }
  glUseProgramObjectARB(mode != 0 ? p.program : 0);
}

void glsl_bloom_shader(int mode) {
  static Program bloom;
  useProgram(bloom, "data/shader/glsl/bloom.glsl", mode);
}

void glsl_gibson_frag(int mode) {
  static Program gibson;
  useProgram(gibson, "data/shader/glsl/gibson_frag.glsl", mode);
}
