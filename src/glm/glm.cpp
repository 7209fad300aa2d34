// Wavefront OBJ/MTL reader: a counting pass, exact allocation, a filling pass.
//
// Tokens are read with C stdio so that any FILE* works, including streams
// over memory. Keywords and numbers go through 128-byte buffers, and so does
// the rest of a comment line; a longer comment is read on as further
// tokens. Names (g, usemtl, mtllib, newmtl) are read whole, however long,
// and so is every other line the reader skips, so that no part of a name is
// ever taken for a statement.
//
// Bad input does not end the process here: the first failure is recorded,
// every loop stops on it, and the public entry points either hand it back
// (glmReadOBJStream) or print it and exit (glmReadOBJ), so that the reader
// can be driven with arbitrary bytes in-process.

// The preconditions below guard against misuse in release builds too.
#undef NDEBUG
#include "glm/glm.h"

#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "regularfile.h"

namespace {

constexpr size_t kBufSize = 128;
#define GLM_TOKEN "%127s"  // must stay kBufSize - 1

// The first failure of the read in progress; later ones are consequences.
GlmError failure;

bool failed() { return failure.status != 0; }

__attribute__((format(printf, 2, 3))) void fail(int toStdout, const char *fmt, ...) {
  if (failed()) return;
  failure.status = 1;
  failure.toStdout = toStdout;
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(failure.message, sizeof failure.message, fmt, ap);
  va_end(ap);
}

// Memory is not input: running out of it ends the process at once.
[[noreturn]] void outOfMemory(const char *path) {
  fprintf(stderr, "glmReadOBJ() failed: out of memory reading \"%s\".\n", path);
  exit(1);
}

// Zero-filled, so entry 0 of each array and the unset indices of every
// triangle hold defined values. Never returns null.
void *allocZeroed(size_t count, size_t size, const char *path) {
  if (size != 0 && count > SIZE_MAX / size) outOfMemory(path);
  void *p = calloc(count ? count : 1, size ? size : 1);
  if (!p) outOfMemory(path);
  return p;
}

char *copyString(const char *s, const char *path) {
  size_t n = strlen(s) + 1;
  char *p = static_cast<char *>(allocZeroed(n, 1, path));
  memcpy(p, s, n);
  return p;
}

void countOne(unsigned *counter, const char *path) {
  if (*counter == UINT_MAX) {
    fail(0, "glmReadOBJ() failed: too many elements in \"%s\".\n", path);
    return;
  }
  ++*counter;
}

// Malformed numbers are not reported: a value that does not scan leaves its
// slot as it was.
void scanFloats(FILE *file, float *out, int n) {
  int got = n == 3 ? fscanf(file, "%f %f %f", &out[0], &out[1], &out[2])
          : n == 2 ? fscanf(file, "%f %f", &out[0], &out[1])
                   : fscanf(file, "%f", &out[0]);
  (void)got;
}

bool readToken(FILE *file, char *buf) {
  return fscanf(file, GLM_TOKEN, buf) == 1;
}

// At most kBufSize - 1 characters; the rest of a longer line stays in the
// stream. On end of file the buffer is left empty, never stale.
void readRestOfLine(FILE *file, char *buf) {
  if (!fgets(buf, kBufSize, file)) buf[0] = '\0';
}

// The rest of the line, however long, with its line feed if it has one;
// on the heap, "" at end of file.
char *readWholeLine(FILE *file, const char *path) {
  char *line = nullptr;
  size_t size = 0;
  errno = 0;
  if (getline(&line, &size, file) < 0) {
    if (errno == ENOMEM) outOfMemory(path);
    free(line);
    line = static_cast<char *>(allocZeroed(1, 1, path));
  }
  return line;
}

// A line the reader does not use: all of it goes, except of a comment, whose
// first 127 characters go and the rest is read on as tokens.
void skipStatement(FILE *file, char *buf, const char *path) {
  if (buf[0] == '#') return readRestOfLine(file, buf);
  free(readWholeLine(file, path));
}

// First word of the rest of the line, or "" if there is none; on the heap.
char *readFirstWord(FILE *file, const char *path) {
  char *line = readWholeLine(file, path);
  char *word = static_cast<char *>(allocZeroed(strlen(line) + 1, 1, path));
  if (sscanf(line, "%s", word) != 1) word[0] = '\0';
  free(line);
  return word;
}

// A group line: the rest of the line without its last character, the line
// feed (a leading blank is kept); on the heap.
char *readGroupName(FILE *file, const char *path) {
  char *line = readWholeLine(file, path);
  size_t n = strlen(line);
  if (n > 0) line[n - 1] = '\0';
  return line;
}

// The four ways a face corner can be written.
enum FaceForm { FORM_V, FORM_V_N, FORM_V_T_N, FORM_V_T };

struct Corner {
  int v, t, n;
};

int scanCorner(FILE *file, FaceForm form, Corner *c) {
  *c = Corner{0, 0, 0};  // anything the scan leaves out is index 0
  switch (form) {
    case FORM_V_N: return fscanf(file, "%d//%d", &c->v, &c->n);
    case FORM_V_T_N: return fscanf(file, "%d/%d/%d", &c->v, &c->t, &c->n);
    case FORM_V_T: return fscanf(file, "%d/%d", &c->v, &c->t);
    case FORM_V: break;
  }
  return fscanf(file, "%d", &c->v);
}

// Numbers a whole corner of each form has.
int cornerFields(FaceForm form) {
  switch (form) {
    case FORM_V_N: return 2;
    case FORM_V_T_N: return 3;
    case FORM_V_T: return 2;
    case FORM_V: break;
  }
  return 1;
}

// Chooses the face's form from its first token; *got is how many numbers
// the token gave.
FaceForm parseFirstCorner(const char *token, Corner *c, int *got) {
  *c = Corner{0, 0, 0};
  if (strstr(token, "//")) {
    *got = sscanf(token, "%d//%d", &c->v, &c->n);
    return FORM_V_N;
  }
  if ((*got = sscanf(token, "%d/%d/%d", &c->v, &c->t, &c->n)) == 3) return FORM_V_T_N;
  *c = Corner{0, 0, 0};
  if ((*got = sscanf(token, "%d/%d", &c->v, &c->t)) == 2) return FORM_V_T;
  *c = Corner{0, 0, 0};
  *got = sscanf(token, "%d", &c->v);
  return FORM_V;
}

struct FirstPassCounts {
  unsigned vertices = 0, normals = 0, texcoords = 0, triangles = 0;
};

struct SecondPassState {
  unsigned vertex = 1, normal = 1, texcoord = 1, triangle = 0;
  unsigned material = 0;
  GlmGroup *group = nullptr;
};

void inconsistent(const GlmModel *model) {
  fail(0, "glmReadOBJ() failed: passes disagree on \"%s\".\n", model->path);
}

bool checkIndex(const GlmModel *model, int index, unsigned count) {
  if (index >= 1 && static_cast<unsigned>(index) <= count) return true;
  fail(0, "glmReadOBJ() failed: face index %d out of range in \"%s\".\n", index,
       model->path);
  return false;
}

void storeTriangle(GlmModel *model, SecondPassState *st, FaceForm form,
                   const Corner (&c)[3]) {
  for (const Corner &k : c) {
    if (!checkIndex(model, k.v, model->vertexcount)) return;
    if ((form == FORM_V_T || form == FORM_V_T_N) &&
        !checkIndex(model, k.t, model->texcoordcount))
      return;
    if ((form == FORM_V_N || form == FORM_V_T_N) &&
        !checkIndex(model, k.n, model->normalcount))
      return;
  }
  GlmGroup *g = st->group;
  if (st->triangle >= model->trianglecount || g->trianglecount >= g->capacity) {
    inconsistent(model);
    return;
  }
  GlmTriangle &t = model->triangles[st->triangle];
  for (int i = 0; i < 3; ++i) {
    t.vertexindex[i] = static_cast<unsigned>(c[i].v);
    t.texcoordindex[i] = static_cast<unsigned>(c[i].t);
    t.normalindex[i] = static_cast<unsigned>(c[i].n);
  }
  g->triangles[g->trianglecount++] = st->triangle++;
}

// Shared by both passes so that they consume the stream identically; the
// first pass (st == nullptr) only counts.
void readFace(GlmModel *model, FILE *file, GlmGroup *group,
              FirstPassCounts *counts, SecondPassState *st) {
  char buf[kBufSize];
  if (!readToken(file, buf)) buf[0] = '\0';
  Corner c[3];
  int got[3];
  FaceForm form = parseFirstCorner(buf, &c[0], &got[0]);
  got[1] = scanCorner(file, form, &c[1]);
  got[2] = scanCorner(file, form, &c[2]);
  const int whole = cornerFields(form);
  for (;;) {
    // A file cut inside a face line, or a corner short of numbers, would
    // otherwise surface as an index 0 that the file never wrote.
    if (got[0] != whole || got[1] != whole || got[2] != whole) {
      fail(0, "glmReadOBJ() failed: incomplete face in \"%s\".\n", model->path);
      return;
    }
    if (st) {
      storeTriangle(model, st, form, c);
    } else {
      countOne(&counts->triangles, model->path);
      countOne(&group->trianglecount, model->path);
    }
    if (failed()) return;
    Corner next;
    int n = scanCorner(file, form, &next);
    if (n <= 0) break;
    c[1] = c[2];
    c[2] = next;
    got[1] = got[2];
    got[2] = n;
  }
}

void unknownToken(const char *pass, const char *token) {
  fail(1, "%s: Unknown token \"%s\".\n", pass, token);
}

char *joinPath(const char *dir, const char *name, const char *path) {
  size_t a = strlen(dir), b = strlen(name);
  char *full = static_cast<char *>(allocZeroed(a + b + 1, 1, path));
  memcpy(full, dir, a);
  memcpy(full + a, name, b + 1);
  return full;
}

void setColor(float *rgba, float r, float g, float b, float a) {
  rgba[0] = r;
  rgba[1] = g;
  rgba[2] = b;
  rgba[3] = a;
}

void freeMaterials(GlmModel *model) {
  if (!model->materials) return;
  for (unsigned i = 0; i < model->materialcount; ++i)
    free(model->materials[i].name);
  free(model->materials);
  model->materials = nullptr;
  model->materialcount = 0;
}

}  // namespace

