// Data and its readers: the TGA reader, the generated toy plane, and the
// synthesiser of the soundtrack.
#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "../tools/tunesong.h"
#include "harness/harness.h"
#include "textures.h"

// TGA accept/reject table, the loader's messages and exit status, and what
// reaches the texture.
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

// Messages go to standard output; death tests see standard error.
void loadToStderr(const std::string &path) {
  dup2(2, 1);
  loadTGA(path.c_str());
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

// The generated toy plane: read independently of the program, closed and
// facing outwards.
namespace plane_test {

std::string dataPath(const std::string &rel) { return std::string(VY_SOURCE_DIR) + "/data/" + rel; }

struct Vec {
  double x, y, z;
};
Vec sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct Corner {
  long v, n;
};

// The plane read independently of the program's reader: faces as fans,
// every corner in the v//n form the model uses.
struct Model {
  std::string mtllib;
  std::vector<Vec> v, vn;
  std::vector<std::array<Corner, 3>> tris;
  std::vector<std::string> triGroup;
  std::map<std::string, std::string> groupMaterial;
  std::set<std::string> materials;
  std::vector<std::string> badLines;
};

Model loadModel() {
  Model m;
  std::istringstream f(readFile(dataPath("models/toyplane.obj")));
  std::string line, group = "default";
  while (std::getline(f, line)) {
    std::istringstream s(line);
    std::string k;
    if (!(s >> k) || k[0] == '#') continue;
    if (k == "v" || k == "vn") {
      Vec p{};
      s >> p.x >> p.y >> p.z;
      (k == "v" ? m.v : m.vn).push_back(p);
    } else if (k == "mtllib") {
      s >> m.mtllib;
    } else if (k == "g") {
      s >> group;
    } else if (k == "usemtl") {
      s >> m.groupMaterial[group];
    } else if (k == "f") {
      std::vector<Corner> c;
      for (std::string tok; s >> tok;) {
        c.push_back({0, 0});
        if (std::sscanf(tok.c_str(), "%ld//%ld", &c.back().v, &c.back().n) != 2) m.badLines.push_back(line);
      }
      for (size_t i = 2; i < c.size(); ++i) {
        m.tris.push_back({c[0], c[i - 1], c[i]});
        m.triGroup.push_back(group);
      }
    } else {
      m.badLines.push_back(line);
    }
  }
  std::istringstream mf(readFile(dataPath("models/" + m.mtllib)));
  while (std::getline(mf, line)) {
    std::istringstream s(line);
    std::string k, name;
    if ((s >> k) && k == "newmtl" && (s >> name)) m.materials.insert(name);
  }
  return m;
}

TEST(ToyPlane, KnownMaterialsClosedOutwardFacingSurfaces) {
  const Model m = loadModel();
  EXPECT_EQ(m.mtllib, "toyplane.mtl");
  ASSERT_TRUE(m.badLines.empty()) << m.badLines.front();
  EXPECT_GT(m.tris.size(), 1000u);
  for (const char *g : {"fuselage", "wings", "tail", "propeller", "wheels"})
    EXPECT_TRUE(m.groupMaterial.count(g)) << g;
  for (const auto &[group, material] : m.groupMaterial)
    EXPECT_TRUE(m.materials.count(material)) << group << " uses " << material;
  // Each group is closed and wound counter-clockwise from outside: its
  // signed volume is positive, and face windings agree with the normals.
  std::map<std::string, double> volume;
  size_t disagree = 0;
  for (size_t i = 0; i < m.tris.size(); ++i) {
    const auto &t = m.tris[i];
    const Vec a = m.v[t[0].v - 1], b = m.v[t[1].v - 1], c = m.v[t[2].v - 1];
    volume[m.triGroup[i]] += dot(a, cross(b, c)) / 6;
    const Vec fn = cross(sub(b, a), sub(c, a));
    const double len = std::sqrt(dot(fn, fn));
    if (len < 1e-12) continue;
    for (const Corner &k : t)
      if (dot(fn, m.vn[k.n - 1]) / len < 0) {
        ++disagree;
        break;
      }
  }
  for (const auto &gv : volume) EXPECT_GT(gv.second, 0) << gv.first;
  EXPECT_EQ(disagree, 0u);

  // Within a group every edge is shared by two triangles, once in each
  // direction. Flat faces have their own vertices, so edges are matched
  // by position.
  std::map<std::tuple<std::string, long, long, long>, long> ids;
  auto id = [&](const std::string &g, long v) {
    const Vec p = m.v[v - 1];
    const auto key = std::make_tuple(g, std::lround(p.x * 1e4), std::lround(p.y * 1e4), std::lround(p.z * 1e4));
    return ids.emplace(key, long(ids.size())).first->second;
  };
  std::map<std::pair<long, long>, int> edges;
  for (size_t i = 0; i < m.tris.size(); ++i) {
    long c[3];
    for (int k = 0; k < 3; ++k) c[k] = id(m.triGroup[i], m.tris[i][k].v);
    if (c[0] == c[1] || c[1] == c[2] || c[0] == c[2]) continue;
    for (int k = 0; k < 3; ++k) ++edges[{c[k], c[(k + 1) % 3]}];
  }
  size_t open = 0;
  for (const auto &e : edges) open += e.second != 1 || !edges.count({e.first.second, e.first.first});
  EXPECT_EQ(open, 0u);
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
