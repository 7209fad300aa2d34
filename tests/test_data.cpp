// The TGA reader's accept/reject table and what the loader puts in the
// texture; its messages are tried through the program with every broken
// picture.
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "textures.h"

std::string tga(unsigned w, unsigned h, unsigned bits, size_t pixelBytes, unsigned char type = 2) {
  std::string s(18, '\0');
  s[2] = char(type);
  s[12] = char(w & 255);
  s[13] = char(w >> 8);
  s[14] = char(h & 255);
  s[15] = char(h >> 8);
  s[16] = char(bits);
  for (size_t i = 0; i < pixelBytes; i++) s += char(i * 7 + 1);
  return s;
}

TgaStatus decode(const std::string &bytes, TgaImage *image) {
  FILE *f = fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "rb");
  TgaStatus st = tgaRead(f, image);
  fclose(f);
  return st;
}

TEST(TgaRead, AcceptRejectTable) {
  // A good 2x2 picture with one header byte changed.
  auto with = [](size_t at, char value, unsigned bits = 24) {
    std::string s = tga(2, 2, bits, bits / 2);
    s[at] = value;
    return s;
  };
  struct {
    const char *what;
    std::string bytes;
    TgaStatus status;
  } table[] = {
      {"24-bit", tga(3, 2, 24, 18), TGA_OK},
      {"32-bit", tga(2, 2, 32, 16), TGA_OK},
      {"footer after pixels", tga(2, 2, 32, 16) + std::string(26, 'X'), TGA_OK},
      {"descriptor ignored", with(17, 0x28, 32), TGA_OK},  // top-left origin: not consulted
      {"empty file", "", TGA_BAD_HEADER},
      {"short header", tga(2, 2, 24, 0).substr(0, 15), TGA_BAD_HEADER},
      {"run-length encoded", tga(2, 2, 24, 12, 10), TGA_BAD_HEADER},
      {"colour-mapped", tga(2, 2, 24, 12, 1), TGA_BAD_HEADER},
      {"image id", with(0, 1), TGA_BAD_HEADER},
      {"colour map", with(1, 1), TGA_BAD_HEADER},
      {"x origin", with(8, 5), TGA_BAD_HEADER},
      {"y origin", with(11, 1), TGA_BAD_HEADER},
      {"zero width", tga(0, 2, 24, 0), TGA_CORRUPT},
      {"zero height", tga(2, 0, 24, 0), TGA_CORRUPT},
      {"16-bit", tga(2, 2, 16, 8), TGA_CORRUPT},
      {"8-bit", tga(2, 2, 8, 4), TGA_CORRUPT},
      {"truncated pixels", tga(2, 2, 24, 11), TGA_NO_MEMORY},
      {"header only", tga(4, 4, 32, 0), TGA_NO_MEMORY},
      // 65535 x 65535 x 4 overflows 32 bits; must not turn into a small buffer.
      {"huge", tga(65535, 65535, 32, 64), TGA_NO_MEMORY},
  };
  for (auto &row : table) {
    TgaImage image;
    EXPECT_EQ(decode(row.bytes, &image), row.status) << row.what;
    free(image.pixels);
  }
}

TEST(LoadTga, UploadsExactTexels) {
  ensureGlContext();
  std::string dir = makeWorkdir(false);
  // 3 pixels wide, 24-bit: 9-byte rows, which the default alignment skews.
  std::string odd = tga(3, 2, 24, 0);
  for (int i = 0; i < 18; i++) odd += char(i * 10);
  writeFile(dir + "/odd.tga", odd);
  writeFile(dir + "/one.tga", tga(1, 1, 32, 0) + std::string("\x10\x20\x30\x40", 4));
  // The texels of a loaded file, as RGBA; the file's line checked on the way.
  auto load = [&](const std::string &name, size_t pixels) {
    testing::internal::CaptureStdout();
    GLuint t = loadTGA((dir + "/" + name).c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[*] texture " + dir + "/" + name + " loaded...\n");
    std::vector<unsigned char> texels(pixels * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, t);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return std::vector<int>(texels.begin(), texels.end());
  };
  std::vector<int> texels = load("odd.tga", 6);
  for (int p = 0; p < 6; p++) {
    EXPECT_EQ(texels[p * 4 + 0], (p * 3 + 2) * 10) << p;  // red was stored third
    EXPECT_EQ(texels[p * 4 + 1], (p * 3 + 1) * 10) << p;
    EXPECT_EQ(texels[p * 4 + 2], (p * 3 + 0) * 10) << p;
    EXPECT_EQ(texels[p * 4 + 3], 255) << p;  // 24-bit samples opaque
  }
  EXPECT_EQ(load("one.tga", 1), (std::vector<int>{0x30, 0x20, 0x10, 0x40}));
}