char *glmDirName(const char *path) {
  const char *slash = strrchr(path, '/');
  size_t n = slash ? static_cast<size_t>(slash - path) + 1 : 0;
  char *dir = static_cast<char *>(allocZeroed(n + 1, 1, path));
  memcpy(dir, path, n);
  dir[n] = '\0';
  return dir;
}

GlmGroup *glmFindGroup(GlmModel *model, const char *name) {
  assert(model);
  for (GlmGroup *g = model->groups; g; g = g->next)
    if (strcmp(g->name, name) == 0) return g;
  return nullptr;
}

GlmGroup *glmAddGroup(GlmModel *model, const char *name) {
  GlmGroup *g = glmFindGroup(model, name);
  if (g) return g;
  g = static_cast<GlmGroup *>(allocZeroed(1, sizeof(GlmGroup), model->path));
  g->name = copyString(name, model->path);
  g->trianglecount = 0;
  g->triangles = nullptr;
  g->material = 0;
  g->capacity = 0;
  g->next = model->groups;
  model->groups = g;
  model->groupcount++;
  return g;
}

unsigned glmFindMaterial(GlmModel *model, const char *name) {
  for (unsigned i = 0; i < model->materialcount; ++i) {
    const char *m = model->materials[i].name;
    if (m && strcmp(m, name) == 0) return i;
  }
  printf("glmFindMaterial():  can't find material \"%s\".\n", name);
  return 0;
}

