// mkpictures: draws the production's pictures with Cairo and writes them as
// uncompressed TGA files that the texture loader accepts.
//
//   mkpictures <output dir> <font dir>
//
// The font dir holds Comfortaa-{Light,Regular,Bold}.ttf. Everything is drawn
// from code, so the output is the same on every run.

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vec3.h"

namespace {

const double kPi = 3.14159265358979323846;

struct Rgb {
    double r, g, b;
};

// One accent colour ties the pictures together; the rest is grey.
const Rgb kAmber{1.0, 0.58, 0.22};

struct Fonts {
    cairo_font_face_t *light = nullptr;
    cairo_font_face_t *regular = nullptr;
    cairo_font_face_t *bold = nullptr;
};

FT_Library gFt = nullptr;

cairo_font_face_t *loadFace(const std::string &path)
{
    FT_Face face = nullptr;
    if (FT_New_Face(gFt, path.c_str(), 0, &face) != 0) {
        std::fprintf(stderr, "mkpictures: cannot open font %s\n", path.c_str());
        std::exit(1);
    }
    // The face outlives every surface; freeing it is left to process exit.
    return cairo_ft_font_face_create_for_ft_face(face, 0);
}

void setColor(cairo_t *cr, const Rgb &c, double a = 1.0)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, a);
}

// ---------------------------------------------------------------- TGA output

// Writes the surface as an uncompressed true-colour TGA, rows bottom-up.
// Fully transparent pixels get the matte colour instead of black, so that
// linear filtering at the edges of a drawing does not pull in dark fringes.
// `mirror` stores the picture flipped left to right, for places where the
// program shows a texture from behind.
bool writeTga(const std::string &path, cairo_surface_t *s, bool alpha,
              bool mirror, const Rgb &matte = Rgb{1, 1, 1})
{
    cairo_surface_flush(s);
    const int w = cairo_image_surface_get_width(s);
    const int h = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char *data = cairo_image_surface_get_data(s);
    const int bpp = alpha ? 32 : 24;

    unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    header[12] = static_cast<unsigned char>(w & 255);
    header[13] = static_cast<unsigned char>(w >> 8);
    header[14] = static_cast<unsigned char>(h & 255);
    header[15] = static_cast<unsigned char>(h >> 8);
    header[16] = static_cast<unsigned char>(bpp);
    header[17] = alpha ? 8 : 0;  // alpha bits; origin bottom-left

    std::vector<unsigned char> out;
    out.reserve(static_cast<size_t>(w) * h * (bpp / 8));
    const unsigned mr = static_cast<unsigned>(std::lround(matte.r * 255));
    const unsigned mg = static_cast<unsigned>(std::lround(matte.g * 255));
    const unsigned mb = static_cast<unsigned>(std::lround(matte.b * 255));
    for (int y = h - 1; y >= 0; --y) {
        const uint32_t *row = reinterpret_cast<const uint32_t *>(data + static_cast<size_t>(y) * stride);
        for (int x = 0; x < w; ++x) {
            const uint32_t p = row[mirror ? w - 1 - x : x];
            unsigned a = p >> 24, r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
            if (alpha) {
                // Cairo keeps premultiplied colour; TGA wants it straight.
                if (a == 0) {
                    r = mr; g = mg; b = mb;
                } else if (a < 255) {
                    r = std::min(255u, (r * 255 + a / 2) / a);
                    g = std::min(255u, (g * 255 + a / 2) / a);
                    b = std::min(255u, (b * 255 + a / 2) / a);
                }
            }
            out.push_back(static_cast<unsigned char>(b));
            out.push_back(static_cast<unsigned char>(g));
            out.push_back(static_cast<unsigned char>(r));
            if (alpha)
                out.push_back(static_cast<unsigned char>(a));
        }
    }

    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header &&
              std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}

// ---------------------------------------------------------------- text

// Next UTF-8 sequence starting at i.
std::string nextGlyph(const std::string &s, size_t &i)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    std::string g = s.substr(i, n);
    i += n;
    return g;
}

double advance(cairo_t *cr, const std::string &s)
{
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    return e.x_advance;
}

// Width of a line set with extra space between letters.
double trackedWidth(cairo_t *cr, const std::string &s, double tracking)
{
    if (tracking == 0)
        return advance(cr, s);
    double w = 0;
    int n = 0;
    for (size_t i = 0; i < s.size(); ++n)
        w += advance(cr, nextGlyph(s, i));
    return w + tracking * std::max(0, n - 1);
}

void useFont(cairo_t *cr, cairo_font_face_t *face, double size)
{
    cairo_set_font_face(cr, face);
    cairo_set_font_size(cr, size);
}

// Adds the line to the current path; align -1 left, 0 centre, 1 right.
void textPath(cairo_t *cr, const std::string &s, double x, double y, int align,
              double tracking = 0)
{
    const double w = trackedWidth(cr, s, tracking);
    double pen = align < 0 ? x : align == 0 ? x - w / 2 : x - w;
    if (tracking == 0) {
        cairo_move_to(cr, pen, y);
        cairo_text_path(cr, s.c_str());
        return;
    }
    for (size_t i = 0; i < s.size();) {
        const std::string g = nextGlyph(s, i);
        cairo_move_to(cr, pen, y);
        cairo_text_path(cr, g.c_str());
        pen += advance(cr, g) + tracking;
    }
}

void fillText(cairo_t *cr, const std::string &s, double x, double y, int align,
              double tracking = 0)
{
    cairo_new_path(cr);
    textPath(cr, s, x, y, align, tracking);
    cairo_fill(cr);
}

void diamond(cairo_t *cr, double x, double y, double r)
{
    cairo_move_to(cr, x, y - r);
    cairo_line_to(cr, x + r, y);
    cairo_line_to(cr, x, y + r);
    cairo_line_to(cr, x - r, y);
    cairo_close_path(cr);
}

// ---------------------------------------------------------------- start screen

