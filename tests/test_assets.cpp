// Checks the generated pictures, the toy plane and the font in data/.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::string dataPath(const std::string &rel) { return std::string(VY_SOURCE_DIR) + "/data/" + rel; }

std::vector<unsigned char> readAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

struct Tga {
    int width = 0, height = 0, bpp = 0;
    std::vector<unsigned char> bytes;
    // Picture coordinates: y = 0 is the top row.
    const unsigned char *at(int x, int y) const
    {
        const int row = height - 1 - y;  // rows are stored bottom-up
        return &bytes[18 + (static_cast<size_t>(row) * width + x) * (bpp / 8)];
    }
};

Tga loadTga(const std::string &name)
{
    Tga t;
    t.bytes = readAll(dataPath("textures/" + name));
    if (t.bytes.size() < 18)
        return t;
    t.width = t.bytes[12] | (t.bytes[13] << 8);
    t.height = t.bytes[14] | (t.bytes[15] << 8);
    t.bpp = t.bytes[16];
    return t;
}

struct PictureCase {
    const char *name;
    int bpp;
    double aspect;  // width / height
};

class Picture : public ::testing::TestWithParam<PictureCase> {};

TEST_P(Picture, HeaderSizeAndContent)
{
    const PictureCase pc = GetParam();
    const Tga t = loadTga(pc.name);
    ASSERT_GE(t.bytes.size(), 18u) << pc.name;
    const unsigned char expected[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(t.bytes[i], expected[i]) << pc.name << " header byte " << i;
    EXPECT_EQ(t.bpp, pc.bpp);
    EXPECT_EQ(t.bytes[17], pc.bpp == 32 ? 8 : 0);
    ASSERT_GT(t.width, 0);
    ASSERT_GT(t.height, 0);
    EXPECT_NEAR(static_cast<double>(t.width) / t.height, pc.aspect, 1e-9);
    // Rows must need no unpack alignment.
    EXPECT_EQ(t.width * (t.bpp / 8) % 4, 0);
    ASSERT_EQ(t.bytes.size(), 18u + static_cast<size_t>(t.width) * t.height * (t.bpp / 8));

    // Not blank: plenty of distinct colours.
    std::set<unsigned> colours;
    for (int y = 0; y < t.height; y += 3)
        for (int x = 0; x < t.width; x += 3) {
            const unsigned char *p = t.at(x, y);
            colours.insert(p[0] | p[1] << 8 | p[2] << 16 | (t.bpp == 32 ? p[3] << 24 : 0));
        }
    EXPECT_GT(colours.size(), 50u) << pc.name;
}

INSTANTIATE_TEST_SUITE_P(Assets, Picture,
                         ::testing::Values(PictureCase{"loader.tga", 24, 1.25},
                                           PictureCase{"antenna.tga", 32, 0.5},
                                           PictureCase{"commodore.tga", 24, 1.0},
                                           PictureCase{"scroller.tga", 32, 32.0},
                                           PictureCase{"greet.tga", 32, 5.0 / 16.0}),
                         [](const auto &info) {
                             std::string n = info.param.name;
                             return n.substr(0, n.find('.'));
                         });

// Fraction of opaque pixels in a band of rows.
double coverage(const Tga &t, int y0, int y1)
{
    size_t opaque = 0, all = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < t.width; ++x, ++all)
            opaque += t.at(x, y)[3] > 128;
    return static_cast<double>(opaque) / all;
}

TEST(Antenna, TransparentAroundAnUprightTower)
{
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
        for (int x = 0; x < t.width; ++x) {
            const unsigned char *p = t.at(x, y);
            if (p[3] == 255) {
                ++opaque;
                light += p[0] > 150 && p[1] > 150 && p[2] > 150;
            }
        }
    ASSERT_GT(opaque, 0u);
    EXPECT_GT(static_cast<double>(light) / opaque, 0.95);
}

