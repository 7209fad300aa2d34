// Text through FTGL's polygon fonts. Each routine owns its own font object,
// made from the same file on its first call and kept for the whole run.
#include "funcs/text.h"

#include <GL/glew.h>
#include <FTGL/ftgl.h>

#include <cstdio>

#include "main/driver.h"
#include "regularfile.h"

using FTGL::FTGLfont;
using FTGL::ftglCreatePolygonFont;
using FTGL::ftglRenderFont;
using FTGL::ftglSetFontFaceSize;

static const char *const fontPath = "data/fonts/crounded.ttf";
static int fontsCreated = 0;

int textFontsCreated() { return fontsCreated; }

// A font that cannot be made is reported once for the whole run; the
// routines then draw nothing, for FTGL only warns on a null font but callers
// should not lean on that.
static FTGLfont *createFont() {
  static bool warned = false;
  fontsCreated++;
  // FreeType would wait forever for a writer on a FIFO: only a regular file
  // is handed on.
  FTGLfont *font = nullptr;
  if (FILE *probe = fopenRegular(fontPath, "rb")) {
    fclose(probe);
    font = ftglCreatePolygonFont(fontPath);
  }
  if (!font && !warned) {
    printf("[! %s] font not loaded, text is not drawn\n", fontPath);
    warned = true;
  }
  // Set once: FTGL empties its glyph cache whenever the face size is set,
  // even to the same size, and would tessellate every glyph again each frame.
  if (font) ftglSetFontFaceSize(font, 4, 72);
  return font;
}

static void render(FTGLfont *font, const char *text) {
  // Glyphs are tessellated on their first drawing, not before.
  if (!font || !text || !drawingFrame) return;
  ftglRenderFont(font, text, FTGL::RENDER_ALL);
}

void drawText(const char *text, float x, float y, float z, float alpha) {
  static FTGLfont *font = nullptr;
  static int loaded = 0;
  if (loaded == 0) font = createFont();
  loaded++;
  glPushMatrix();
  glTranslatef(x, y, z);
  glColor4f(1, 1, 1, alpha);
  render(font, text);
  glPopMatrix();
}

void drawColorText(const char *text, float x, float y, float z, float scale) {
  static FTGLfont *font = nullptr;
  static int loaded = 0;
  if (loaded == 0) {
    font = createFont();
    loaded = 1;
  }
  glPushMatrix();
  glTranslatef(x, y, z);
  glScalef(scale, scale, scale);
  render(font, text);
  glPopMatrix();
}