void drawLoader(cairo_t *cr, const Fonts &fonts, double W, double H)
{
    // Deep slate to black, with a soft light behind the title.
    cairo_pattern_t *bg = cairo_pattern_create_linear(0, 0, 0, H);
    cairo_pattern_add_color_stop_rgb(bg, 0, 0.085, 0.09, 0.105);
    cairo_pattern_add_color_stop_rgb(bg, 1, 0.018, 0.018, 0.024);
    cairo_set_source(cr, bg);
    cairo_paint(cr);
    cairo_pattern_destroy(bg);

    cairo_pattern_t *glow = cairo_pattern_create_radial(W / 2, H * 0.3, 0, W / 2, H * 0.3, W * 0.55);
    cairo_pattern_add_color_stop_rgba(glow, 0, 0.22, 0.2, 0.2, 0.55);
    cairo_pattern_add_color_stop_rgba(glow, 1, 0.22, 0.2, 0.2, 0);
    cairo_set_source(cr, glow);
    cairo_paint(cr);
    cairo_pattern_destroy(glow);

    // Fine dot grid.
    cairo_set_source_rgba(cr, 1, 1, 1, 0.07);
    for (double y = 16; y < H; y += 32)
        for (double x = 16; x < W; x += 32) {
            cairo_new_sub_path(cr);
            cairo_arc(cr, x, y, 1.2, 0, 2 * kPi);
        }
    cairo_fill(cr);

    // Radio rings spreading from a point under the screen.
    const double ringX = W / 2, ringY = H * 1.32;
    for (int i = 0; i < 14; ++i) {
        const double r = 420 + i * 68.0;
        cairo_new_path(cr);
        cairo_arc(cr, ringX, ringY, r, 0, 2 * kPi);
        if (i == 2) {
            setColor(cr, kAmber, 0.35);
            cairo_set_line_width(cr, 2.5);
        } else {
            cairo_set_source_rgba(cr, 1, 1, 1, 0.045 + 0.004 * (14 - i));
            cairo_set_line_width(cr, 1.5);
        }
        cairo_stroke(cr);
    }

    // A perspective floor grid fading towards the horizon.
    const double horizon = H * 0.78;
    cairo_save(cr);
    cairo_rectangle(cr, 0, horizon, W, H - horizon);
    cairo_clip(cr);
    cairo_push_group(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.16);
    cairo_set_line_width(cr, 1.2);
    for (int i = -24; i <= 24; ++i) {
        cairo_move_to(cr, W / 2 + i * 6.0, horizon);
        cairo_line_to(cr, W / 2 + i * 150.0, H + 40);
    }
    for (int k = 1; k < 16; ++k) {
        const double y = horizon + (H - horizon) * std::pow(k / 10.0, 2.0);
        cairo_move_to(cr, 0, y);
        cairo_line_to(cr, W, y);
    }
    cairo_stroke(cr);
    cairo_pattern_t *fadeMask = cairo_pattern_create_linear(0, horizon, 0, H);
    cairo_pattern_add_color_stop_rgba(fadeMask, 0, 0, 0, 0, 0);
    cairo_pattern_add_color_stop_rgba(fadeMask, 1, 0, 0, 0, 1);
    cairo_pop_group_to_source(cr);
    cairo_mask(cr, fadeMask);
    cairo_pattern_destroy(fadeMask);
    cairo_restore(cr);

    // Corner crop marks, like a test card.
    cairo_set_source_rgba(cr, 1, 1, 1, 0.35);
    cairo_set_line_width(cr, 2);
    const double m = 44, l = 26;
    for (int cx = 0; cx < 2; ++cx)
        for (int cy = 0; cy < 2; ++cy) {
            const double x = cx ? W - m : m, y = cy ? H - m : m;
            const double dx = cx ? -l : l, dy = cy ? -l : l;
            cairo_move_to(cr, x + dx, y);
            cairo_line_to(cr, x, y);
            cairo_line_to(cr, x, y + dy);
        }
    cairo_stroke(cr);

    // Small print along the top.
    useFont(cr, fonts.regular, 19);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.55);
    fillText(cr, "A REAL-TIME PRODUCTION", 84, 92, -1, 5);
    fillText(cr, "TRANSMISSION 01", W - 84, 92, 1, 5);
    setColor(cr, kAmber, 0.9);
    cairo_new_path(cr);
    cairo_arc(cr, W - 84 - trackedWidth(cr, "TRANSMISSION 01", 5) - 20, 85, 6, 0, 2 * kPi);
    cairo_fill(cr);

    // The title. The hyphen carries the accent.
    const double titleSize = 270, titleBase = 352;
    useFont(cr, fonts.bold, titleSize);
    const double wVy = advance(cr, "vy"), wDash = advance(cr, "-"), w01 = advance(cr, "01");
    const double x0 = W / 2 - (wVy + wDash + w01) / 2;
    // Shadow first, then the letters with a faint vertical sheen.
    cairo_new_path(cr);
    cairo_move_to(cr, x0 + 6, titleBase + 8);
    cairo_text_path(cr, "vy");
    cairo_move_to(cr, x0 + wVy + wDash + 6, titleBase + 8);
    cairo_text_path(cr, "01");
    cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
    cairo_fill(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, x0, titleBase);
    cairo_text_path(cr, "vy");
    cairo_move_to(cr, x0 + wVy + wDash, titleBase);
    cairo_text_path(cr, "01");
    cairo_pattern_t *sheen = cairo_pattern_create_linear(0, titleBase - 200, 0, titleBase);
    cairo_pattern_add_color_stop_rgb(sheen, 0, 1, 1, 1);
    cairo_pattern_add_color_stop_rgb(sheen, 1, 0.78, 0.79, 0.82);
    cairo_set_source(cr, sheen);
    cairo_fill(cr);
    cairo_pattern_destroy(sheen);
    cairo_new_path(cr);
    cairo_move_to(cr, x0 + wVy, titleBase);
    cairo_text_path(cr, "-");
    setColor(cr, kAmber);
    cairo_fill(cr);

    // Just above and below the progress band, which stays clear.
    useFont(cr, fonts.regular, 17);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.5);
    fillText(cr, "TUNING IN", W / 2, H / 2 - 70, 0, 9);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, W / 2 - 300, H / 2 - 76);
    cairo_line_to(cr, W / 2 - 110, H / 2 - 76);
    cairo_move_to(cr, W / 2 + 110, H / 2 - 76);
    cairo_line_to(cr, W / 2 + 300, H / 2 - 76);
    cairo_stroke(cr);

    // Subtitle.
    useFont(cr, fonts.light, 92);
    const double wSub = advance(cr, "the zembrit"), wDot = advance(cr, ".");
    const double sx = W / 2 - (wSub + wDot) / 2, sy = H / 2 + 196;
    cairo_set_source_rgb(cr, 0.9, 0.9, 0.92);
    cairo_new_path(cr);
    cairo_move_to(cr, sx, sy);
    cairo_text_path(cr, "the zembrit");
    cairo_fill(cr);
    useFont(cr, fonts.bold, 92);
    setColor(cr, kAmber);
    cairo_new_path(cr);
    cairo_move_to(cr, sx + wSub, sy);
    cairo_text_path(cr, ".");
    cairo_fill(cr);

    // Credit line at the foot.
    useFont(cr, fonts.regular, 22);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.62);
    fillText(cr, "code  \xc2\xb7  music  \xc2\xb7  pictures  \xe2\x80\x94  the vy crew", W / 2, H - 92, 0, 3);
    useFont(cr, fonts.regular, 15);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.33);
    fillText(cr, "HEADPHONES RECOMMENDED", W / 2, H - 58, 0, 6);
}
// A dish seen at an angle: the bowl as half an ellipse, its rim brighter.
static void dishBowl(cairo_t *cr, double radius, double bowlSquash, double rimSquash)
{
    cairo_save(cr);
    cairo_scale(cr, 1, bowlSquash);
    cairo_arc(cr, 0, 0, radius, 0, kPi);
    cairo_restore(cr);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.86, 0.86, 0.88);
    cairo_fill(cr);
    cairo_save(cr);
    cairo_scale(cr, 1, rimSquash);
    cairo_arc(cr, 0, 0, radius, 0, 2 * kPi);
    cairo_restore(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);
}


