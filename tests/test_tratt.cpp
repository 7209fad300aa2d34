// The tratt tower read back through GL feedback: 200 levels of nine wire
// cubes, turned by its per-call clock from the very first call.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "funcs/cubes.h"
#include "funcs/tratt.h"
#include "harness/harness.h"

namespace {

struct Point {
  float x, y, z;
};

// Line end points drawn by fn, in window coordinates. The view looks down
// the y axis at 10 pixels per unit: window x = 512 + 10 x, window y =
// 384 - 10 z, so turns about y show up exactly.
std::vector<Point> feedback(const std::function<void()> &fn) {
  std::vector<GLfloat> buffer(1 << 21);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 1024, 0, 768, -1000, 1000);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(512, 384, 0);
  glScalef(10, 10, 10);
  glRotatef(90, 1, 0, 0);
  glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
  glRenderMode(GL_FEEDBACK);
  fn();
  int n = glRenderMode(GL_RENDER);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  std::vector<Point> points;
  EXPECT_GT(n, 0);
  for (int i = 0; i < n;) {
    GLfloat token = buffer[i++];
    if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
      for (int v = 0; v < 2; v++, i += 3) points.push_back({buffer[i], buffer[i + 1], buffer[i + 2]});
    } else {
      ADD_FAILURE() << "unexpected token " << token;
      break;
    }
  }
  return points;
}

Point centre(const std::vector<Point> &p, size_t first, size_t count) {
  Point c = {0, 0, 0};
  for (size_t i = first; i < first + count; i++) c = {c.x + p[i].x, c.y + p[i].y, c.z + p[i].z};
  return {c.x / count, c.y / count, c.z / count};
}

}  // namespace

// The first call turns the tower by -1 degree (its clock reads -0.1), the
// second by -2. The first upper funnel cube stands at offset a + w along x
// before the turn, with a = -10 and w = sin(clock + a).
TEST(Tratt, FirstCallTurnedByMinusOneDegree) {
  ensureGlContext(1024, 768);
  const size_t perCube = 24;  // a wire cube's twelve edges, each once
  for (int call = 1; call <= 2; call++) {
    std::vector<Point> p = feedback([] { drawTratt(0, 0, 0); });
    ASSERT_EQ(p.size(), 200 * 9 * perCube) << "call " << call;  // 200 levels, 9 cubes each
    double clock = -0.1 * call, turn = -call * M_PI / 180;
    Point column = centre(p, 0, perCube), arm = centre(p, perCube, perCube);
    EXPECT_NEAR(column.x, 512, 1e-3);  // on the axis, at height -20
    EXPECT_NEAR(column.y, 384, 1e-3);
    double r = -10 + std::sin(clock - 10);
    // Turning by angle t about y takes (r, 0, 0) to (r cos t, 0, -r sin t).
    EXPECT_NEAR(arm.x, 512 + 10 * r * std::cos(turn), 2e-3) << "call " << call;
    EXPECT_NEAR(arm.y, 384 + 10 * r * std::sin(turn), 2e-3) << "call " << call;
  }
}
