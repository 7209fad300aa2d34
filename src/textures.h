// Uncompressed true-colour TGA pictures and the black fade texture.
#pragma once
#include <GL/glew.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>

enum TgaStatus {
  TGA_OK = 0,
  TGA_BAD_HEADER,  // unreadable or unsupported header
  TGA_CORRUPT,     // zero size or unsupported depth
  TGA_NO_MEMORY,   // pixels too large or truncated
};

struct TgaImage {
  unsigned width = 0;
  unsigned height = 0;
  unsigned bytesPerPixel = 0;  // 3 or 4
  unsigned char *pixels = nullptr;  // RGB(A), rows as stored, malloc'ed
};

// Decodes a TGA stream (any FILE*, so fmemopen'ed buffers work too).
// On TGA_OK the caller frees image->pixels.
TgaStatus tgaRead(FILE *f, TgaImage *image);

GLuint loadTGA(const char *path);
GLuint loadBlack();