namespace {

void readMaterials(GlmModel *model, FILE *file) {
  char buf[kBufSize];
  unsigned count = 1;
  while (!failed() && readToken(file, buf)) {
    if (buf[0] == 'n') countOne(&count, model->path);
    skipStatement(file, buf, model->path);
  }
  if (failed()) return;

  rewind(file);
  freeMaterials(model);  // a second mtllib line replaces the first
  model->materials = static_cast<GlmMaterial *>(
      allocZeroed(count, sizeof(GlmMaterial), model->path));
  model->materialcount = count;
  for (unsigned i = 0; i < count; ++i) {
    GlmMaterial &m = model->materials[i];
    m.name = nullptr;
    setColor(m.diffuse, 0.8f, 0.8f, 0.8f, 1.0f);
    setColor(m.ambient, 0.2f, 0.2f, 0.2f, 1.0f);
    setColor(m.specular, 0.0f, 0.0f, 0.0f, 1.0f);
    m.shininess = 65.0f;
  }
  model->materials[0].name = copyString("default", model->path);

  unsigned cur = 0;
  while (readToken(file, buf)) {
    GlmMaterial &m = model->materials[cur];
    switch (buf[0]) {
      case 'n': {
        char *word = readFirstWord(file, model->path);
        // The counting pass skipped whole lines; a stray "n..." token that
        // this pass meets mid-line must not step past the array.
        if (cur + 1 < count) {
          ++cur;
          model->materials[cur].name = word;
        } else {
          free(word);
        }
        break;
      }
      case 'N':
        scanFloats(file, &m.shininess, 1);
        m.shininess /= 1000.0f;
        m.shininess *= 128.0f;
        break;
      case 'K': {
        float *rgb = buf[1] == 'd'   ? m.diffuse
                     : buf[1] == 's' ? m.specular
                     : buf[1] == 'a' ? m.ambient
                                     : nullptr;
        if (rgb) {
          scanFloats(file, rgb, 3);  // alpha stays
        } else {
          skipStatement(file, buf, model->path);
        }
        break;
      }
      default:  // "#" comments and everything unsupported (map_Kd ...)
        skipStatement(file, buf, model->path);
        break;
    }
  }
}

void readLibrary(GlmModel *model, const char *name) {
  char *dir = glmDirName(model->path);
  char *full = joinPath(dir, name, model->path);
  free(dir);
  FILE *file = fopenRegular(full, "r");
  if (file) {
    readMaterials(model, file);
    fclose(file);
  } else {
    fail(0, "glmReadMTL() failed: can't open material file \"%s\".\n", full);
  }
  free(full);
}

}  // namespace