TEST(Greetings, WhiteTextOnTransparency)
{
    const Tga t = loadTga("greet.tga");
    ASSERT_EQ(t.bpp, 32);
    const double c = coverage(t, 0, t.height);
    EXPECT_GT(c, 0.02);
    EXPECT_LT(c, 0.5);
    for (int y = 0; y < t.height; ++y)
        for (int x = 0; x < t.width; ++x) {
            const unsigned char *p = t.at(x, y);
            if (p[3] > 0) {
                ASSERT_TRUE(p[0] > 250 && p[1] > 250 && p[2] > 250) << x << "," << y;
            }
        }
}

TEST(Loader, ProgressBandIsQuiet)
{
    const Tga t = loadTga("loader.tga");
    ASSERT_EQ(t.bpp, 24);
    // The bar covers 3 of 42 units across the middle: no bright text there.
    const int half = t.height * 3 / 84 + 4;
    for (int y = t.height / 2 - half; y < t.height / 2 + half; ++y)
        for (int x = 0; x < t.width; ++x) {
            const unsigned char *p = t.at(x, y);
            ASSERT_LT(p[0] + p[1] + p[2], 3 * 160) << x << "," << y;
        }
}

// ---------------------------------------------------------------- model

struct Vec {
    double x, y, z;
};
Vec sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct Corner {
    long v, n;
};

struct Model {
    std::string mtllib;
    std::vector<Vec> v, vn;
    std::vector<std::array<Corner, 3>> tris;
    std::vector<std::string> triGroup;
    std::map<std::string, std::string> groupMaterial;
    std::set<std::string> materials;
    std::vector<std::string> badLines;
};

Model loadModel()
{
    Model m;
    std::ifstream f(dataPath("models/toyplane.obj"));
    std::string line, group = "default";
    while (std::getline(f, line)) {
        std::istringstream s(line);
        std::string k;
        if (!(s >> k) || k[0] == '#')
            continue;
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
            std::string tok;
            while (s >> tok) {
                Corner cc{0, 0};
                if (std::sscanf(tok.c_str(), "%ld//%ld", &cc.v, &cc.n) != 2)
                    m.badLines.push_back(line);
                c.push_back(cc);
            }
            for (size_t i = 2; i < c.size(); ++i) {
                m.tris.push_back({c[0], c[i - 1], c[i]});
                m.triGroup.push_back(group);
            }
        } else {
            m.badLines.push_back(line);
        }
    }
    std::ifstream mf(dataPath("models/" + m.mtllib));
    while (std::getline(mf, line)) {
        std::istringstream s(line);
        std::string k, name;
        if ((s >> k) && k == "newmtl" && (s >> name))
            m.materials.insert(name);
    }
    return m;
}

TEST(ToyPlane, ParsesWithSaneCounts)
{
    const Model m = loadModel();
    EXPECT_EQ(m.mtllib, "toyplane.mtl");
    EXPECT_TRUE(m.badLines.empty()) << m.badLines.front();
    EXPECT_GT(m.v.size(), 500u);
    EXPECT_EQ(m.vn.size(), m.v.size());
    EXPECT_GT(m.tris.size(), 1000u);
    EXPECT_LT(m.tris.size(), 6000u);
    for (const auto &t : m.tris)
        for (const Corner &c : t) {
            ASSERT_GE(c.v, 1);
            ASSERT_LE(c.v, static_cast<long>(m.v.size()));
            ASSERT_GE(c.n, 1);
            ASSERT_LE(c.n, static_cast<long>(m.vn.size()));
        }
    for (const Vec &n : m.vn)
        ASSERT_NEAR(std::sqrt(dot(n, n)), 1.0, 1e-3);
    for (const char *g : {"fuselage", "wings", "tail", "propeller", "wheels"})
        EXPECT_TRUE(m.groupMaterial.count(g)) << g;
    for (const auto &gm : m.groupMaterial)
        EXPECT_TRUE(m.materials.count(gm.second)) << gm.first << " uses " << gm.second;
}

TEST(ToyPlane, MaterialFileUsesOnlyReadableKeywords)
{
    std::ifstream f(dataPath("models/toyplane.mtl"));
    std::string line;
    int kd = 0;
    while (std::getline(f, line)) {
        std::istringstream s(line);
        std::string k;
        if (!(s >> k) || k[0] == '#')
            continue;
        EXPECT_TRUE(k == "newmtl" || k == "Ka" || k == "Kd" || k == "Ks" || k == "Ns") << k;
        if (k == "Ns") {
            double ns = -1;
            s >> ns;
            EXPECT_GE(ns, 0);
            EXPECT_LE(ns, 1000);
        }
        kd += k == "Kd";
    }
    EXPECT_GE(kd, 4);
}

