// mkplane: builds the toy propeller plane as a Wavefront OBJ with its MTL.
//
//   mkplane <output.obj> <output.mtl>
//
// The nose points along +x, up is +y and the wings span along z. Every part
// is a closed surface wound counter-clockwise seen from outside, with one
// normal per vertex: averaged where the surface is smooth, per face where it
// has edges.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "vec3.h"

namespace {

const double kPi = 3.14159265358979323846;

using Vec = Vec3;

double smoothstep(double a, double b, double x)
{
    double t = (x - a) / (b - a);
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    return t * t * (3 - 2 * t);
}

using Tri = std::array<int, 3>;

// One OBJ group: positions, triangles and, once finished, normals.
struct Part {
    std::string group, material;
    std::vector<Vec> pos, nrm;
    std::vector<Tri> tris;

    int add(Vec p)
    {
        pos.push_back(p);
        return static_cast<int>(pos.size()) - 1;
    }

    // Makes the triangles added since `first` face outwards: a closed
    // surface has positive signed volume when wound counter-clockwise.
    void orient(size_t first)
    {
        double vol = 0;
        for (size_t i = first; i < tris.size(); ++i) {
            const Tri &t = tris[i];
            vol += dot(pos[t[0]], cross(pos[t[1]], pos[t[2]]));
        }
        if (vol < 0)
            for (size_t i = first; i < tris.size(); ++i)
                std::swap(tris[i][1], tris[i][2]);
    }

