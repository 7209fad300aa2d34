// Checks the generated pictures, the toy plane and the font in data/.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "harness/harness.h"

namespace {

std::string dataPath(const std::string &rel) { return std::string(VY_SOURCE_DIR) + "/data/" + rel; }

// An uncompressed TGA as the program loads it.
struct Tga {
  int width = 0, height = 0, bpp = 0;
  std::string bytes;
  // Picture coordinates: y = 0 is the top row; rows are stored bottom-up.
  const unsigned char *at(int x, int y) const {
    return (const unsigned char *)&bytes[18 + ((size_t)(height - 1 - y) * width + x) * (bpp / 8)];
  }
};

Tga loadTga(const std::string &name) {
  Tga t;
  t.bytes = readFile(dataPath("textures/" + name));
  if (t.bytes.size() < 18) return t;
  auto b = [&](int i) { return (unsigned char)t.bytes[i]; };
  t.width = b(12) | b(13) << 8;
  t.height = b(14) | b(15) << 8;
  t.bpp = b(16);
  return t;
}

// Fraction of pixels with alpha over 128 in a band of rows.
double coverage(const Tga &t, int y0, int y1) {
  size_t opaque = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = 0; x < t.width; ++x) opaque += t.at(x, y)[3] > 128;
  return double(opaque) / (double(y1 - y0) * t.width);
}

}  // namespace

// Uncompressed true-colour, rows needing no unpack alignment, the size the
// header says, the shape the program draws them at, and not blank.
TEST(Pictures, HeaderSizeAndContent) {
  const struct {
    const char *name;
    int bpp;
    double aspect;  // width / height
  } rows[] = {{"loader.tga", 24, 1.25},
              {"antenna.tga", 32, 0.5},
              {"commodore.tga", 24, 1.0},
              {"scroller.tga", 32, 32.0},
              {"greet.tga", 32, 5.0 / 16.0}};
  for (const auto &row : rows) {
    const Tga t = loadTga(row.name);
    ASSERT_GE(t.bytes.size(), 18u) << row.name;
    EXPECT_EQ(t.bytes.substr(0, 12), std::string("\0\0\2\0\0\0\0\0\0\0\0\0", 12)) << row.name;
    EXPECT_EQ(t.bpp, row.bpp) << row.name;
    EXPECT_EQ(t.bytes[17], row.bpp == 32 ? 8 : 0) << row.name;  // alpha bits, bottom-up
    ASSERT_GT(t.width * t.height, 0) << row.name;
    EXPECT_NEAR(double(t.width) / t.height, row.aspect, 1e-9) << row.name;
    EXPECT_EQ(t.width * (t.bpp / 8) % 4, 0) << row.name;
    ASSERT_EQ(t.bytes.size(), 18u + (size_t)t.width * t.height * (t.bpp / 8)) << row.name;
    std::set<unsigned> colours;
    for (int y = 0; y < t.height; y += 3)
      for (int x = 0; x < t.width; x += 3) {
        const unsigned char *p = t.at(x, y);
        colours.insert(p[0] | p[1] << 8 | p[2] << 16 | (t.bpp == 32 ? p[3] << 24 : 0));
      }
    EXPECT_GT(colours.size(), 50u) << row.name;
  }
}

TEST(Pictures, AntennaIsALightUprightTowerOnTransparency) {
  const Tga t = loadTga("antenna.tga");
  ASSERT_EQ(t.bpp, 32);
  for (auto [x, y] : {std::array<int, 2>{0, 0}, {t.width - 1, 0}, {0, t.height / 2}, {t.width - 1, t.height / 2}})
    EXPECT_EQ(t.at(x, y)[3], 0) << x << "," << y;
  // Wide at the foot, slender at the top: the file's first rows are the base.
  EXPECT_GT(coverage(t, t.height - 8, t.height), 0.4);
  EXPECT_LT(coverage(t, 0, t.height / 8), 0.1);
  EXPECT_GT(coverage(t, 0, t.height / 8), 0.0);
  // Drawn light, for the program to tint.
  size_t light = 0, opaque = 0;
  for (int y = 0; y < t.height; ++y)
    for (int x = 0; x < t.width; ++x)
      if (const unsigned char *p = t.at(x, y); p[3] == 255) {
        ++opaque;
        light += p[0] > 150 && p[1] > 150 && p[2] > 150;
      }
  ASSERT_GT(opaque, 0u);
  EXPECT_GT(double(light) / opaque, 0.95);
}

