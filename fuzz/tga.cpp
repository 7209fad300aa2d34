// libFuzzer target: the TGA decoder the texture loader uses, on bytes in
// memory. Every refusal must come back as one of the loader's statuses.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "textures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FILE *f = size ? fmemopen(const_cast<uint8_t *>(data), size, "rb") : fopen("/dev/null", "rb");
  if (!f) return 0;
  TgaImage image;
  TgaStatus status = tgaRead(f, &image);
  fclose(f);
  if (status != TGA_OK) {
    if (status != TGA_BAD_HEADER && status != TGA_CORRUPT && status != TGA_NO_MEMORY) abort();
    if (image.pixels) abort();
    return 0;
  }
  // What the upload will read: width x height whole pixels, all swapped in.
  size_t bytes = size_t(image.width) * image.height * image.bytesPerPixel;
  if (image.width == 0 || image.height == 0 || (image.bytesPerPixel != 3 && image.bytesPerPixel != 4) ||
      18 + bytes > size)
    abort();
  // Red and blue exchanged in every pixel, the rest as stored.
  const uint8_t *stored = data + 18;
  for (size_t i = 0; i < bytes; i += image.bytesPerPixel)
    if (image.pixels[i] != stored[i + 2] || image.pixels[i + 1] != stored[i + 1] ||
        image.pixels[i + 2] != stored[i])
      abort();
  free(image.pixels);
  return 0;
}
