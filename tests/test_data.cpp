// Data and its readers: the TGA reader, the generated toy plane, and the
// synthesiser of the soundtrack.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "../tools/tunesong.h"
#include "harness/harness.h"
#include "glm/glm.h"
#include "textures.h"

// TGA accept/reject table and what reaches the texture; the loader's
// messages are tried through the program with every broken picture.
namespace tga_test {

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

}  // namespace tga_test

// The generated toy plane as the program reads it: no warning (every
// material is in its library), the five groups, and each group closed and
// wound counter-clockwise from outside: its signed volume is positive, face
// windings agree with the normals, and every edge is shared by two
// triangles, once in each direction. Flat faces have their own vertices, so
// edges are matched by position.
namespace plane_test {

struct Vec {
  double x, y, z;
};
Vec sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

TEST(ToyPlane, KnownMaterialsClosedOutwardFacingSurfaces) {
  testing::internal::CaptureStdout();
  GlmModel *m = glmReadOBJ((std::string(VY_SOURCE_DIR) + "/data/models/toyplane.obj").c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_STREQ(m->mtllib, "toyplane.mtl");
  EXPECT_GT(m->trianglecount, 1000u);
  for (const char *g : {" fuselage", " wings", " tail", " propeller", " wheels"}) {
    GlmGroup *group = glmFindGroup(m, g);
    ASSERT_NE(group, nullptr) << g;
    EXPECT_NE(group->material, 0u) << g;
  }
  auto at = [](const float *a, unsigned i) { return Vec{a[3 * i], a[3 * i + 1], a[3 * i + 2]}; };
  size_t disagree = 0, open = 0;
  for (GlmGroup *g = m->groups; g; g = g->next) {
    double volume = 0;
    std::map<std::tuple<long, long, long>, long> ids;
    auto id = [&](unsigned v) {
      const Vec p = at(m->vertices, v);
      const auto key = std::make_tuple(std::lround(p.x * 1e4), std::lround(p.y * 1e4), std::lround(p.z * 1e4));
      return ids.emplace(key, long(ids.size())).first->second;
    };
    std::map<std::pair<long, long>, int> edges;
    for (unsigned k = 0; k < g->trianglecount; ++k) {
      const GlmTriangle &t = m->triangles[g->triangles[k]];
      const Vec a = at(m->vertices, t.vertexindex[0]), b = at(m->vertices, t.vertexindex[1]),
                c = at(m->vertices, t.vertexindex[2]);
      volume += dot(a, cross(b, c)) / 6;
      const Vec fn = cross(sub(b, a), sub(c, a));
      bool against = false;
      for (unsigned n : t.normalindex) against |= !n || dot(fn, at(m->normals, n)) < -1e-12;
      disagree += against;
      const long e[3] = {id(t.vertexindex[0]), id(t.vertexindex[1]), id(t.vertexindex[2])};
      if (e[0] != e[1] && e[1] != e[2] && e[0] != e[2])
        for (int j = 0; j < 3; ++j) ++edges[{e[j], e[(j + 1) % 3]}];
    }
    EXPECT_TRUE(!g->trianglecount || volume > 0) << g->name;
    for (const auto &e : edges) open += e.second != 1 || !edges.count({e.first.second, e.first.first});
  }
  EXPECT_EQ(disagree, 0u);
  EXPECT_EQ(open, 0u);
  glmDelete(m);
}

}  // namespace plane_test

// The synthesiser behind the soundtrack renders the same track every time.
namespace tune_test {

TEST(TuneSynth, RenderIsDeterministic) {
  tune::Bus a = tune::renderTune(3.0), b = tune::renderTune(3.0);
  ASSERT_EQ(a.size(), size_t(3 * tune::kRate));
  EXPECT_EQ(a.l, b.l);
  EXPECT_EQ(a.r, b.r);
  EXPECT_GT(tune::rmsOf(a), 0.01);
}

}  // namespace tune_test