TEST(ToyPlane, ClosedOutwardFacingSurfaces)
{
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
        if (len < 1e-12)
            continue;
        for (const Corner &k : t)
            if (dot(fn, m.vn[k.n - 1]) / len < 0) {
                ++disagree;
                break;
            }
    }
    for (const auto &gv : volume)
        EXPECT_GT(gv.second, 0) << gv.first;
    EXPECT_EQ(disagree, 0u);

    // Within a group every edge is shared by two triangles, once in each
    // direction. Flat faces have their own vertices, so edges are matched
    // by position.
    std::map<std::tuple<std::string, long, long, long>, long> ids;
    auto id = [&](const std::string &g, long v) {
        const Vec p = m.v[v - 1];
        const auto key = std::make_tuple(g, std::lround(p.x * 1e4), std::lround(p.y * 1e4),
                                         std::lround(p.z * 1e4));
        return ids.emplace(key, static_cast<long>(ids.size())).first->second;
    };
    std::map<std::pair<long, long>, int> edges;
    for (size_t i = 0; i < m.tris.size(); ++i) {
        const auto &t = m.tris[i];
        long c[3];
        for (int k = 0; k < 3; ++k)
            c[k] = id(m.triGroup[i], t[k].v);
        if (c[0] == c[1] || c[1] == c[2] || c[0] == c[2])
            continue;
        for (int k = 0; k < 3; ++k)
            ++edges[{c[k], c[(k + 1) % 3]}];
    }
    size_t open = 0;
    for (const auto &e : edges)
        open += e.second != 1 || !edges.count({e.first.second, e.first.first});
    EXPECT_EQ(open, 0u);
}

TEST(ToyPlane, OrientedAndCentred)
{
    const Model m = loadModel();
    Vec lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
    for (const Vec &p : m.v) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    EXPECT_NEAR(hi.x - lo.x, 30, 3);  // nose to tail
    EXPECT_NEAR(hi.z - lo.z, 34, 2);  // wingspan
    EXPECT_LT(hi.y - lo.y, 20);
    EXPECT_NEAR(lo.x + hi.x, 0, 0.01);
    EXPECT_NEAR(lo.y + hi.y, 0, 0.01);
    EXPECT_NEAR(lo.z + hi.z, 0, 0.01);

    // The propeller is at the front (+x), the fin at the back and on top.
    Vec prop{0, 0, 0}, tail{0, 0, 0};
    size_t np = 0, nt = 0;
    for (size_t i = 0; i < m.tris.size(); ++i)
        for (const Corner &c : m.tris[i]) {
            const Vec p = m.v[c.v - 1];
            if (m.triGroup[i] == "propeller") {
                prop = {prop.x + p.x, prop.y + p.y, prop.z + p.z};
                ++np;
            } else if (m.triGroup[i] == "tail") {
                tail = {tail.x + p.x, tail.y + p.y, tail.z + p.z};
                ++nt;
            }
        }
    ASSERT_GT(np, 0u);
    ASSERT_GT(nt, 0u);
    EXPECT_GT(prop.x / np, 10);
    EXPECT_LT(tail.x / nt, -8);
    EXPECT_GT(tail.y / nt, 0);
}

TEST(Font, ShippedWithItsLicence)
{
    const auto font = readAll(dataPath("fonts/crounded.ttf"));
    ASSERT_GT(font.size(), 10000u);
    // TrueType outlines.
    EXPECT_EQ(font[0], 0);
    EXPECT_EQ(font[1], 1);
    EXPECT_EQ(font[2], 0);
    EXPECT_EQ(font[3], 0);
    const auto ofl = readAll(dataPath("fonts/OFL.txt"));
    const std::string text(ofl.begin(), ofl.end());
    EXPECT_NE(text.find("SIL Open Font License"), std::string::npos);
    EXPECT_NE(text.find("Comfortaa"), std::string::npos);
}

}  // namespace
