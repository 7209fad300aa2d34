// The generated toy plane: read independently of the program, closed and
// facing outwards.
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
  for (const auto &t : m.tris)
    for (const Corner &c : t) {
      ASSERT_TRUE(c.v >= 1 && c.v <= long(m.v.size())) << c.v;
      ASSERT_TRUE(c.n >= 1 && c.n <= long(m.vn.size())) << c.n;
    }
  for (const char *g : {"fuselage", "wings", "tail", "propeller", "wheels"})
    EXPECT_TRUE(m.groupMaterial.count(g)) << g;
  for (const auto &[group, material] : m.groupMaterial)
    EXPECT_TRUE(m.materials.count(material)) << group << " uses " << material;

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
