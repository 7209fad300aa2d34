// The PNG writer of -c: a frame's RGB rows flipped into an RGBA surface and
// written as capture/NNNNNNNNNN.png, never through a link, never left half
// written.
#include "main/pngwriter.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void png_user_warn(png_structp, png_const_charp message) {
  fprintf(stderr, "libpng: warning: %s\n", message);
}

// Returning hands control back to libpng, which jumps to the recovery
// point set in png_save_surface_with.
void png_user_error(png_structp, png_const_charp message) {
  fprintf(stderr, "libpng: error: %s\n", message);
}

int png_colortype_from_surface(SDL_Surface *surface) {
  if (surface->format->palette) return PNG_COLOR_TYPE_PALETTE;
  if (surface->format->Amask) return PNG_COLOR_TYPE_RGB_ALPHA;
  return PNG_COLOR_TYPE_RGB;
}

int captureFileName(int framenr, char *out, size_t size) {
  // Padding and number make 10 digits together.
  char number[16];
  snprintf(number, sizeof number, "%d", framenr);
  char padding[16] = {0};
  int digits = (int)strlen(number);
  for (int i = 0; i < 10 - digits; ++i) padding[i] = '0';
  int n = snprintf(out, size, "capture/%s%d.png", padding, framenr);
  if (n < 0 || (size_t)n >= size) return -1;
  return n;
}

SDL_Surface *createCaptureSurface(int w, int h) {
  // On little-endian machines these masks lay a pixel out in memory as
  // R, G, B, A: the byte order PNG wants, so rows go to libpng untouched.
  return SDL_CreateRGBSurface(0, w, h, 32, 0x000000FF, 0x0000FF00,
                              0x00FF0000, 0xFF000000);
}

void flipRGBToSurface(const unsigned char *rgb, int w, int h,
                      SDL_Surface *surface) {
  const SDL_PixelFormat *f = surface->format;
  const int rows = h < surface->h ? h : surface->h;
  const int cols = w < surface->w ? w : surface->w;
  auto *pixels = static_cast<unsigned char *>(surface->pixels);

  // For a 32-bit format without loss SDL_MapRGBA is just shifts and ors;
  // doing them inline gives the same words at a fraction of the cost.
  const bool direct = f->BytesPerPixel == 4 && !f->palette && !f->Rloss &&
                      !f->Gloss && !f->Bloss && !f->Aloss;

  for (int k = 0; k < rows; ++k) {
    const int y = surface->h - 1 - k;
    const unsigned char *src = rgb + (size_t)k * w * 3;
    unsigned char *row = pixels + (size_t)y * surface->pitch;
    if (direct) {
      const uint32_t a = f->Amask;
      const int rs = f->Rshift, gs = f->Gshift, bs = f->Bshift;
      uint32_t *dst = reinterpret_cast<uint32_t *>(row);
      for (int x = 0; x < cols; ++x) {
        dst[x] = ((uint32_t)src[3 * x] << rs) |
                 ((uint32_t)src[3 * x + 1] << gs) |
                 ((uint32_t)src[3 * x + 2] << bs) | a;
      }
    } else {
      for (int x = 0; x < cols; ++x) {
        Uint32 p = SDL_MapRGBA(surface->format, src[3 * x], src[3 * x + 1],
                               src[3 * x + 2], 255);
        memcpy(row + (size_t)x * f->BytesPerPixel, &p, f->BytesPerPixel);
      }
    }
  }
}

// Removes what a failed write left at path: a file or a link, never a
// device or a directory someone named there.
void removeFrameFile(const char *path) {
  struct stat st;
  if (lstat(path, &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) remove(path);
}

// Message and clean-up for a frame that could not be written completely:
// the partial file goes, so every file left is a whole picture.
static void writeFailed(const char *path, int err) {
  fprintf(stderr, "[!] capture: writing %s failed: %s\n", path,
          err ? strerror(err) : "write error");
  removeFrameFile(path);
}

// Like fopen(path, "wb"), but a link is never followed: a frame written
// through it would overwrite whatever it points at. Nor does a FIFO without
// a reader hold the run up.
static FILE *openFrameFile(const char *path) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FILE *fp = fdopen(fd, "wb");
  if (!fp) close(fd);
  return fp;
}

int png_save_surface_with(const char *path, SDL_Surface *surface,
                          int zlibLevel, int filters) {
  FILE *fp = openFrameFile(path);
  if (!fp) {
    fprintf(stderr, "fopen error: %s: %s\n", path, strerror(errno));
    return -1;
  }

  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr,
                                            png_user_error, png_user_warn);
  if (!png) {
    printf("png_create_write_struct error!\n");
    fclose(fp);
    removeFrameFile(path);
    return -1;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    printf("png_create_info_struct error!\n");
    fclose(fp);
    removeFrameFile(path);
    return -2;
  }

  // Allocated before the recovery point: nothing set after it is read
  // once libpng jumps back.
  png_bytep *rowPointers =
      static_cast<png_bytep *>(malloc(sizeof(png_bytep) * surface->h));
  for (int i = 0; i < surface->h; ++i)
    rowPointers[i] = static_cast<png_bytep>(surface->pixels) +
                     (size_t)i * surface->pitch;

  if (setjmp(png_jmpbuf(png))) {
    int err = ferror(fp) ? errno : 0;
    png_destroy_write_struct(&png, &info);
    fclose(fp);
    free(rowPointers);
    writeFailed(path, err);
    return -2;
  }

  png_init_io(png, fp);
  if (zlibLevel >= 0) png_set_compression_level(png, zlibLevel);
  if (filters >= 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
  png_set_IHDR(png, info, surface->w, surface->h, 8,
               png_colortype_from_surface(surface), PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_packing(png);
  png_write_image(png, rowPointers);
  png_write_end(png, info);

  free(rowPointers);
  png_destroy_write_struct(&png, &info);

  // stdio keeps the tail of the file buffered; a full disk shows only here.
  int err = 0;
  if (ferror(fp)) err = errno ? errno : EIO;
  if (fflush(fp) != 0 && !err) err = errno;
  if (fclose(fp) != 0 && !err) err = errno;
  if (err) {
    writeFailed(path, err);
    return -2;
  }
  return 0;
}

// A frame that cannot be written completely must not pass for a captured
// one: a video made from the run would silently lose pictures.
int png_save_surface(const char *path, SDL_Surface *surface) {
  int result = png_save_surface_with(path, surface, kCaptureZlibLevel,
                                     kCaptureFilters);
  if (result == -2) exit(-1);
  return result;
}
