#include "main/windowblur.h"

#include <GL/glew.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "main/rawblur.h"
#include "main/startup.h"
#include "main/xpresent.h"

namespace {

// The lower and the upper half of the rows, each with a memory of its own.
RawBlur lower, upper;
std::vector<uint8_t> pixels;
bool pending = false;  // pixels hold a frame to remember, not yet taken in

// Both halves at once, in place.
void blurHalves(size_t split, float weight) {
  uint8_t *p = pixels.data();
  const size_t all = pixels.size();
  std::thread other([&] { upper.apply(p + split, p + split, all - split, weight, 4); });
  lower.apply(p, p, split, weight, 4);
  other.join();
}

}  // namespace

bool blurWindow(float weight, bool show) {
  const int w = globalWidth, h = globalHeight;
  if (w <= 0 || h <= 0) return false;
  const size_t row = size_t(w) * 4, split = row * size_t(h / 2);
  // A frame without blur is only remembered; most are followed by more of
  // their kind, so it is taken in when a blurred frame needs it.
  if (pending && pixels.size() == row * size_t(h)) blurHalves(split, 0);
  pending = false;
  pixels.resize(row * size_t(h));

  // BGRA is how the window keeps its pixels: both copies are plain.
  GLint packAlignment = 4, packRowLength = 0;
  glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
  glGetIntegerv(GL_PACK_ROW_LENGTH, &packRowLength);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
  glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
  glPixelStorei(GL_PACK_ROW_LENGTH, packRowLength);
  if (weight == 0) {
    pending = true;  // the window already shows the frame
    return false;
  }
  blurHalves(split, weight);
  if (show && showFrame(pixels.data(), w, h)) return true;

  // Drawn back untouched: no program, texture, test or blend on the way.
  GLint program = 0, unpackAlignment = 4, unpackRowLength = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpackAlignment);
  glGetIntegerv(GL_UNPACK_ROW_LENGTH, &unpackRowLength);
  glPushAttrib(GL_ENABLE_BIT);
  glUseProgram(0);
  for (GLenum cap : {GL_BLEND, GL_DEPTH_TEST, GL_TEXTURE_2D, GL_ALPHA_TEST, GL_FOG,
                     GL_SCISSOR_TEST, GL_STENCIL_TEST, GL_FRAMEBUFFER_SRGB})
    glDisable(cap);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glWindowPos2i(0, 0);
  glDrawPixels(w, h, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
  glPixelStorei(GL_UNPACK_ALIGNMENT, unpackAlignment);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, unpackRowLength);
  glPopAttrib();
  glUseProgram(GLuint(program));
  return false;
}
