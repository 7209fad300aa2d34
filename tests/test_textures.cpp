// TGA accept/reject table, the loader's messages and exit status, and what
// reaches the texture.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "textures.h"

namespace {

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

// Messages go to standard output; death tests see standard error.
void loadToStderr(const std::string &path) {
  dup2(2, 1);
  loadTGA(path.c_str());
}

}  // namespace

TEST(TgaRead, AcceptRejectTable) {
  std::string withId = tga(2, 2, 24, 12);
  withId[0] = 1;
  std::string colourMap = tga(2, 2, 24, 12);
  colourMap[1] = 1;
  std::string originX = tga(2, 2, 24, 12);
  originX[8] = 5;
  std::string originY = tga(2, 2, 24, 12);
  originY[11] = 1;
  std::string footer = tga(2, 2, 32, 16) + std::string(26, 'X');
  std::string descriptor = tga(2, 2, 32, 16);
  descriptor[17] = 0x28;  // top-left origin: not consulted
  struct {
    const char *what;
    std::string bytes;
    TgaStatus status;
  } table[] = {
      {"24-bit", tga(3, 2, 24, 18), TGA_OK},
      {"32-bit", tga(2, 2, 32, 16), TGA_OK},
      {"footer after pixels", footer, TGA_OK},
      {"descriptor ignored", descriptor, TGA_OK},
      {"empty file", "", TGA_BAD_HEADER},
      {"short header", tga(2, 2, 24, 0).substr(0, 15), TGA_BAD_HEADER},
      {"run-length encoded", tga(2, 2, 24, 12, 10), TGA_BAD_HEADER},
      {"colour-mapped", tga(2, 2, 24, 12, 1), TGA_BAD_HEADER},
      {"image id", withId, TGA_BAD_HEADER},
      {"colour map", colourMap, TGA_BAD_HEADER},
      {"x origin", originX, TGA_BAD_HEADER},
      {"y origin", originY, TGA_BAD_HEADER},
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

// A short stream that claims a picture larger than memory is refused from
// its length, before anything of that size is allocated; a stream that
// cannot tell its length is still read to its end.
TEST(TgaRead, ShortStreamRefusedBeforeAllocating) {
  TgaImage image;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string small = tga(2, 1, 24, 6);
  ASSERT_EQ(write(fds[1], small.data(), small.size()), ssize_t(small.size()));
  close(fds[1]);
  FILE *f = fdopen(fds[0], "rb");
  EXPECT_EQ(tgaRead(f, &image), TGA_OK);
  EXPECT_EQ(image.width, 2u);
  free(image.pixels);
  fclose(f);
}

// Directories, devices and FIFOs (read as empty or endless files, or
// waiting for a writer) are refused as if missing.
TEST(LoadTga, FailureMessagesAndStatus) {
  std::string dir = makeWorkdir(false);
  writeFile(dir + "/rle.tga", tga(2, 2, 24, 12, 10));
  writeFile(dir + "/depth.tga", tga(2, 2, 16, 8));
  writeFile(dir + "/short.tga", tga(8, 8, 24, 100));
  mkdir((dir + "/dir.tga").c_str(), 0755);
  symlink("/dev/zero", (dir + "/zero.tga").c_str());
  mkfifo((dir + "/fifo.tga").c_str(), 0600);
  const std::pair<const char *, const char *> rows[] = {
      {"none", "^\\[! .*/none\\.tga\\] file not found \n$"}, {"dir", "^\\[! .*/dir\\.tga\\] file not found \n$"},
      {"zero", "^\\[! .*/zero\\.tga\\] file not found \n$"}, {"fifo", "^\\[! .*/fifo\\.tga\\] file not found \n$"},
      {"rle", "^\\[!\\] Unable to load .*/rle\\.tga$"},     {"depth", "^\\[!\\] .*/depth\\.tga was a corrupt image =/\n$"},
      {"short", "^\\[!\\] Unable to allocate memory for tga .*/short\\.tga\\.\\.\\.\n$"},
  };
  for (auto [name, line] : rows)
    EXPECT_EXIT(loadToStderr(dir + "/" + name + ".tga"), testing::ExitedWithCode(255), line) << name;
}

TEST(LoadTga, UploadsExactTexels) {
  ensureGlContext();
  std::string dir = makeWorkdir(false);
  // 3 pixels wide, 24-bit: 9-byte rows, which the default alignment skews.
  std::string odd = tga(3, 2, 24, 0);
  for (int i = 0; i < 18; i++) odd += char(i * 10);
  writeFile(dir + "/odd.tga", odd);
  writeFile(dir + "/one.tga", tga(1, 1, 32, 0) + std::string("\x10\x20\x30\x40", 4));

  testing::internal::CaptureStdout();
  GLuint a = loadTGA((dir + "/odd.tga").c_str());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "[*] texture " + dir + "/odd.tga loaded...\n");
  std::vector<unsigned char> texels(3 * 2 * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glBindTexture(GL_TEXTURE_2D, a);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  for (int p = 0; p < 6; p++) {
    EXPECT_EQ(texels[p * 4 + 0], (p * 3 + 2) * 10) << p;  // red was stored third
    EXPECT_EQ(texels[p * 4 + 1], (p * 3 + 1) * 10) << p;
    EXPECT_EQ(texels[p * 4 + 2], (p * 3 + 0) * 10) << p;
    EXPECT_EQ(texels[p * 4 + 3], 255) << p;  // 24-bit samples opaque
  }

  testing::internal::CaptureStdout();
  GLuint b = loadTGA((dir + "/one.tga").c_str());
  testing::internal::GetCapturedStdout();
  unsigned char one[4];
  glBindTexture(GL_TEXTURE_2D, b);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, one);
  EXPECT_EQ(std::vector<int>(one, one + 4), (std::vector<int>{0x30, 0x20, 0x10, 0x40}));
}