// ---------------------------------------------------------------- antenna

void drawAntenna(cairo_t *cr, double W, double H)
{
    const double cx = W / 2;
    const double base = H - 14, top = H * 0.3;
    auto half = [&](double y) {
        const double t = (base - y) / (base - top);
        return 66.0 * (1 - t) + 10.0 * t;
    };
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);

    // Section boundaries, shorter towards the top.
    std::vector<double> ys{base};
    for (double h = 58; ys.back() - h > top + 12; h *= 0.87)
        ys.push_back(ys.back() - h);
    ys.push_back(top);

    // Braces first, in a softer grey, so that the legs sit on top.
    cairo_set_source_rgb(cr, 0.8, 0.8, 0.82);
    cairo_set_line_width(cr, 1.8);
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        const double y0 = ys[i], y1 = ys[i + 1];
        cairo_move_to(cr, cx - half(y0), y0);
        cairo_line_to(cr, cx + half(y1), y1);
        cairo_move_to(cr, cx + half(y0), y0);
        cairo_line_to(cr, cx - half(y1), y1);
        // Inner diamond of the lower, wider sections.
        if (half(y0) > 30) {
            const double ym = (y0 + y1) / 2;
            cairo_move_to(cr, cx, y0);
            cairo_line_to(cr, cx - half(ym), ym);
            cairo_line_to(cr, cx, y1);
            cairo_line_to(cr, cx + half(ym), ym);
            cairo_close_path(cr);
        }
    }
    cairo_stroke(cr);

    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 2.6);
    for (double y : ys) {
        cairo_move_to(cr, cx - half(y), y);
        cairo_line_to(cr, cx + half(y), y);
    }
    cairo_stroke(cr);
    cairo_set_line_width(cr, 4.5);
    cairo_move_to(cr, cx - half(base), base);
    cairo_line_to(cr, cx - half(top), top);
    cairo_move_to(cr, cx + half(base), base);
    cairo_line_to(cr, cx + half(top), top);
    cairo_stroke(cr);

    // Plinth.
    cairo_move_to(cr, cx - 86, H - 2);
    cairo_line_to(cr, cx + 86, H - 2);
    cairo_line_to(cr, cx + 76, base);
    cairo_line_to(cr, cx - 76, base);
    cairo_close_path(cr);
    cairo_fill(cr);

    // Service platform with a railing, two thirds up.
    const double py = ys[ys.size() * 2 / 3];
    const double pw = half(py) + 16;
    cairo_rectangle(cr, cx - pw, py - 2, 2 * pw, 5);
    cairo_fill(cr);
    cairo_set_line_width(cr, 1.6);
    for (double x = -pw; x <= pw + 0.1; x += pw / 4) {
        cairo_move_to(cr, cx + x, py - 2);
        cairo_line_to(cr, cx + x, py - 15);
    }
    cairo_move_to(cr, cx - pw, py - 15);
    cairo_line_to(cr, cx + pw, py - 15);
    cairo_stroke(cr);

    // A dish on an arm at the left, looking up and away.
    const double dy = ys[ys.size() / 3];
    const double dx = cx - half(dy) - 30;
    cairo_set_line_width(cr, 3);
    cairo_move_to(cr, cx - half(dy), dy);
    cairo_line_to(cr, dx + 6, dy + 4);
    cairo_stroke(cr);
    cairo_save(cr);
    cairo_translate(cr, dx, dy);
    cairo_rotate(cr, -0.55);
    dishBowl(cr, 30, 0.42, 0.16);
    cairo_set_line_width(cr, 1.6);
    cairo_move_to(cr, -26, -1);
    cairo_line_to(cr, 0, -24);
    cairo_line_to(cr, 26, -1);
    cairo_stroke(cr);
    cairo_arc(cr, 0, -25, 3.2, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_restore(cr);

    // A second, smaller dish on the right, lower down.
    const double ey = ys[1] - 10;
    const double ex = cx + half(ey) + 20;
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 2.5);
    cairo_move_to(cr, cx + half(ey), ey);
    cairo_line_to(cr, ex - 4, ey + 2);
    cairo_stroke(cr);
    cairo_save(cr);
    cairo_translate(cr, ex, ey);
    cairo_rotate(cr, 0.5);
    dishBowl(cr, 17, 0.45, 0.18);
    cairo_restore(cr);

    // Equipment hut at the top of the lattice, then the mast.
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, cx - 17, top - 18, 34, 18);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.72, 0.72, 0.75);
    cairo_rectangle(cr, cx - 12, top - 13, 8, 6);
    cairo_rectangle(cr, cx + 4, top - 13, 8, 6);
    cairo_fill(cr);

    const double mastTop = 12;
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, cx - 3.5, top - 18);
    cairo_line_to(cr, cx - 1.3, mastTop);
    cairo_line_to(cr, cx + 1.3, mastTop);
    cairo_line_to(cr, cx + 3.5, top - 18);
    cairo_close_path(cr);
    cairo_fill(cr);
    // Panel antennas on both sides of the mast foot.
    for (int s = -1; s <= 1; s += 2) {
        cairo_rectangle(cr, cx + s * 9 - 3, top - 62, 6, 34);
        cairo_fill(cr);
        cairo_set_line_width(cr, 1.5);
        cairo_move_to(cr, cx + s * 3, top - 45);
        cairo_line_to(cr, cx + s * 6, top - 45);
        cairo_stroke(cr);
    }
    // Dipole crossbars, shrinking upwards.
    cairo_set_line_width(cr, 2);
    for (int i = 0; i < 4; ++i) {
        const double y = top - 78 - i * 17;
        const double w = 16 - i * 3;
        cairo_move_to(cr, cx - w, y);
        cairo_line_to(cr, cx + w, y);
        cairo_move_to(cr, cx - w, y - 4);
        cairo_line_to(cr, cx - w, y + 4);
        cairo_move_to(cr, cx + w, y - 4);
        cairo_line_to(cr, cx + w, y + 4);
    }
    cairo_stroke(cr);

    // The beacon, with a halo.
    cairo_pattern_t *halo = cairo_pattern_create_radial(cx, mastTop - 2, 0, cx, mastTop - 2, 11);
    cairo_pattern_add_color_stop_rgba(halo, 0, 1, 1, 1, 0.9);
    cairo_pattern_add_color_stop_rgba(halo, 1, 1, 1, 1, 0);
    cairo_set_source(cr, halo);
    cairo_arc(cr, cx, mastTop - 2, 11, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(halo);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_arc(cr, cx, mastTop - 2, 4, 0, 2 * kPi);
    cairo_fill(cr);
}

