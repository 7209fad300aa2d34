// libFuzzer target: the OBJ reader (with the material libraries it names) on
// bytes in memory, through the in-process error path the program uses.
// A model that comes back must be drawable: every index glmDraw follows
// lies inside its array.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "glm/glm.h"

static std::string modelPath, libraryDir;

static void removeLibraries() {
  for (const char *name : {"/toyplane.mtl", "/m.mtl", "/zero.mtl"}) unlink((libraryDir + name).c_str());
  rmdir((libraryDir + "/sub.mtl").c_str());
  rmdir(libraryDir.c_str());
}

// The libraries an input can name sit next to its path: our own, a second
// small one, and two that are no files (a device and a directory), which
// must be refused rather than read. Material-miss warnings go to /dev/null.
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  char dir[] = "/tmp/vyfuzz-obj.XXXXXX";
  if (!mkdtemp(dir)) abort();
  const char *own = getenv("VY_FUZZ_MTL");
  FILE *in = own ? fopen(own, "rb") : nullptr;
  FILE *out = fopen((std::string(dir) + "/toyplane.mtl").c_str(), "wb");
  if (!out) abort();
  if (in) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, in)) > 0) fwrite(buf, 1, n, out);
    fclose(in);
  } else {
    fputs("newmtl body\nKd 0.8 0.2 0.1\nnewmtl wing\nNs 200\n", out);
  }
  fclose(out);
  out = fopen((std::string(dir) + "/m.mtl").c_str(), "wb");
  if (!out) abort();
  fputs("Kd 1 1 1\nnewmtl a\nnewmtl b\nKs 1 0 0\n", out);
  fclose(out);
  if (symlink("/dev/zero", (std::string(dir) + "/zero.mtl").c_str()) != 0) abort();
  if (mkdir((std::string(dir) + "/sub.mtl").c_str(), 0755) != 0) abort();
  libraryDir = dir;
  atexit(removeLibraries);
  modelPath = std::string(dir) + "/fuzz.obj";
  if (!freopen("/dev/null", "w", stdout)) abort();
  return 0;
}

static void check(bool ok) {
  if (!ok) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FILE *f = size ? fmemopen(const_cast<uint8_t *>(data), size, "r") : fopen("/dev/null", "r");
  if (!f) return 0;
  GlmError error;
  GlmModel *m = glmReadOBJStream(f, modelPath.c_str(), &error);
  fclose(f);
  if (!m) {
    // Every refusal carries the one line the program prints.
    check(error.status == 1 && error.message[0] != '\0' &&
          error.message[strlen(error.message) - 1] == '\n');
    return 0;
  }
  check(error.status == 0 && m->vertices != nullptr);
  for (unsigned i = 0; i < m->trianglecount; ++i) {
    const GlmTriangle &t = m->triangles[i];
    for (int c = 0; c < 3; ++c) {
      check(t.vertexindex[c] >= 1 && t.vertexindex[c] <= m->vertexcount);
      check(t.normalindex[c] <= m->normalcount);
      check(t.texcoordindex[c] <= m->texcoordcount);
    }
  }
  unsigned triangles = 0, groups = 0;
  for (const GlmGroup *g = m->groups; g; g = g->next, ++groups) {
    triangles += g->trianglecount;
    for (unsigned i = 0; i < g->trianglecount; ++i) check(g->triangles[i] < m->trianglecount);
    check(m->materials ? g->material < m->materialcount : g->material == 0);
  }
  check(triangles == m->trianglecount && groups == m->groupcount);
  glmDelete(m);
  return 0;
}