    // Area-weighted average of the faces around each vertex. Surfaces that
    // should look creased simply do not share vertices across the crease.
    void computeNormals()
    {
        nrm.assign(pos.size(), Vec{0, 0, 0});
        for (const Tri &t : tris) {
            const Vec n = cross(pos[t[1]] - pos[t[0]], pos[t[2]] - pos[t[0]]);
            for (int k : t)
                nrm[k] = nrm[k] + n;
        }
        for (Vec &n : nrm)
            n = unit(n);
    }
};

// A surface through a sequence of rings. A ring of one point is a pole.
// With `wrap` the last ring joins the first (a torus).
void loft(Part &part, const std::vector<std::vector<Vec>> &rings, bool wrap = false)
{
    const size_t first = part.tris.size();
    std::vector<std::vector<int>> ids;
    for (const auto &ring : rings) {
        std::vector<int> r;
        for (const Vec &p : ring)
            r.push_back(part.add(p));
        ids.push_back(r);
    }
    const size_t n = ids.size();
    for (size_t i = 0; i + 1 < n + (wrap ? 1 : 0); ++i) {
        const auto &a = ids[i], &b = ids[(i + 1) % n];
        if (a.size() == 1) {
            for (size_t k = 0; k < b.size(); ++k)
                part.tris.push_back({a[0], b[(k + 1) % b.size()], b[k]});
        } else if (b.size() == 1) {
            for (size_t k = 0; k < a.size(); ++k)
                part.tris.push_back({a[k], a[(k + 1) % a.size()], b[0]});
        } else {
            for (size_t k = 0; k < a.size(); ++k) {
                const size_t k1 = (k + 1) % a.size();
                part.tris.push_back({a[k], a[k1], b[k1]});
                part.tris.push_back({a[k], b[k1], b[k]});
            }
        }
    }
    part.orient(first);
}

// A body of revolution about an axis through `centre`. `profile` gives
// (distance along axis, radius) from one pole to the other.
void lathe(Part &part, Vec centre, Vec axis, Vec side, const std::vector<std::array<double, 2>> &profile,
           int segments, double squashUp = 1.0)
{
    const Vec up = cross(axis, side);
    std::vector<std::vector<Vec>> rings;
    for (const auto &pr : profile) {
        const Vec c = centre + axis * pr[0];
        if (pr[1] <= 1e-9) {
            rings.push_back({c});
            continue;
        }
        std::vector<Vec> ring;
        for (int k = 0; k < segments; ++k) {
            const double a = 2 * kPi * k / segments;
            ring.push_back(c + side * (pr[1] * std::cos(a)) + up * (pr[1] * squashUp * std::sin(a)));
        }
        rings.push_back(ring);
    }
    loft(part, rings);
}

// Profile sampled densely at the poles, where the curvature is.
std::vector<std::array<double, 2>> poleProfile(int n, double x0, double x1, double (*radius)(double, double),
                                               double exponent)
{
    std::vector<std::array<double, 2>> p;
    for (int i = 0; i <= n; ++i) {
        const double phi = kPi * i / n;
        const double x = x0 + (x1 - x0) * 0.5 * (1 - std::cos(phi));
        const double s = std::pow(std::sin(phi), exponent);
        p.push_back({x, (i == 0 || i == n) ? 0.0 : radius(x, 0) * s});
    }
    return p;
}

// Toy-like wing section: an ellipse, rounded at both edges and fuller
// towards the front. Points (chordwise 0..1 from the leading edge,
// thickness offset), counter-clockwise.
std::vector<std::array<double, 2>> airfoil(int n, double thickness)
{
    std::vector<std::array<double, 2>> pts;
    for (int k = 0; k < n; ++k) {
        const double th = 2 * kPi * k / n;
        const double c = 0.5 * (1 + std::cos(th));
        pts.push_back({c, 0.5 * thickness * std::sin(th) * (1.15 - 0.45 * c)});
    }
    return pts;
}

// A lifting surface lofted along its span: each station gives the leading
// edge point and the chord there (0 closes the surface to a tip).
struct Station {
    Vec leading;
    double chord;
};
void panel(Part &part, int foilPoints, double thickness, Vec chordDir, Vec thickDir,
           const std::vector<Station> &st)
{
    const auto foil = airfoil(foilPoints, thickness);
    std::vector<std::vector<Vec>> rings;
    for (const Station &s : st) {
        if (s.chord <= 1e-9) {
            rings.push_back({s.leading});
            continue;
        }
        std::vector<Vec> ring;
        for (const auto &f : foil)
            ring.push_back(s.leading + chordDir * (f[0] * s.chord) + thickDir * (f[1] * s.chord));
        rings.push_back(ring);
    }
    loft(part, rings);
}

// A flat-shaded box between two points, with a given cross-section.
void strut(Part &part, Vec a, Vec b, double w, double d)
{
    const Vec axis = unit(b - a);
    const Vec s = unit(cross(axis, std::fabs(axis.x) < 0.9 ? Vec{1, 0, 0} : Vec{0, 0, 1})) * (w / 2);
    const Vec t = unit(cross(axis, s)) * (d / 2);
    Vec c[8];
    for (int i = 0; i < 8; ++i)
        c[i] = ((i & 4) ? b : a) + s * ((i & 1) ? 1 : -1) + t * ((i & 2) ? 1 : -1);
    const int quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1},
                             {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    const size_t first = part.tris.size();
    for (const auto &q : quads) {
        int id[4];
        for (int k = 0; k < 4; ++k)
            id[k] = part.add(c[q[k]]);
        part.tris.push_back({id[0], id[1], id[2]});
        part.tris.push_back({id[0], id[2], id[3]});
    }
    // The faces are consistent with each other; orient() turns them all out.
    part.orient(first);
}

// ---------------------------------------------------------------- the plane

double fuselageRadius(double x, double)
{
    // Fat round nose, tapering to a slim tail.
    return 4.2 * (0.28 + 0.72 * smoothstep(-14.5, 3.5, x));
}
double fuselageLift(double x)
{
    // The tail cone rises towards the fin.
    return 1.2 * (1 - smoothstep(-14.0, -1.0, x));
}

void buildFuselage(Part &p)
{
    const auto prof = poleProfile(26, -14.0, 12.4, fuselageRadius, 0.55);
    const int seg = 22;
    std::vector<std::vector<Vec>> rings;
    for (const auto &pr : prof) {
        const Vec c{pr[0], fuselageLift(pr[0]), 0};
        if (pr[1] <= 0) {
            rings.push_back({c});
            continue;
        }
        std::vector<Vec> ring;
        for (int k = 0; k < seg; ++k) {
            const double a = 2 * kPi * k / seg;
            ring.push_back(c + Vec{0, pr[1] * 1.08 * std::sin(a), pr[1] * std::cos(a)});
        }
        rings.push_back(ring);
    }
    loft(p, rings);
}

void buildCanopy(Part &p)
{
    std::vector<std::array<double, 2>> prof;
    const int n = 12;
    for (int i = 0; i <= n; ++i) {
        const double phi = kPi * i / n;
        prof.push_back({-3.8 * std::cos(phi), (i == 0 || i == n) ? 0.0 : 2.1 * std::sin(phi)});
    }
    lathe(p, Vec{2.0, 3.2, 0}, Vec{1, 0, 0}, Vec{0, 0, 1}, prof, 16, 1.0);
}

// Span positions and chord factors for a surface with rounded tips: even
// steps along the straight part, then a quarter ellipse sampled by angle,
// so the tip closes smoothly to a point like the end of a lathe.
struct SpanStep {
    double pos, chordFactor;
};
std::vector<SpanStep> spanSteps(double span, double tipLen, int inner, int tip, bool twoTips)
{
    const double straight = span - tipLen;
    std::vector<SpanStep> out;
    auto tipSteps = [&](int sign, bool outward) {
        for (int j = 1; j <= tip; ++j) {
            const int jj = outward ? j : tip + 1 - j;
            const double psi = 0.5 * kPi * jj / tip;
            out.push_back({sign * (straight + tipLen * std::sin(psi)), jj == tip ? 0.0 : std::cos(psi)});
        }
    };
    if (twoTips) {
        tipSteps(-1, false);
        for (int i = 0; i <= inner; ++i)
            out.push_back({-straight + 2 * straight * i / inner, 1.0});
    } else {
        for (int i = 0; i <= inner; ++i)
            out.push_back({straight * i / inner, 1.0});
    }
    tipSteps(1, true);
    return out;
}

void buildWings(Part &p)
{
    // One wing through the fuselage, low-set, with dihedral and round tips.
    const double span = 17.0, rootChord = 7.4, tipChord = 4.6, y0 = -1.9;
    const double dihedral = std::tan(6.0 * kPi / 180);
    std::vector<Station> st;
    for (const SpanStep &s : spanSteps(span, 2.8, 10, 6, true)) {
        const double az = std::fabs(s.pos);
        const double full = rootChord + (tipChord - rootChord) * az / span;
        const double chord = full * s.chordFactor;
        // The rounded tip stays centred on the mid chord.
        const double le = 5.6 - 0.6 * az / span - (full - chord) / 2;
        st.push_back({Vec{le, y0 + dihedral * az, s.pos}, chord});
    }
    panel(p, 16, 0.19, Vec{-1, 0, 0}, Vec{0, 1, 0}, st);
}

void buildTail(Part &p)
{
    // Tailplane across the rear fuselage.
    {
        const double span = 6.6, root = 3.8, y = fuselageLift(-12.0) + 0.1;
        std::vector<Station> st;
        for (const SpanStep &s : spanSteps(span, 1.9, 6, 5, true)) {
            const double az = std::fabs(s.pos);
            const double full = root - 1.0 * az / span;
            const double chord = full * s.chordFactor;
            const double le = -10.4 - 0.8 * az / span - (full - chord) / 2;
            st.push_back({Vec{le, y, s.pos}, chord});
        }
        panel(p, 14, 0.17, Vec{-1, 0, 0}, Vec{0, 1, 0}, st);
    }
    // Fin, rising from inside the tail cone with a swept, rounded top.
    {
        const double base = fuselageLift(-12.0), height = 6.4, root = 4.6;
        std::vector<Station> st;
        st.push_back({Vec{-11.6, base - 0.3, 0}, 0.0});
        for (const SpanStep &s : spanSteps(height, 2.0, 5, 5, false)) {
            const double full = root - 1.6 * s.pos / height;
            const double chord = full * s.chordFactor;
            const double le = -10.2 - 2.2 * s.pos / height - (full - chord) / 2;
            st.push_back({Vec{le, base + s.pos, 0}, chord});
        }
        panel(p, 14, 0.2, Vec{-1, 0, 0}, Vec{0, 0, 1}, st);
    }
}

void buildSpinner(Part &p)
{
    std::vector<std::array<double, 2>> prof;
    const int n = 10;
    // Back pole hidden inside the nose; a blunt cone to the front pole.
    prof.push_back({0.0, 0.0});
    for (int i = 1; i < n; ++i) {
        const double t = static_cast<double>(i) / n;
        prof.push_back({0.4 + 2.8 * t * t, 1.75 * std::pow(1 - t * t, 0.5)});
    }
    prof.push_back({3.3, 0.0});
    lathe(p, Vec{11.6, 0, 0}, Vec{1, 0, 0}, Vec{0, 0, 1}, prof, 16, 1.0);
}

void buildPropeller(Part &p)
{
    // Two blades, up and down, twisted like a real airscrew.
    const double x = 13.2;
    for (int blade = 0; blade < 2; ++blade) {
        const double dir = blade == 0 ? 1 : -1;
        std::vector<std::vector<Vec>> rings;
        rings.push_back({Vec{x, dir * 0.6, 0}});
        const int n = 9, m = 10;
        const double len = 6.6;
        for (int i = 1; i < n; ++i) {
            const double t = static_cast<double>(i) / n;
            const double r = 0.6 + len * t;
            // Paddle outline: narrow at the root, widest two thirds out, round tip.
            const double width = 0.5 + 1.1 * std::sin(kPi * std::pow(t, 0.75)) + 0.2 * (1 - t);
            const double thick = 0.32 * (1 - 0.5 * t);
            const double twist = (40 - 25 * t) * kPi / 180 * dir;
            std::vector<Vec> ring;
            for (int k = 0; k < m; ++k) {
                const double a = 2 * kPi * k / m;
                const double cz = 0.5 * width * std::cos(a), cx = 0.5 * thick * std::sin(a);
                // Turn the section about the blade's long axis.
                ring.push_back(Vec{x + cx * std::cos(twist) - cz * std::sin(twist), dir * r,
                                   cx * std::sin(twist) + cz * std::cos(twist)});
            }
            rings.push_back(ring);
        }
        rings.push_back({Vec{x, dir * (0.6 + len), 0}});
        loft(p, rings);
    }
}

struct WheelPlace {
    Vec centre;
    double radius, tube;
};

void buildTyres(Part &p, const std::vector<WheelPlace> &wheels)
{
    for (const WheelPlace &w : wheels) {
        const int around = 14, tubeSeg = 8;
        std::vector<std::vector<Vec>> rings;
        for (int i = 0; i < around; ++i) {
            const double a = 2 * kPi * i / around;
            const Vec radial{std::cos(a), std::sin(a), 0};
            std::vector<Vec> ring;
            for (int k = 0; k < tubeSeg; ++k) {
                const double b = 2 * kPi * k / tubeSeg;
                // A fat, slightly squared tyre section.
                ring.push_back(w.centre + radial * (w.radius + w.tube * std::cos(b)) +
                               Vec{0, 0, w.tube * 1.1 * std::sin(b)});
            }
            rings.push_back(ring);
        }
        loft(p, rings, true);
    }
}

void buildGear(Part &p, const std::vector<WheelPlace> &wheels)
{
    for (const WheelPlace &w : wheels) {
        // Hub: a flattened ball filling the middle of the tyre.
        std::vector<std::array<double, 2>> prof;
        const int n = 6;
        const double halfW = w.tube * 1.15;
        for (int i = 0; i <= n; ++i) {
            const double phi = kPi * i / n;
            prof.push_back({-halfW * std::cos(phi), (i == 0 || i == n) ? 0.0 : w.radius * std::sin(phi)});
        }
        lathe(p, w.centre, Vec{0, 0, 1}, Vec{1, 0, 0}, prof, 12, 1.0);
    }
    // Legs from the wing to the main wheels, and a short one for the tail wheel.
    // Main legs end on the inner face of the hub.
    strut(p, Vec{4.6, -1.6, 3.0}, wheels[0].centre + Vec{0, 0, -0.8}, 0.7, 0.5);
    strut(p, Vec{4.6, -1.6, -3.0}, wheels[1].centre + Vec{0, 0, 0.8}, 0.7, 0.5);
    strut(p, Vec{-12.2, fuselageLift(-12.2) - 0.8, 0}, wheels[2].centre + Vec{0, 0.1, 0}, 0.35, 0.6);
}

struct Material {
    const char *name;
    double kd[3], ka[3], ks[3], ns;
};

const Material kMaterials[] = {
    {"body", {0.86, 0.18, 0.14}, {0.25, 0.05, 0.04}, {0.6, 0.6, 0.6}, 300},
    {"wing", {0.95, 0.92, 0.84}, {0.28, 0.27, 0.25}, {0.4, 0.4, 0.4}, 200},
    {"tail", {1.0, 0.62, 0.2}, {0.3, 0.18, 0.06}, {0.5, 0.5, 0.5}, 250},
    {"glass", {0.45, 0.72, 0.92}, {0.1, 0.16, 0.2}, {0.95, 0.95, 0.95}, 800},
    {"spinner", {1.0, 0.85, 0.3}, {0.3, 0.25, 0.08}, {0.8, 0.8, 0.8}, 500},
    {"blade", {0.22, 0.22, 0.25}, {0.06, 0.06, 0.07}, {0.3, 0.3, 0.3}, 150},
    {"rubber", {0.08, 0.08, 0.09}, {0.03, 0.03, 0.03}, {0.15, 0.15, 0.15}, 60},
    {"metal", {0.62, 0.63, 0.67}, {0.18, 0.18, 0.2}, {0.9, 0.9, 0.9}, 600},
};

bool writeMtl(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    std::fprintf(f, "# toy plane materials\n");
    for (const Material &m : kMaterials) {
        std::fprintf(f, "\nnewmtl %s\n", m.name);
        std::fprintf(f, "Ka %.3f %.3f %.3f\n", m.ka[0], m.ka[1], m.ka[2]);
        std::fprintf(f, "Kd %.3f %.3f %.3f\n", m.kd[0], m.kd[1], m.kd[2]);
        std::fprintf(f, "Ks %.3f %.3f %.3f\n", m.ks[0], m.ks[1], m.ks[2]);
        std::fprintf(f, "Ns %.1f\n", m.ns);
    }
    return std::fclose(f) == 0;
}

bool writeObj(const std::string &path, const std::string &mtlName, std::vector<Part> &parts, Vec shift)
{
    FILE *f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    size_t tris = 0;
    for (const Part &p : parts)
        tris += p.tris.size();
    std::fprintf(f, "# toy propeller plane: nose +x, up +y, wings along z\n");
    std::fprintf(f, "# %zu triangles\n", tris);
    std::fprintf(f, "mtllib %s\n", mtlName.c_str());
    size_t base = 1;
    for (const Part &p : parts) {
        std::fprintf(f, "\n");
        for (const Vec &v : p.pos)
            std::fprintf(f, "v %.5f %.5f %.5f\n", v.x - shift.x, v.y - shift.y, v.z - shift.z);
        for (const Vec &n : p.nrm)
            std::fprintf(f, "vn %.5f %.5f %.5f\n", n.x, n.y, n.z);
        std::fprintf(f, "g %s\n", p.group.c_str());
        std::fprintf(f, "usemtl %s\n", p.material.c_str());
        for (const Tri &t : p.tris) {
            const size_t a = base + t[0], b = base + t[1], c = base + t[2];
            std::fprintf(f, "f %zu//%zu %zu//%zu %zu//%zu\n", a, a, b, b, c, c);
        }
        base += p.pos.size();
    }
    return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <output.obj> <output.mtl>\n", argv[0]);
        return 2;
    }
    const std::string objPath = argv[1], mtlPath = argv[2];
    const std::string mtlName = mtlPath.substr(mtlPath.find_last_of('/') + 1);

