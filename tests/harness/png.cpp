#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "harness/harness.h"

Picture readPng(const std::string &path) {
  Picture out;
  FILE *fp = fopen(path.c_str(), "rb");
  if (!fp) return out;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(fp);
    return Picture();
  }
  png_init_io(png, fp);
  png_read_info(png, info);
  png_uint_32 w, h;
  png_get_IHDR(png, info, &w, &h, &out.bitDepth, &out.colorType, &out.interlace, nullptr, nullptr);
  // Whatever is stored, hand back RGBA8 so tests compare plain bytes.
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_read_update_info(png, info);
  out.width = w;
  out.height = h;
  out.rgba.resize(size_t(w) * h * 4);
  std::vector<png_bytep> rows(h);
  for (png_uint_32 i = 0; i < h; i++) rows[i] = out.rgba.data() + size_t(i) * w * 4;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  fclose(fp);
  out.ok = true;
  return out;
}
