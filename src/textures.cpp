// Uncompressed true-colour TGA files into textures; the black fade texture.
#include "textures.h"

#include <cstdlib>
#include <cstring>

#include "regularfile.h"

static const unsigned char TGA_HEADER[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TgaStatus tgaRead(FILE *f, TgaImage *image) {
  unsigned char header[12], info[6];
  if (fread(header, 1, sizeof header, f) != sizeof header ||
      memcmp(header, TGA_HEADER, sizeof header) != 0 || fread(info, 1, sizeof info, f) != sizeof info)
    return TGA_BAD_HEADER;
  unsigned width = info[0] + 256u * info[1];
  unsigned height = info[2] + 256u * info[3];
  unsigned bits = info[4];
  if (width == 0 || height == 0 || (bits != 24 && bits != 32)) return TGA_CORRUPT;
  unsigned bpp = bits / 8;
  // 65535 x 65535 x 4 does not fit 32 bits: compute in 64 and let malloc
  // refuse what memory cannot hold.
  uint64_t size64 = uint64_t(width) * height * bpp;
  if (size64 > SIZE_MAX) return TGA_NO_MEMORY;
  size_t size = size_t(size64);
  // A short file claiming a huge picture is refused before the allocation,
  // where the stream can tell its length.
  long here = ftell(f);
  if (here >= 0 && fseek(f, 0, SEEK_END) == 0) {
    long end = ftell(f);
    if (fseek(f, here, SEEK_SET) != 0 || end < here || uint64_t(end - here) < size64)
      return TGA_NO_MEMORY;
  }
  unsigned char *pixels = static_cast<unsigned char *>(malloc(size));
  if (!pixels) return TGA_NO_MEMORY;
  if (fread(pixels, 1, size, f) != size) {
    free(pixels);
    return TGA_NO_MEMORY;
  }
  for (size_t i = 0; i < size; i += bpp) {
    unsigned char b = pixels[i];
    pixels[i] = pixels[i + 2];
    pixels[i + 2] = b;
  }
  image->width = width;
  image->height = height;
  image->bytesPerPixel = bpp;
  image->pixels = pixels;
  return TGA_OK;
}

GLuint loadTGA(const char *path) {
  // A directory or a device is no picture: refused like a missing file.
  FILE *f = fopenRegular(path, "rb");
  if (!f) {
    printf("[! %s] file not found \n", path);
    exit(-1);
  }
  TgaImage image;
  TgaStatus status = tgaRead(f, &image);
  switch (status) {
    case TGA_OK:
      break;
    case TGA_BAD_HEADER:
      printf("[!] Unable to load %s", path);
      fclose(f);
      exit(-1);
    case TGA_CORRUPT:
      fclose(f);
      printf("[!] %s was a corrupt image =/\n", path);
      exit(-1);
    case TGA_NO_MEMORY:
      fclose(f);
      printf("[!] Unable to allocate memory for tga %s...\n", path);
      exit(-1);
  }
  fclose(f);
  GLenum format = image.bytesPerPixel == 3 ? GL_RGB : GL_RGBA;
  GLuint name;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  // Rows are tightly packed; the default alignment of 4 would skew 24-bit
  // pictures whose row length is not a multiple of 4.
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, 4, GLsizei(image.width), GLsizei(image.height), 0, format,
               GL_UNSIGNED_BYTE, image.pixels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  free(image.pixels);
  printf("[*] texture %s loaded...\n", path);
  return name;
}

GLuint loadBlack() {
  static unsigned char black[512 * 512 * 3];  // zero-initialised
  GLuint name;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, 4, 512, 512, 0, GL_RGB, GL_UNSIGNED_BYTE, black);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  return name;
}
