// The staged loader: start screen, progress bar, one loading stage per
// frame, then a fade-out through the motion blur and the music's start.
#include <GL/glew.h>
#include <GL/glut.h>

#include <chrono>

#include "funcs/starfield.h"
#include "funcs/startscreen.h"
#include "glm/glm.h"
#include "main/driver.h"
#include "main/music.h"
#include "main/startup.h"
#include "particle.h"
#include "shader.h"
#include "textures.h"

GLuint loaderTex, antennaTex, c64Tex, scrollerTex, greetTex, fadeTex;
GlmModel *toyplane;
GLuint plane;
GLuint fb0, tb0, db0;

static int isPreLoaded = 0;
static int isLoaded = 0;
static int load_queue = 0;
static float progress = -18.0f;
static float counter = 10.0f;

void makeOffscreenTarget() {
  glGenFramebuffersEXT(1, &fb0);
  glGenTextures(1, &tb0);
  glGenRenderbuffersEXT(1, &db0);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fb0);
  glBindTexture(GL_TEXTURE_2D, tb0);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, globalWidth, globalHeight, 0, GL_RGBA, GL_INT, nullptr);
  glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, tb0, 0);
  glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, db0);
  glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, globalWidth, globalHeight);
  glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, db0);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
}

// The bar from its left end to x.
static void drawBar(float x) {
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glVertex3f(-18.5f, 1.5f, 10);
  glVertex3f(-18.5f, -1.5f, 10);
  glVertex3f(x, -1.5f, 10);
  glVertex3f(x, 1.5f, 10);
  glEnd();
}

void showRunAhead(float share) {
  using clock = std::chrono::steady_clock;
  static clock::time_point last;
  const clock::time_point now = clock::now();
  if (!loaderTex || now - last < std::chrono::milliseconds(100)) return;
  last = now;
  GLint program = 0, framebuffer = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
  const bool discarding = glIsEnabled(GL_RASTERIZER_DISCARD);
  const bool drawing = drawingFrame;
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glDisable(GL_RASTERIZER_DISCARD);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glUseProgram(0);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  glViewport(0, 0, globalWidth, globalHeight);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(0, 0, -50);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  drawingFrame = true;
  drawStartScreen(loaderTex);
  drawBar(float(-18.5 + 37.0 * (share < 0 ? 0 : share > 1 ? 1 : share)));
  drawingFrame = drawing;
  glutSwapBuffers();
  glPopMatrix();
  glPopAttrib();
  if (discarding) glEnable(GL_RASTERIZER_DISCARD);
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, GLuint(framebuffer));
  glUseProgram(GLuint(program));
}

static void runStage(int stage) {
  switch (stage) {
    case 0:
      antennaTex = loadTGA("data/textures/antenna.tga");
      c64Tex = loadTGA("data/textures/commodore.tga");
      scrollerTex = loadTGA("data/textures/scroller.tga");
      greetTex = loadTGA("data/textures/greet.tga");
      fadeTex = loadBlack();
      break;
    case 1:
      toyplane = glmReadOBJ("data/models/toyplane.obj");
      plane = glGenLists(1);
      glNewList(plane, GL_COMPILE);
      glmDraw(toyplane, 2);
      glEndList();
      break;
    case 2:
      // Built now so the first scene does not stall on the compiler.
      glsl_bloom_shader(0);
      break;
    case 3:
      // First calls only build their tables.
      drawStarfield(0, 0, 0, 0);
      drawParticles(0, 0, 0);
      makeOffscreenTarget();
      break;
    case 4:
      initsound();
      break;
  }
}

void runLoader() {
  if (isPreLoaded == 0) {
    loaderTex = loadTGA("data/textures/loader.tga");
    isPreLoaded = 1;
  }
  if (isLoaded == 0) {
    mblur = 0;
    drawStartScreen(loaderTex);
    // The bar shows the progress from before this frame's stage.
    if (drawingFrame)
      drawBar(progress);
    else
      glColor4f(1, 1, 1, 1);
    if (load_queue < 5) {
      runStage(load_queue);
      load_queue++;
      progress = float(progress + 5.0);
    } else {
      progress = float(progress + 0.5);
    }
    if (progress > 18.8) {
      isLoaded = 1;
      mblur = 0.9f;
    }
  }
  if (isLoaded == 1) {
    // Nothing is drawn: the blur darkens the last picture by 10 % a frame.
    counter = float(counter - 0.15);
    if (counter < 0) {
      startMusic();
      loadingTime = getTime() / 1000.0;
      mblur = 0;
      queue = 1;
    }
  }
}