// ---------------------------------------------------------------- home computer

using V3 = Vec3;

struct P2 {
    double x, y;
};

// A small perspective camera: turns the world, pushes it away and projects
// it onto the picture.
struct Camera {
    double yaw, pitch, dist, focal, ox = 0, oy = 0;

    V3 view(V3 p) const
    {
        const double cy = std::cos(yaw), sy = std::sin(yaw);
        V3 a{cy * p.x + sy * p.z, p.y, -sy * p.x + cy * p.z};
        const double cp = std::cos(pitch), sp = std::sin(pitch);
        V3 b{a.x, cp * a.y - sp * a.z, sp * a.y + cp * a.z};
        return {b.x, b.y, b.z - dist};
    }
    P2 project(V3 p) const
    {
        const V3 v = view(p);
        return {ox + focal * v.x / -v.z, oy - focal * v.y / -v.z};
    }
};

const V3 kLight = unit(V3{-0.45, 1.0, 0.65});

Rgb shade(const Rgb &c, V3 normal, double ambient = 0.45)
{
    const double d = std::max(0.0, dot(unit(normal), kLight));
    const double k = ambient + (1 - ambient) * d;
    return {c.r * k, c.g * k, c.b * k};
}

void polyPath(cairo_t *cr, const Camera &cam, const std::vector<V3> &pts)
{
    cairo_new_path(cr);
    for (size_t i = 0; i < pts.size(); ++i) {
        const P2 p = cam.project(pts[i]);
        if (i == 0)
            cairo_move_to(cr, p.x, p.y);
        else
            cairo_line_to(cr, p.x, p.y);
    }
    cairo_close_path(cr);
}

// Fills a planar polygon given counter-clockwise from outside, if it faces
// the camera.
void face(cairo_t *cr, const Camera &cam, const std::vector<V3> &pts, const Rgb &c,
          double ambient = 0.45, double edge = 0.0)
{
    const V3 n = cross(pts[1] - pts[0], pts[2] - pts[0]);
    const V3 eye = cam.view(pts[0]);
    // Compare against the direction from the eye, in view space.
    const V3 nv = cam.view(pts[0] + n) - eye;
    if (dot(nv, eye) >= 0)
        return;
    polyPath(cr, cam, pts);
    setColor(cr, shade(c, n, ambient));
    if (edge > 0) {
        cairo_fill_preserve(cr);
        cairo_set_source_rgba(cr, 1, 1, 1, edge);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    } else {
        cairo_fill(cr);
    }
}

// A prism from a convex profile in the (z, y) plane, extruded from x0 to x1.
void prism(cairo_t *cr, const Camera &cam, const std::vector<P2> &profile, double x0,
           double x1, const Rgb &c, double edge = 0.0)
{
    const size_t n = profile.size();
    std::vector<V3> left, right;
    for (size_t i = 0; i < n; ++i) {
        left.push_back({x0, profile[i].y, profile[i].x});
        right.push_back({x1, profile[n - 1 - i].y, profile[n - 1 - i].x});
    }
    // The profile runs clockwise seen from +x.
    face(cr, cam, right, c, 0.45, edge);
    face(cr, cam, left, c, 0.45, edge);
    for (size_t i = 0; i < n; ++i) {
        const P2 a = profile[i], b = profile[(i + 1) % n];
        face(cr, cam, {{x0, a.y, a.x}, {x1, a.y, a.x}, {x1, b.y, b.x}, {x0, b.y, b.x}}, c, 0.45,
             edge);
    }
}

// The sloping top of the case as a little coordinate system: u across, v
// from the front edge to the back, w out of the surface.
struct Deck {
    V3 origin, u, v, w;
    V3 at(double a, double b, double h = 0) const { return origin + u * a + v * b + w * h; }
};

struct Key {
    double u, v, width, depth;
    std::string label;
    bool accent;
};

