// Wavefront OBJ/MTL model: reading into one record, and drawing it.
#pragma once
#include <cstdio>

// Render mode bits for glmDraw; only GLM_SMOOTH is acted upon.
#define GLM_NONE (0)
#define GLM_FLAT (1 << 0)
#define GLM_SMOOTH (1 << 1)
#define GLM_TEXTURE (1 << 2)
#define GLM_COLOR (1 << 3)
#define GLM_MATERIAL (1 << 4)

struct GlmMaterial {
  char *name;          // heap; null if the library never named it
  float diffuse[4];    // RGBA
  float ambient[4];
  float specular[4];
  float shininess;     // 0..128
};

// Indices are 1-based, as written in the file; 0 means "not given".
struct GlmTriangle {
  unsigned vertexindex[3];
  unsigned normalindex[3];
  unsigned texcoordindex[3];
  unsigned facetnormindex;
};

struct GlmGroup {
  char *name;            // as written after the keyword, leading blank kept
  unsigned trianglecount;
  unsigned *triangles;   // indices into GlmModel::triangles
  unsigned material;     // index into GlmModel::materials
  GlmGroup *next;
  unsigned capacity;     // room in `triangles`, as counted by the first pass
};

struct GlmModel {
  char *path;
  char *mtllib;          // null if the file names no library

  unsigned vertexcount;
  float *vertices;       // 3 x (vertexcount + 1); entry 0 is zeros

  unsigned normalcount;
  float *normals;        // 3 x (normalcount + 1), or null

  unsigned texcoordcount;
  float *texcoords;      // 2 x (texcoordcount + 1), or null

  unsigned facetnormcount;
  float *facetnorms;     // always null from the reader

  unsigned trianglecount;
  GlmTriangle *triangles;

  unsigned materialcount;
  GlmMaterial *materials;  // null if no library was read

  unsigned groupcount;
  GlmGroup *groups;      // newest first, "default" last

  float position[3];
};

// Why a read failed: the one line the program prints, where it goes, and
// the status the process ends with.
struct GlmError {
  int status;      // 0: no failure; otherwise the exit status
  int toStdout;    // 1: the line belongs on standard output, 0: standard error
  char message[4608];
};

// Reads an OBJ file and its material library. Any failure prints one line
// and exits with status 1, so a model is always returned (caller owns it).
GlmModel *glmReadOBJ(const char *filename);

// The same on an already open stream (e.g. fmemopen'ed bytes), without
// ending the process: bad input gives null with the reason in *error, and
// nothing stays allocated or open. `path` is used for messages and to
// resolve the material library. The stream is rewound but not closed.
// Only running out of memory still ends the process.
GlmModel *glmReadOBJStream(FILE *file, const char *path, GlmError *error);

// Prints the error's line where it belongs and exits with its status.
[[noreturn]] void glmFail(const GlmError *error);

// The two passes stop at the first bad input and leave the reason for
// glmReadOBJ / glmReadOBJStream to report.
void glmFirstPass(GlmModel *model, FILE *file);
void glmSecondPass(GlmModel *model, FILE *file);

// Reads the library `name`, resolved against the model's directory, into
// the model; ends the process on failure.
void glmReadMTL(GlmModel *model, const char *name);
// A library from an open stream, replacing the model's materials; returns 0
// with the reason in *error on bad input.
int glmReadMTLStream(GlmModel *model, FILE *file, GlmError *error);

GlmGroup *glmAddGroup(GlmModel *model, const char *name);
GlmGroup *glmFindGroup(GlmModel *model, const char *name);
unsigned glmFindMaterial(GlmModel *model, const char *name);

// New heap string: `path` up to and including its last '/', or "".
char *glmDirName(const char *path);

// Frees everything the reader allocated (the production never does).
void glmDelete(GlmModel *model);

// Draws each group as one GL_TRIANGLES batch, newest group first.
void glmDraw(GlmModel *model, unsigned mode);