    const std::vector<WheelPlace> wheels{{Vec{4.6, -6.4, 3.9}, 1.25, 0.7},
                                         {Vec{4.6, -6.4, -3.9}, 1.25, 0.7},
                                         {Vec{-12.6, -1.4, 0}, 0.55, 0.32}};
    std::vector<Part> parts(8);
    parts[0] = {"fuselage", "body", {}, {}, {}};
    parts[1] = {"canopy", "glass", {}, {}, {}};
    parts[2] = {"wings", "wing", {}, {}, {}};
    parts[3] = {"tail", "tail", {}, {}, {}};
    parts[4] = {"spinner", "spinner", {}, {}, {}};
    parts[5] = {"propeller", "blade", {}, {}, {}};
    parts[6] = {"wheels", "rubber", {}, {}, {}};
    parts[7] = {"gear", "metal", {}, {}, {}};
    buildFuselage(parts[0]);
    buildCanopy(parts[1]);
    buildWings(parts[2]);
    buildTail(parts[3]);
    buildSpinner(parts[4]);
    buildPropeller(parts[5]);
    buildTyres(parts[6], wheels);
    buildGear(parts[7], wheels);

    Vec lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
    for (Part &p : parts) {
        p.computeNormals();
        for (const Vec &v : p.pos) {
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
        }
    }
    const Vec centre = (lo + hi) * 0.5;
    if (!writeObj(objPath, mtlName, parts, centre) || !writeMtl(mtlPath)) {
        std::fprintf(stderr, "mkplane: cannot write %s / %s\n", objPath.c_str(), mtlPath.c_str());
        return 1;
    }
    return 0;
}