void drawKey(cairo_t *cr, const Camera &cam, const Deck &deck, const Key &k,
             cairo_font_face_t *font)
{
    const double gap = 0.12, inset = 0.26, height = 1.1;
    const double a0 = k.u + gap, a1 = k.u + k.width - gap;
    const double b0 = k.v + gap, b1 = k.v + k.depth - gap;
    const V3 p00 = deck.at(a0, b0), p10 = deck.at(a1, b0), p11 = deck.at(a1, b1), p01 = deck.at(a0, b1);
    const V3 q00 = deck.at(a0 + inset, b0 + inset * 1.3, height);
    const V3 q10 = deck.at(a1 - inset, b0 + inset * 1.3, height);
    const V3 q11 = deck.at(a1 - inset, b1 - inset * 0.6, height);
    const V3 q01 = deck.at(a0 + inset, b1 - inset * 0.6, height);
    const Rgb body = k.accent ? Rgb{0.75, 0.4, 0.13} : Rgb{0.2, 0.18, 0.17};
    face(cr, cam, {p01, p11, q11, q01}, body);  // back
    face(cr, cam, {p00, p01, q01, q00}, body);  // left
    face(cr, cam, {p10, q10, q11, p11}, body);  // right
    face(cr, cam, {p00, q00, q10, p10}, body);  // front
    const Rgb top = k.accent ? Rgb{1.0, 0.66, 0.3} : Rgb{0.43, 0.4, 0.37};
    face(cr, cam, {q00, q10, q11, q01}, top, 0.55);

    if (k.label.empty())
        return;
    // Print the legend on the cap through the cap's own projected axes.
    const P2 A = cam.project(q00), B = cam.project(q10), D = cam.project(q01);
    cairo_save(cr);
    cairo_matrix_t m;
    cairo_matrix_init(&m, B.x - A.x, B.y - A.y, A.x - D.x, A.y - D.y, D.x, D.y);
    cairo_transform(cr, &m);
    const double capW = (a1 - a0 - 2 * inset), capD = (b1 - b0 - 1.9 * inset);
    // Font units relative to the cap, keeping letters square.
    cairo_scale(cr, 1.0 / capW, 1.0 / capD);
    useFont(cr, font, k.label.size() > 1 ? 0.55 : 0.8);
    if (k.accent)
        cairo_set_source_rgb(cr, 0.2, 0.12, 0.06);
    else
        cairo_set_source_rgb(cr, 0.93, 0.9, 0.84);
    fillText(cr, k.label, k.label.size() > 1 ? capW / 2 : capW * 0.3, capD * 0.55, k.label.size() > 1 ? 0 : -1);
    cairo_restore(cr);
}

// Soft shadow: a polygon filled repeatedly with growing strokes.
void softShadow(cairo_t *cr, const Camera &cam, const std::vector<V3> &pts, double spread)
{
    for (int i = 10; i >= 0; --i) {
        polyPath(cr, cam, pts);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.07);
        cairo_set_line_width(cr, spread * i / 10.0 + 0.1);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_fill_preserve(cr);
        cairo_stroke(cr);
    }
}