TEST(Pictures, GreetingsAreWhiteTextAndTheLoaderBarBandIsQuiet) {
  const Tga g = loadTga("greet.tga");
  ASSERT_EQ(g.bpp, 32);
  EXPECT_GT(coverage(g, 0, g.height), 0.02);
  EXPECT_LT(coverage(g, 0, g.height), 0.5);
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x) {
      const unsigned char *p = g.at(x, y);
      ASSERT_TRUE(p[3] == 0 || (p[0] > 250 && p[1] > 250 && p[2] > 250)) << x << "," << y;
    }
  // The bar covers 3 of 42 units across the middle: no bright text there.
  const Tga l = loadTga("loader.tga");
  ASSERT_EQ(l.bpp, 24);
  const int half = l.height * 3 / 84 + 4;
  for (int y = l.height / 2 - half; y < l.height / 2 + half; ++y)
    for (int x = 0; x < l.width; ++x) {
      const unsigned char *p = l.at(x, y);
      ASSERT_LT(p[0] + p[1] + p[2], 3 * 160) << x << "," << y;
    }
}

TEST(Font, ShippedWithItsLicence) {
  const std::string font = readFile(dataPath("fonts/crounded.ttf"));
  ASSERT_GT(font.size(), 10000u);
  EXPECT_EQ(font.substr(0, 4), std::string("\0\1\0\0", 4));  // TrueType outlines
  const std::string ofl = readFile(dataPath("fonts/OFL.txt"));
  EXPECT_NE(ofl.find("SIL Open Font License"), std::string::npos);
  EXPECT_NE(ofl.find("Comfortaa"), std::string::npos);
}

// ---------------------------------------------------------------- model

namespace {

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

}  // namespace

TEST(ToyPlane, ParsesWithSaneCountsAndKnownMaterials) {
  const Model m = loadModel();
  EXPECT_EQ(m.mtllib, "toyplane.mtl");
  EXPECT_TRUE(m.badLines.empty()) << m.badLines.front();
  EXPECT_GT(m.v.size(), 500u);
  EXPECT_EQ(m.vn.size(), m.v.size());
  EXPECT_GT(m.tris.size(), 1000u);
  EXPECT_LT(m.tris.size(), 6000u);
  for (const auto &t : m.tris)
    for (const Corner &c : t) {
      ASSERT_TRUE(c.v >= 1 && c.v <= long(m.v.size())) << c.v;
      ASSERT_TRUE(c.n >= 1 && c.n <= long(m.vn.size())) << c.n;
    }
  for (const Vec &n : m.vn) ASSERT_NEAR(std::sqrt(dot(n, n)), 1.0, 1e-3);
  for (const char *g : {"fuselage", "wings", "tail", "propeller", "wheels"})
    EXPECT_TRUE(m.groupMaterial.count(g)) << g;
  for (const auto &[group, material] : m.groupMaterial)
    EXPECT_TRUE(m.materials.count(material)) << group << " uses " << material;

  // The material file uses only keywords the program's reader handles.
  std::istringstream f(readFile(dataPath("models/toyplane.mtl")));
  int kd = 0;
  for (std::string line, k; std::getline(f, line);) {
    std::istringstream s(line);
    if (!(s >> k) || k[0] == '#') continue;
    EXPECT_TRUE(k == "newmtl" || k == "Ka" || k == "Kd" || k == "Ks" || k == "Ns") << k;
    double ns = -1;
    if (k == "Ns") {
      EXPECT_TRUE((s >> ns) && ns >= 0 && ns <= 1000) << line;
    }
    kd += k == "Kd";
  }
  EXPECT_GE(kd, 4);
}

TEST(ToyPlane, ClosedOutwardFacingSurfaces) {
  const Model m = loadModel();
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

TEST(ToyPlane, OrientedAndCentred) {
  const Model m = loadModel();
  double lo[3] = {1e9, 1e9, 1e9}, hi[3] = {-1e9, -1e9, -1e9};
  for (const Vec &p : m.v)
    for (int i = 0; i < 3; ++i) {
      const double c = i == 0 ? p.x : i == 1 ? p.y : p.z;
      lo[i] = std::min(lo[i], c);
      hi[i] = std::max(hi[i], c);
    }
  EXPECT_NEAR(hi[0] - lo[0], 30, 3);  // nose to tail
  EXPECT_LT(hi[1] - lo[1], 20);
  EXPECT_NEAR(hi[2] - lo[2], 34, 2);  // wingspan
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(lo[i] + hi[i], 0, 0.01) << "centred on axis " << i;

  // The propeller is at the front (+x), the fin at the back and on top.
  std::map<std::string, Vec> sum;
  std::map<std::string, size_t> count;
  for (size_t i = 0; i < m.tris.size(); ++i)
    for (const Corner &c : m.tris[i]) {
      const Vec p = m.v[c.v - 1];
      Vec &s = sum[m.triGroup[i]];
      s = {s.x + p.x, s.y + p.y, s.z + p.z};
      ++count[m.triGroup[i]];
    }
  ASSERT_GT(count["propeller"], 0u);
  ASSERT_GT(count["tail"], 0u);
  EXPECT_GT(sum["propeller"].x / count["propeller"], 10);
  EXPECT_LT(sum["tail"].x / count["tail"], -8);
  EXPECT_GT(sum["tail"].y / count["tail"], 0);
}