void glmReadMTL(GlmModel *model, const char *name) {
  failure = GlmError{};
  readLibrary(model, name);
  if (failed()) glmFail(&failure);
}

int glmReadMTLStream(GlmModel *model, FILE *file, GlmError *error) {
  failure = GlmError{};
  readMaterials(model, file);
  *error = failure;
  return !failed();
}



void glmFirstPass(GlmModel *model, FILE *file) {
  FirstPassCounts counts;
  GlmGroup *group = glmAddGroup(model, "default");
  char buf[kBufSize];
  while (!failed() && readToken(file, buf)) {
    switch (buf[0]) {
      case 'v':
        switch (buf[1]) {
          case '\0': countOne(&counts.vertices, model->path); break;
          case 'n': countOne(&counts.normals, model->path); break;
          case 't': countOne(&counts.texcoords, model->path); break;
          default: unknownToken("glmFirstPass()", buf);
        }
        readRestOfLine(file, buf);
        break;
      case 'm':
        free(model->mtllib);
        model->mtllib = readFirstWord(file, model->path);
        readLibrary(model, model->mtllib);
        break;
      case 'g': {
        char *name = readGroupName(file, model->path);
        group = glmAddGroup(model, name);
        free(name);
        break;
      }
      case 'f':
        readFace(model, file, group, &counts, nullptr);
        break;
      default:  // "#", "u" and everything unsupported
        skipStatement(file, buf, model->path);
        break;
    }
  }

  if (failed()) return;
  model->vertexcount = counts.vertices;
  model->normalcount = counts.normals;
  model->texcoordcount = counts.texcoords;
  model->trianglecount = counts.triangles;
  for (GlmGroup *g = model->groups; g; g = g->next) {
    free(g->triangles);
    g->triangles = static_cast<unsigned *>(
        allocZeroed(g->trianglecount, sizeof(unsigned), model->path));
    g->capacity = g->trianglecount;
    g->trianglecount = 0;
  }
}