void drawComputer(cairo_t *cr, const Fonts &fonts, double W, double H)
{
    // Floor: dark, with a tile grid whose period divides the picture, so it
    // tiles seamlessly as a floor texture.
    cairo_set_source_rgb(cr, 0.085, 0.09, 0.1);
    cairo_paint(cr);
    cairo_set_line_width(cr, 2);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.045);
    for (double x = 0; x < W; x += 64) {
        cairo_move_to(cr, x + 1, 0);
        cairo_line_to(cr, x + 1, H);
    }
    for (double y = 0; y < H; y += 64) {
        cairo_move_to(cr, 0, y + 1);
        cairo_line_to(cr, W, y + 1);
    }
    cairo_stroke(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.1);
    for (double y = 0; y < H; y += 128)
        for (double x = 0; x < W; x += 128) {
            cairo_rectangle(cr, x - 3, y - 3, 8, 8);
        }
    cairo_fill(cr);

    Camera cam{-0.42, 0.9, 78, 1, 0, 0};
    // Fit the case's outline into the middle of the picture.
    {
        double minx = 1e9, maxx = -1e9, miny = 1e9, maxy = -1e9;
        for (double x : {-20.0, 20.0})
            for (double y : {0.0, 5.0})
                for (double z : {-10.0, 10.0}) {
                    const P2 p = cam.project({x, y, z});
                    minx = std::min(minx, p.x); maxx = std::max(maxx, p.x);
                    miny = std::min(miny, p.y); maxy = std::max(maxy, p.y);
                }
        cam.focal = 0.8 * W / (maxx - minx);
        cam.ox = W / 2 - cam.focal * (minx + maxx) / 2 + 10;
        cam.oy = H * 0.46 - cam.focal * (miny + maxy) / 2;
    }

    // Joystick first: it stands in front of and left of the computer.
    const V3 joy{-12, 0, 23};
    const V3 port{-20, 1.2, 4.5};

    softShadow(cr, cam, {{-20.6, 0, -10.6}, {20.6, 0, -10.6}, {20.6, 0, 11}, {-20.6, 0, 11}}, 28);
    softShadow(cr, cam, {{joy.x - 4, 0, joy.z - 4}, {joy.x + 4, 0, joy.z - 4},
                         {joy.x + 4, 0, joy.z + 4.5}, {joy.x - 4, 0, joy.z + 4.5}}, 16);

    // Its cable curls across the floor into the side of the case.
    {
        std::vector<V3> c{{joy.x, 0.3, joy.z - 3.2}, {joy.x - 3, 0.3, joy.z - 9},
                          {-30, 0.3, 16}, {port.x - 3, 0.6, port.z}};
        cairo_new_path(cr);
        const P2 a = cam.project(c[0]), b = cam.project(c[1]), d = cam.project(c[2]),
                 e = cam.project(c[3]);
        cairo_move_to(cr, a.x, a.y);
        cairo_curve_to(cr, b.x, b.y, d.x, d.y, e.x, e.y);
        const P2 f = cam.project(port);
        cairo_line_to(cr, f.x, f.y);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_source_rgb(cr, 0.03, 0.03, 0.035);
        cairo_set_line_width(cr, 9);
        cairo_stroke_preserve(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.22);
        cairo_set_line_width(cr, 3);
        cairo_stroke(cr);
    }

    // The case: a wedge with bevelled front and back edges, in (z, y).
    const std::vector<P2> profile{{10.0, 0.0}, {-10.0, 0.0}, {-10.0, 4.3}, {-9.3, 5.0},
                                  {9.3, 2.4}, {10.0, 1.7}};
    const Rgb caseColor{0.78, 0.72, 0.6};
    prism(cr, cam, profile, -20, 20, caseColor, 0.08);

    // Port on the left side.
    face(cr, cam, {{-20.01, 0.6, 3.2}, {-20.01, 0.6, 5.8}, {-20.01, 1.8, 5.8}, {-20.01, 1.8, 3.2}},
         Rgb{0.1, 0.1, 0.1}, 0.9);

    const V3 front{0, 2.4, 9.3}, back{0, 5.0, -9.3};
    Deck deck;
    deck.origin = front;
    deck.u = {1, 0, 0};
    deck.v = unit(back - front);
    deck.w = unit(cross(deck.u, deck.v)) * -1;
    if (deck.w.y < 0)
        deck.w = deck.w * -1;
    const double depth = std::sqrt(dot(back - front, back - front));
    const double pitch = 1.95;
    const double kbLeft = -18.8, kbFront = 1.2;

    // Keyboard well.
    face(cr, cam, {deck.at(kbLeft - 0.4, kbFront - 0.4, 0.01), deck.at(kbLeft + 16 * pitch + 0.4, kbFront - 0.4, 0.01),
                   deck.at(kbLeft + 16 * pitch + 0.4, kbFront + 5 * pitch + 0.4, 0.01),
                   deck.at(kbLeft - 0.4, kbFront + 5 * pitch + 0.4, 0.01)},
         Rgb{0.16, 0.14, 0.13}, 0.6);
    const double fnLeft = kbLeft + 16 * pitch + 1.6;
    face(cr, cam, {deck.at(fnLeft - 0.4, kbFront + pitch - 0.4, 0.01), deck.at(fnLeft + 3.3 + 0.4, kbFront + pitch - 0.4, 0.01),
                   deck.at(fnLeft + 3.3 + 0.4, kbFront + 5 * pitch + 0.4, 0.01),
                   deck.at(fnLeft - 0.4, kbFront + 5 * pitch + 0.4, 0.01)},
         Rgb{0.16, 0.14, 0.13}, 0.6);

    // Rear deck: vent slots, a badge and a stripe.
    for (int i = 0; i < 7; ++i) {
        const double a = 10.5 + i * 1.2;
        face(cr, cam, {deck.at(a, depth - 4.0, 0.01), deck.at(a + 0.55, depth - 4.0, 0.01),
                       deck.at(a + 0.55, depth - 1.3, 0.01), deck.at(a, depth - 1.3, 0.01)},
             Rgb{0.3, 0.27, 0.23}, 0.7);
    }
    const Rgb stripes[4] = {{0.95, 0.35, 0.25}, kAmber, {0.98, 0.85, 0.35}, {0.3, 0.75, 0.8}};
    for (int i = 0; i < 4; ++i) {
        const double b = depth - 3.6 + i * 0.55;
        face(cr, cam, {deck.at(-18.5, b, 0.01), deck.at(-9.5, b, 0.01), deck.at(-9.5, b + 0.4, 0.01),
                       deck.at(-18.5, b + 0.4, 0.01)},
             stripes[i], 0.75);
    }
    {
        const P2 A = cam.project(deck.at(-7.8, depth - 3.7, 0.01));
        const P2 B = cam.project(deck.at(-6.8, depth - 3.7, 0.01));
        const P2 D = cam.project(deck.at(-7.8, depth - 2.7, 0.01));
        cairo_save(cr);
        cairo_matrix_t m;
        cairo_matrix_init(&m, B.x - A.x, B.y - A.y, D.x - A.x, D.y - A.y, A.x, A.y);
        cairo_transform(cr, &m);
        cairo_scale(cr, 1, -1);
        useFont(cr, fonts.bold, 2.0);
        cairo_set_source_rgb(cr, 0.35, 0.31, 0.26);
        fillText(cr, "vy-64", 0, 0, -1);
        useFont(cr, fonts.regular, 0.8);
        fillText(cr, "personal computer", 6.6, 0, -1, 0.05);
        cairo_restore(cr);
    }

    // Keys, far rows first so that nearer caps overlap them.
    const char *row0[] = {"\xe2\x86\x90", "1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "+", "-", "\xc2\xa3", "clr", "del"};
    const char *row1[] = {"Q", "W", "E", "R", "T", "Y", "U", "I", "O", "P", "@", "*", "\xe2\x86\x91"};
    const char *row2[] = {"A", "S", "D", "F", "G", "H", "J", "K", "L", ":", ";", "="};
    const char *row3[] = {"Z", "X", "C", "V", "B", "N", "M", ",", ".", "/"};
    std::vector<Key> keys;
    auto addRow = [&](int row, double start, const char *const *labels, int n) {
        const double v = kbFront + (4 - row) * pitch;
        for (int i = 0; i < n; ++i)
            keys.push_back({kbLeft + (start + i) * pitch, v, pitch, pitch, labels[i], false});
    };
    addRow(0, 0, row0, 16);
    {
        const double v = kbFront + 3 * pitch;
        keys.push_back({kbLeft, v, 1.5 * pitch, pitch, "ctrl", false});
        addRow(1, 1.5, row1, 13);
        keys.push_back({kbLeft + 14.5 * pitch, v, 1.5 * pitch, pitch, "rst", false});
    }
    {
        const double v = kbFront + 2 * pitch;
        keys.push_back({kbLeft, v, pitch, pitch, "r/s", false});
        keys.push_back({kbLeft + pitch, v, pitch, pitch, "lock", false});
        addRow(2, 2, row2, 12);
        keys.push_back({kbLeft + 14 * pitch, v, 2 * pitch, pitch, "return", false});
    }
    {
        const double v = kbFront + pitch;
        keys.push_back({kbLeft, v, pitch, pitch, "vy", true});
        keys.push_back({kbLeft + pitch, v, 1.5 * pitch, pitch, "shift", false});
        addRow(3, 2.5, row3, 10);
        keys.push_back({kbLeft + 12.5 * pitch, v, 1.5 * pitch, pitch, "shift", false});
        keys.push_back({kbLeft + 14 * pitch, v, pitch, pitch, "\xe2\x86\x95", false});
        keys.push_back({kbLeft + 15 * pitch, v, pitch, pitch, "\xe2\x86\x94", false});
    }
    keys.push_back({kbLeft + 3 * pitch, kbFront, 9 * pitch, pitch, "", false});
    for (int i = 0; i < 4; ++i) {
        const char *fk[] = {"f7", "f5", "f3", "f1"};
        keys.push_back({fnLeft, kbFront + (1 + i) * pitch, 3.3, pitch, fk[i], true});
    }
    std::stable_sort(keys.begin(), keys.end(), [&](const Key &a, const Key &b) {
        const double da = cam.view(deck.at(a.u + a.width / 2, a.v + a.depth / 2)).z;
        const double db = cam.view(deck.at(b.u + b.width / 2, b.v + b.depth / 2)).z;
        return da < db;
    });
    for (const Key &k : keys)
        drawKey(cr, cam, deck, k, fonts.regular);

    // Power light, front right.
    {
        const P2 p = cam.project(deck.at(17.4, 0.55, 0.02));
        cairo_pattern_t *g = cairo_pattern_create_radial(p.x, p.y, 0, p.x, p.y, 26);
        cairo_pattern_add_color_stop_rgba(g, 0, 1, 0.25, 0.15, 0.8);
        cairo_pattern_add_color_stop_rgba(g, 1, 1, 0.25, 0.15, 0);
        cairo_set_source(cr, g);
        cairo_arc(cr, p.x, p.y, 26, 0, 2 * kPi);
        cairo_fill(cr);
        cairo_pattern_destroy(g);
        cairo_save(cr);
        cairo_translate(cr, p.x, p.y);
        cairo_scale(cr, 1.6, 1);
        cairo_arc(cr, 0, 0, 4.5, 0, 2 * kPi);
        cairo_restore(cr);
        cairo_set_source_rgb(cr, 1, 0.55, 0.45);
        cairo_fill(cr);
    }

    // A floppy disk lying on the floor in front, turned a little.
    {
        const double ang = 0.35, half = 5.6, cxD = 15, czD = 19.5, y = 0.02;
        auto at = [&](double a, double b) {  // disk coordinates, b towards the back
            return V3{cxD + a * std::cos(ang) + b * std::sin(ang), y,
                      czD + a * std::sin(ang) - b * std::cos(ang)};
        };
        softShadow(cr, cam, {at(-half, -half), at(half, -half), at(half, half), at(-half, half)}, 10);
        face(cr, cam, {at(-half, -half), at(half, -half), at(half, half), at(-half, half)},
             Rgb{0.07, 0.07, 0.08}, 0.9, 0.12);
        // Label across the back edge, with a title written on it.
        face(cr, cam, {at(-4.2, 2.9), at(4.2, 2.9), at(4.2, 5.0), at(-4.2, 5.0)},
             Rgb{0.92, 0.9, 0.84}, 0.85);
        face(cr, cam, {at(-4.2, 4.55), at(4.2, 4.55), at(4.2, 5.0), at(-4.2, 5.0)}, kAmber, 0.85);
        {
            const P2 A = cam.project(at(-3.8, 3.1)), B = cam.project(at(-2.8, 3.1)),
                     D = cam.project(at(-3.8, 4.1));
            cairo_save(cr);
            cairo_matrix_t m;
            cairo_matrix_init(&m, B.x - A.x, B.y - A.y, D.x - A.x, D.y - A.y, A.x, A.y);
            cairo_transform(cr, &m);
            cairo_scale(cr, 1, -1);
            useFont(cr, fonts.bold, 0.9);
            cairo_set_source_rgb(cr, 0.15, 0.15, 0.2);
            fillText(cr, "vy-01  disk 1/1", 0, -0.25, -1);
            cairo_restore(cr);
        }
        // Hub ring and hole, the read slot and the index hole.
        std::vector<V3> ring, hole;
        for (int i = 0; i < 32; ++i) {
            const double t = 2 * kPi * i / 32;
            ring.push_back(at(1.6 * std::cos(t), -0.2 + 1.6 * std::sin(t)));
            hole.push_back(at(0.9 * std::cos(t), -0.2 + 0.9 * std::sin(t)));
        }
        face(cr, cam, ring, Rgb{0.55, 0.52, 0.47}, 0.8);
        face(cr, cam, hole, Rgb{0.02, 0.02, 0.02}, 1.0);
        face(cr, cam, {at(-0.55, -5.2), at(0.55, -5.2), at(0.55, -2.4), at(-0.55, -2.4)},
             Rgb{0.3, 0.28, 0.25}, 0.8);
        face(cr, cam, {at(2.3, -1.0), at(2.7, -1.0), at(2.7, -0.6), at(2.3, -0.6)},
             Rgb{0.02, 0.02, 0.02}, 1.0);
    }

    // The joystick: a bevelled base, the stick, the knob and a fire button.
    {
        const std::vector<P2> base{{joy.z + 3.5, 0.0}, {joy.z - 3.5, 0.0}, {joy.z - 3.5, 1.4},
                                   {joy.z - 2.9, 2.0}, {joy.z + 2.9, 2.0}, {joy.z + 3.5, 1.4}};
        prism(cr, cam, base, joy.x - 3.5, joy.x + 3.5, Rgb{0.14, 0.14, 0.15}, 0.1);
        const P2 b0 = cam.project({joy.x, 2.0, joy.z});
        const P2 b1 = cam.project({joy.x + 0.8, 9.0, joy.z - 0.6});
        cairo_save(cr);
        cairo_translate(cr, b0.x, b0.y);
        cairo_scale(cr, 1.0, 0.55);
        cairo_arc(cr, 0, 0, 30, 0, 2 * kPi);
        cairo_restore(cr);
        cairo_set_source_rgb(cr, 0.05, 0.05, 0.06);
        cairo_fill(cr);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_move_to(cr, b0.x, b0.y);
        cairo_line_to(cr, b1.x, b1.y);
        cairo_set_source_rgb(cr, 0.08, 0.08, 0.09);
        cairo_set_line_width(cr, 22);
        cairo_stroke_preserve(cr);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.18);
        cairo_set_line_width(cr, 5);
        cairo_save(cr);
        cairo_translate(cr, -5, 0);
        cairo_stroke(cr);
        cairo_restore(cr);
        cairo_pattern_t *g = cairo_pattern_create_radial(b1.x - 12, b1.y - 14, 3, b1.x, b1.y, 34);
        cairo_pattern_add_color_stop_rgb(g, 0, 1, 0.7, 0.55);
        cairo_pattern_add_color_stop_rgb(g, 0.35, 0.88, 0.2, 0.12);
        cairo_pattern_add_color_stop_rgb(g, 1, 0.35, 0.05, 0.04);
        cairo_set_source(cr, g);
        cairo_arc(cr, b1.x, b1.y, 32, 0, 2 * kPi);
        cairo_fill(cr);
        cairo_pattern_destroy(g);

        const P2 fb = cam.project({joy.x - 2.2, 2.0, joy.z + 1.9});
        cairo_save(cr);
        cairo_translate(cr, fb.x, fb.y);
        cairo_scale(cr, 1.0, 0.6);
        cairo_arc(cr, 0, 4, 17, 0, 2 * kPi);
        cairo_set_source_rgb(cr, 0.45, 0.06, 0.05);
        cairo_fill(cr);
        cairo_arc(cr, 0, 0, 17, 0, 2 * kPi);
        cairo_set_source_rgb(cr, 0.92, 0.25, 0.16);
        cairo_fill(cr);
        cairo_restore(cr);
    }

    // A prompt printed on the floor at the top left, like a screen's last words.
    useFont(cr, fonts.bold, 44);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.5);
    fillText(cr, "READY.", 78, 122, -1, 4);
    setColor(cr, kAmber, 0.85);
    cairo_rectangle(cr, 78, 140, 30, 36);
    cairo_fill(cr);
    useFont(cr, fonts.regular, 20);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.35);
    fillText(cr, "64K \xc2\xb7 SYSTEM OK", W - 78, 116, 1, 5);
}

