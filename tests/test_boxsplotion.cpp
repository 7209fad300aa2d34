// Box explosion: the lattice at rest, the growing ripple, the call that
// draws two lattices, and the explosion that never ends. The cubes are read
// back through GL feedback under an orthographic view of 10 pixels a unit:
// each cube shows as its front and back faces, squares of its edge.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "boxsplotion.h"
#include "harness/harness.h"

namespace {

const float UNIT = 10;  // pixels per unit

struct Face {
  float x, y, z, edge;  // centre and edge, in units
};

struct Drawn {
  std::vector<Face> faces;
  std::map<int, int> polygonsByEdge;  // edge in hundredths -> polygons
};

Drawn call(float x, float y, float z, int explode) {
  ensureGlContext(320, 240);
  static std::vector<GLfloat> buffer(1 << 20);
  glViewport(0, 0, 1000, 1000);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(-50, 50, -50, 50, -100, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
  glRenderMode(GL_FEEDBACK);
  boxsplotion(x, y, z, explode);
  GLint used = glRenderMode(GL_RENDER);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  EXPECT_GT(used, 0) << "feedback buffer overflow";

  Drawn d;
  for (GLint at = 0; at < used;) {
    GLint token = GLint(buffer[at++]);
    if (token != GL_POLYGON_TOKEN) {
      ADD_FAILURE() << "unexpected feedback token " << token;
      break;
    }
    int n = int(buffer[at++]);
    float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f, zs = 0;
    for (int v = 0; v < n; v++, at += 3) {
      x0 = std::min(x0, buffer[at]);
      x1 = std::max(x1, buffer[at]);
      y0 = std::min(y0, buffer[at + 1]);
      y1 = std::max(y1, buffer[at + 1]);
      zs += buffer[at + 2];
    }
    if (x1 - x0 < 0.01f || y1 - y0 < 0.01f) continue;  // a side face, seen edge-on
    float edge = (x1 - x0) / UNIT;
    // Window depth 0..1 maps back to z from 100 to -100.
    d.faces.push_back({(x0 + x1) / 2 / UNIT - 50, (y0 + y1) / 2 / UNIT - 50, 100 * (1 - 2 * zs / n), edge});
    d.polygonsByEdge[int(std::lround(edge * 100))]++;
  }
  return d;
}

// Faces per cube as the solid cube is built (two squares, or four
// triangles); learnt from the rest lattice of 1,000 cubes.
int perCube = 0;

std::map<int, int> cubesByEdge(const Drawn &d) {
  std::map<int, int> cubes;
  for (auto [edge, count] : d.polygonsByEdge) cubes[edge] = count / perCube;
  return cubes;
}

void expectState(float boxsize, float global, float start_sine, int stage, int boom, const char *when) {
  BoxsplotionState s = boxsplotionState();
  EXPECT_FLOAT_EQ(s.boxsize, boxsize) << when;
  EXPECT_NEAR(s.global, global, std::fabs(global) * 1e-5 + 1e-9) << when;
  EXPECT_EQ(s.start_sine, start_sine) << when;
  EXPECT_EQ(s.stage, stage) << when;
  EXPECT_EQ(s.boom, boom) << when;
}

// The largest distance of a face centre from the integer grid on one axis.
float offGrid(const std::vector<Face> &faces, float Face::*axis) {
  float m = 0;
  for (auto &f : faces) m = std::max(m, std::fabs(f.*axis - std::round(f.*axis)));
  return m;
}

std::pair<float, float> extent(const std::vector<Face> &faces, float Face::*axis) {
  auto [lo, hi] = std::minmax_element(faces.begin(), faces.end(),
                                      [axis](const Face &a, const Face &b) { return a.*axis < b.*axis; });
  return {(*lo).*axis, (*hi).*axis};
}

}  // namespace

// The animation never resets, so the whole life of the routine is one test.
TEST(Boxsplotion, RestRippleTwoLatticesThenEndlessExplosion) {
  // At rest: 1,000 cubes of edge 0.5 at -5..4 around the point, no change.
  Drawn rest = call(3, -2, 1, 0);
  ASSERT_EQ(rest.polygonsByEdge.size(), 1u);
  ASSERT_EQ(rest.polygonsByEdge.count(50), 1u);
  perCube = rest.polygonsByEdge[50] / 1000;
  ASSERT_TRUE(perCube == 2 || perCube == 4) << rest.polygonsByEdge[50];
  auto [x0, x1] = extent(rest.faces, &Face::x);
  EXPECT_NEAR(x0, 3 - 5, 1e-3);
  EXPECT_NEAR(x1, 3 + 4, 1e-3);  // not symmetric about the point
  expectState(0.5f, 0.01f, 0, 0, 0, "at rest");

  // The ripple: the first three calls shrink the cubes, the amplitude grows
  // by a quarter a call and moves cubes in y and z only.
  const int rippleEdges[] = {40, 30, 20, 20, 20};
  for (int n = 1; n <= 30; n++) {
    float before = boxsplotionState().global;
    Drawn d = call(0, 0, 0, 1);
    std::map<int, int> expected{{n <= 5 ? rippleEdges[n - 1] : 20, 1000}};
    ASSERT_EQ(cubesByEdge(d), expected) << "call " << n;
    EXPECT_EQ(offGrid(d.faces, &Face::x), 0) << "call " << n;
    if (n == 20) {
      EXPECT_GT(offGrid(d.faces, &Face::y), 0.9f * std::min(before, 0.5f));
      EXPECT_LE(offGrid(d.faces, &Face::y), 0.5f);
    }
    expectState(n <= 2 ? 0.5f - 0.1f * n : 0.2f, float(0.01 * std::pow(1.25, n)), 0.5f * n, 0, 0, "ripple");
  }

  // The 31st call ends the ripple and primes the explosion in one go: the
  // last ripple at edge 0.2, then the lattice undisplaced at edge 0.3.
  Drawn both = call(0, 0, 0, 1);
  EXPECT_EQ(cubesByEdge(both), (std::map<int, int>{{20, 1000}, {30, 1000}}));
  for (auto &f : both.faces)
    if (std::lround(f.edge * 100) == 30) {
      ASSERT_NEAR(f.x, std::round(f.x), 1e-3);
      ASSERT_NEAR(f.y, std::round(f.y), 1e-3);
    }
  expectState(0.3f, -0.01f, 15.5f, 1, 1, "call 31");

  // The 32nd again undisplaced.
  EXPECT_EQ(cubesByEdge(call(0, 0, 0, 1)), (std::map<int, int>{{40, 1000}}));

  // The 33rd: the fixed z offsets of up to 10 either way show in full,
  // with next to no spread in x and y.
  Drawn offsets = call(0, 0, 0, 1);
  EXPECT_EQ(cubesByEdge(offsets), (std::map<int, int>{{50, 1000}}));
  auto [zmin, zmax] = extent(offsets.faces, &Face::z);
  EXPECT_LT(zmin, -14);
  EXPECT_GT(zmax, 13);
  EXPECT_LT(offGrid(offsets.faces, &Face::x), 1e-3);

  // From now on every cube of an (i, j) column leaves along the x-y
  // diagonal: the same offset in x as in y, up to 20 x the spread factor.
  Drawn spread = call(0, 0, 0, 1);
  EXPECT_EQ(cubesByEdge(spread), (std::map<int, int>{{60, 1000}}));
  float most = 0;
  for (auto &f : spread.faces) {
    float dx = f.x - std::round(f.x), dy = f.y - std::round(f.y);
    ASSERT_NEAR(dx, dy, 1e-3);
    ASSERT_LE(std::fabs(dx), 20 * 0.01f + 1e-4);
    most = std::max(most, std::fabs(dx));
  }
  EXPECT_GT(most, 0.1f);

  // The cubes swell to just above 1.0 and stay; the spread grows for good.
  const int swell[] = {70, 80, 90, 100, 100};
  for (int edge : swell) EXPECT_EQ(cubesByEdge(call(0, 0, 0, 1)), (std::map<int, int>{{edge, 1000}}));
  BoxsplotionState s = boxsplotionState();
  EXPECT_GT(s.boxsize, 1.0f);
  EXPECT_NEAR(s.global, 0.01f * 7, 1e-4);
  for (int n = 0; n < 50; n++) call(0, 0, 0, 1);
  expectState(s.boxsize, 0.01f * 57, 15.5f, 1, 1, "57 calls into the explosion");
}