void glmSecondPass(GlmModel *model, FILE *file) {
  SecondPassState st;
  st.group = glmFindGroup(model, "default");
  if (!st.group) return inconsistent(model);
  char buf[kBufSize];
  while (!failed() && readToken(file, buf)) {
    switch (buf[0]) {
      case 'v':
        // Extra numbers on the line stay in the stream and are skipped as
        // an unknown token next round.
        if (buf[1] == '\0') {
          if (st.vertex > model->vertexcount) return inconsistent(model);
          scanFloats(file, &model->vertices[3 * size_t{st.vertex++}], 3);
        } else if (buf[1] == 'n') {
          if (st.normal > model->normalcount) return inconsistent(model);
          scanFloats(file, &model->normals[3 * size_t{st.normal++}], 3);
        } else if (buf[1] == 't') {
          if (st.texcoord > model->texcoordcount) return inconsistent(model);
          scanFloats(file, &model->texcoords[2 * size_t{st.texcoord++}], 2);
        } else {
          unknownToken("glmSecondPass()", buf);
        }
        break;
      case 'u': {
        char *word = readFirstWord(file, model->path);
        st.material = glmFindMaterial(model, word);
        st.group->material = st.material;
        free(word);
        break;
      }
      case 'g': {
        char *name = readGroupName(file, model->path);
        st.group = glmFindGroup(model, name);
        free(name);
        if (!st.group) return inconsistent(model);
        st.group->material = st.material;
        break;
      }
      case 'f':
        readFace(model, file, st.group, nullptr, &st);
        break;
      default:  // "#", "m" and everything unsupported
        skipStatement(file, buf, model->path);
        break;
    }
  }
  if (!failed() && st.triangle != model->trianglecount) inconsistent(model);
}

GlmModel *glmReadOBJStream(FILE *file, const char *path, GlmError *error) {
  failure = GlmError{};
  GlmModel *model =
      static_cast<GlmModel *>(allocZeroed(1, sizeof(GlmModel), path));
  model->path = copyString(path, path);
  model->mtllib = nullptr;
  model->vertices = model->normals = model->texcoords = nullptr;
  model->facetnorms = nullptr;
  model->triangles = nullptr;
  model->materials = nullptr;
  model->groups = nullptr;
  model->position[0] = model->position[1] = model->position[2] = 0.0f;

  glmFirstPass(model, file);
  if (!failed()) {
    // Counts are at most UINT_MAX, so the "+ 1" cannot wrap in size_t.
    model->vertices = static_cast<float *>(allocZeroed(
        size_t{model->vertexcount} + 1, 3 * sizeof(float), model->path));
    model->triangles = static_cast<GlmTriangle *>(allocZeroed(
        model->trianglecount, sizeof(GlmTriangle), model->path));
    if (model->normalcount > 0)
      model->normals = static_cast<float *>(allocZeroed(
          size_t{model->normalcount} + 1, 3 * sizeof(float), model->path));
    if (model->texcoordcount > 0)
      model->texcoords = static_cast<float *>(allocZeroed(
          size_t{model->texcoordcount} + 1, 2 * sizeof(float), model->path));
    rewind(file);
    glmSecondPass(model, file);
  }
  *error = failure;
  if (failed()) {
    glmDelete(model);
    return nullptr;
  }
  return model;
}

void glmFail(const GlmError *error) {
  fputs(error->message, error->toStdout ? stdout : stderr);
  exit(error->status);
}

GlmModel *glmReadOBJ(const char *filename) {
  GlmError error{};
  FILE *file = fopenRegular(filename, "r");
  if (!file) {
    error.status = 1;
    snprintf(error.message, sizeof error.message,
             "glmReadOBJ() failed: can't open data file \"%s\".\n", filename);
    glmFail(&error);
  }
  GlmModel *model = glmReadOBJStream(file, filename, &error);
  fclose(file);
  if (!model) glmFail(&error);
  return model;
}

void glmDelete(GlmModel *model) {
  if (!model) return;
  free(model->path);
  free(model->mtllib);
  free(model->vertices);
  free(model->normals);
  free(model->texcoords);
  free(model->facetnorms);
  free(model->triangles);
  freeMaterials(model);
  GlmGroup *g = model->groups;
  while (g) {
    GlmGroup *next = g->next;
    free(g->name);
    free(g->triangles);
    free(g);
    g = next;
  }
  free(model);
}