// ---------------------------------------------------------------- scroller

void drawScroller(cairo_t *cr, const Fonts &fonts, double W, double H)
{
    const std::vector<std::string> parts{
        "vy-01", "the zembrit.", "hello from the antenna room",
        "pixels, notes & polygons grown at home", "stay tuned"};
    const double sepGap = 44;
    // The first part reads as a logo: bold, the rest regular.
    auto faceOf = [&](size_t i) { return i == 0 ? fonts.bold : fonts.regular; };
    double natural = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        useFont(cr, faceOf(i), 1);
        natural += advance(cr, parts[i]);
    }
    const double size = std::min(44.0, (W - sepGap * parts.size()) / natural);
    double total = sepGap * parts.size();
    for (size_t i = 0; i < parts.size(); ++i) {
        useFont(cr, faceOf(i), size);
        total += advance(cr, parts[i]);
    }
    useFont(cr, fonts.regular, size);
    // Spread any slack evenly, so the strip repeats without a seam.
    const double gap = sepGap + (W - total) / parts.size();

    cairo_text_extents_t e;
    cairo_text_extents(cr, "x", &e);
    const double base = H / 2 - (e.y_bearing + e.height / 2);

    // Dotted rails along the edges.
    cairo_set_source_rgba(cr, 1, 1, 1, 0.35);
    for (double x = 4; x < W; x += 12) {
        cairo_rectangle(cr, x, 3, 5, 2);
        cairo_rectangle(cr, x, H - 5, 5, 2);
    }
    cairo_fill(cr);

    double pen = gap / 2;
    for (size_t i = 0; i < parts.size(); ++i) {
        useFont(cr, faceOf(i), size);
        cairo_set_source_rgb(cr, 1, 1, 1);
        fillText(cr, parts[i], pen, base, -1);
        pen += advance(cr, parts[i]);
        setColor(cr, kAmber);
        diamond(cr, pen + gap / 2, H / 2, 7);
        cairo_fill(cr);
        pen += gap;
    }
}

