// Cube batches: the cubes' frames are applied here, on the CPU, and every
// cube of a flush goes to GL as one indexed array (solid) or one array of
// segments (wire), with the colour and normal per vertex.
#include "funcs/cubebatch.h"

#include <GL/glew.h>

#include <cmath>
#include <initializer_list>
#include <vector>

#include "funcs/cubes.h"
#include "main/driver.h"

namespace {

struct Cube {
  CubeFrame frame;
  float size;
  float rgba[4];
};

std::vector<Cube> solids, wires;
std::vector<float> vertices;  // colour (4), normal (3), position (3)
std::vector<GLuint> indices;

// m = m * b, both column-major 4x4 with the last row (0, 0, 0, 1).
void multiply(CubeFrame &m, const float b[16]) {
  float r[16];
  for (int c = 0; c < 4; c++)
    for (int row = 0; row < 4; row++) {
      float s = 0;
      for (int k = 0; k < 4; k++) s += m.m[k * 4 + row] * b[c * 4 + k];
      r[c * 4 + row] = s;
    }
  for (int i = 0; i < 16; i++) m.m[i] = r[i];
}

// Appends one vertex; the array keeps its room from flush to flush, so
// this writes in place once it has grown to a frame's size.
void put(const Cube &c, const float p[3], const float n[3]) {
  const float *m = c.frame.m;
  const size_t at = vertices.size();
  vertices.resize(at + 10);
  float *v = vertices.data() + at;
  for (int i = 0; i < 4; i++) v[i] = c.rgba[i];
  for (int r = 0; r < 3; r++) {
    v[4 + r] = m[r] * n[0] + m[4 + r] * n[1] + m[8 + r] * n[2];
    v[7 + r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
  }
}

// Where the camera (the eye's origin) stands in the frame of the current
// modelview: the inverse of its affine part applied to the origin.
void cameraInModelFrame(float out[3]) {
  GLfloat mv[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, mv);
  const double a = mv[0], b = mv[4], c = mv[8], d = mv[1], e = mv[5], f = mv[9], g = mv[2],
               h = mv[6], i = mv[10];
  const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
  const double inv[9] = {(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det,
                         (f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det,
                         (d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det};
  for (int r = 0; r < 3; r++)
    out[r] = float(-(inv[r * 3] * mv[12] + inv[r * 3 + 1] * mv[13] + inv[r * 3 + 2] * mv[14]));
}

void drawArrays(GLenum mode, bool indexed) {
  if (vertices.empty()) return;
  glInterleavedArrays(GL_C4F_N3F_V3F, 0, vertices.data());
  if (indexed)
    glDrawElements(mode, GLsizei(indices.size()), GL_UNSIGNED_INT, indices.data());
  else
    glDrawArrays(mode, 0, GLsizei(vertices.size() / 10));
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

void flushSolids(bool dropHidden) {
  float camera[3] = {0, 0, 0};
  if (dropHidden) cameraInModelFrame(camera);
  vertices.clear();
  indices.clear();
  float corners[6][4][3], normals[6][3], lastSize = -1;
  for (const Cube &c : solids) {
    if (c.size != lastSize) {
      for (int f = 0; f < 6; f++) cubeFace(c.size, f, corners[f], normals[f]);
      lastSize = c.size;
    }
    // The camera in the cube's own frame: the frame is rigid, so its
    // inverse turns by the transpose.
    const float *m = c.frame.m;
    float local[3];
    for (int r = 0; r < 3; r++)
      local[r] = m[r * 4] * (camera[0] - m[12]) + m[r * 4 + 1] * (camera[1] - m[13]) +
                 m[r * 4 + 2] * (camera[2] - m[14]);
    // Near the camera a cube may hold it, or be cut open by the near
    // plane (1 away): its inner faces then show, all six are drawn.
    const bool whole = local[0] * local[0] + local[1] * local[1] + local[2] * local[2] <
                       (c.size + 2) * (c.size + 2);
    for (int f = 0; f < 6; f++) {
      const float *n = normals[f];
      // A face is seen only from outside its plane.
      if (dropHidden && !whole &&
          n[0] * local[0] + n[1] * local[1] + n[2] * local[2] <= 0.5f * c.size)
        continue;
      const GLuint base = GLuint(vertices.size() / 10);
      for (int k = 0; k < 4; k++) put(c, corners[f][k], n);
      // GLUT's split of the quad: (0, 1, 2) and (0, 2, 3).
      for (GLuint k : {0u, 1u, 2u, 0u, 2u, 3u}) indices.push_back(base + k);
    }
  }
  // Opaque: a fragment's colour replaces what lies under it, so blending
  // would only cost a read of the picture for each one.
  const bool blending = glIsEnabled(GL_BLEND);
  if (dropHidden) glDisable(GL_BLEND);
  drawArrays(GL_TRIANGLES, true);
  if (blending) glEnable(GL_BLEND);
  solids.clear();
}

void flushWires() {
  vertices.clear();
  float ends[24][3], corners[4][3], normals[6][3], lastSize = -1;
  int faceOf[12];
  for (const Cube &c : wires) {
    if (c.size != lastSize) {
      cubeEdges(c.size, ends, faceOf);
      for (int f = 0; f < 6; f++) cubeFace(c.size, f, corners, normals[f]);
      lastSize = c.size;
    }
    for (int k = 0; k < 24; k++) put(c, ends[k], normals[faceOf[k / 2]]);
  }
  drawArrays(GL_LINES, false);
  wires.clear();
}

}  // namespace

CubeFrame cubeFrame() {
  return {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
}

void frameRotate(CubeFrame &f, float angle, float x, float y, float z) {
  // The matrix glRotatef makes: about the normalised axis, in degrees.
  const float len = std::sqrt(x * x + y * y + z * z);
  if (len == 0) return;
  x /= len;
  y /= len;
  z /= len;
  const float rad = angle * float(M_PI / 180.0);
  const float s = std::sin(rad), c = std::cos(rad), t = 1 - c;
  const float r[16] = {t * x * x + c,     t * x * y + s * z, t * x * z - s * y, 0,
                       t * x * y - s * z, t * y * y + c,     t * y * z + s * x, 0,
                       t * x * z + s * y, t * y * z - s * x, t * z * z + c,     0,
                       0,                 0,                 0,                 1};
  multiply(f, r);
}

void frameTranslate(CubeFrame &f, float x, float y, float z) {
  for (int r = 0; r < 3; r++) f.m[12 + r] += f.m[r] * x + f.m[4 + r] * y + f.m[8 + r] * z;
}

void batchSolidCube(const CubeFrame &f, float size, const float rgba[4]) {
  if (drawingFrame) solids.push_back({f, size, {rgba[0], rgba[1], rgba[2], rgba[3]}});
}

void batchWireCube(const CubeFrame &f, float size, const float rgba[4]) {
  if (drawingFrame) wires.push_back({f, size, {rgba[0], rgba[1], rgba[2], rgba[3]}});
}

void flushCubeBatch(bool dropHidden) {
  // Nothing is batched in a frame that is not drawn.
  if (solids.empty() && wires.empty()) return;
  flushSolids(dropHidden);
  flushWires();
}