// ---------------------------------------------------------------- greetings

void drawGreetings(cairo_t *cr, const Fonts &fonts, double W, double H)
{
    const std::vector<std::string> names{
        "moonmilk collective", "the tin robins", "quiet ferret", "paper satellites",
        "velvet raster", "cobalt goose", "lumen hut", "ostrich & daughters",
        "the fuzzy sextant", "gravel orchestra", "polkadot engines", "small hours club",
        "bitwise badgers", "amber trolley", "kettle & drum", "night owl radio",
        "marzipan logic"};

    cairo_set_source_rgb(cr, 1, 1, 1);
    useFont(cr, fonts.light, 30);
    fillText(cr, "greetings to", W / 2, 78, 0, 2);
    cairo_set_line_width(cr, 2);
    cairo_move_to(cr, W / 2 - 70, 104);
    cairo_line_to(cr, W / 2 + 70, 104);
    cairo_stroke(cr);

    const double top = 170, bottom = H - 140;
    const double step = (bottom - top) / (names.size() - 1);
    for (size_t i = 0; i < names.size(); ++i) {
        const double y = top + i * step;
        cairo_font_face_t *face = (i % 2) ? fonts.regular : fonts.bold;
        double size = 33;
        useFont(cr, face, size);
        const double w = advance(cr, names[i]);
        if (w > W - 40)
            useFont(cr, face, size * (W - 40) / w);
        cairo_set_source_rgba(cr, 1, 1, 1, (i % 2) ? 0.82 : 1.0);
        fillText(cr, names[i], W / 2, y, 0);
    }
    useFont(cr, fonts.bold, 44);
    cairo_set_source_rgb(cr, 1, 1, 1);
    fillText(cr, "and you.", W / 2, H - 52, 0);
}

// ---------------------------------------------------------------- driver

using DrawFn = void (*)(cairo_t *, const Fonts &, double, double);

bool render(const std::string &path, int w, int h, bool alpha, bool mirror, DrawFn draw,
            const Fonts &fonts)
{
    cairo_surface_t *s =
        cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, w, h);
    cairo_t *cr = cairo_create(s);
    cairo_font_options_t *fo = cairo_font_options_create();
    cairo_font_options_set_antialias(fo, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(fo, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(fo, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, fo);
    cairo_font_options_destroy(fo);
    draw(cr, fonts, w, h);
    const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS &&
                    writeTga(path, s, alpha, mirror);
    if (!ok)
        std::fprintf(stderr, "mkpictures: failed to make %s (%s)\n", path.c_str(),
                     cairo_status_to_string(cairo_status(cr)));
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    return ok;
}

void antennaAdapter(cairo_t *cr, const Fonts &, double w, double h) { drawAntenna(cr, w, h); }

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <output dir> <font dir>\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1], fontDir = argv[2];
    if (FT_Init_FreeType(&gFt) != 0) {
        std::fprintf(stderr, "mkpictures: FreeType failed to start\n");
        return 1;
    }
    Fonts fonts;
    fonts.light = loadFace(fontDir + "/Comfortaa-Light.ttf");
    fonts.regular = loadFace(fontDir + "/Comfortaa-Regular.ttf");
    fonts.bold = loadFace(fontDir + "/Comfortaa-Bold.ttf");

    // The greetings and the computer are shown from behind by their scenes,
    // so they are stored mirrored to read the right way round on screen.
    bool ok = true;
    ok &= render(out + "/loader.tga", 1280, 1024, false, false, drawLoader, fonts);
    ok &= render(out + "/antenna.tga", 256, 512, true, false, antennaAdapter, fonts);
    ok &= render(out + "/commodore.tga", 1024, 1024, false, true, drawComputer, fonts);
    ok &= render(out + "/scroller.tga", 2048, 64, true, false, drawScroller, fonts);
    ok &= render(out + "/greet.tga", 400, 1280, true, true, drawGreetings, fonts);
    return ok ? 0 : 1;
}
