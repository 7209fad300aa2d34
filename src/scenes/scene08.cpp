// Scene 8: the spectrum city. Blue towers on a scrolling floor rise into
// view and grow with the music's high band; red data cubes stream between
// them. The picture goes out through the gibson program, under a turning
// tower of wire cubes and the rising greetings; after 20 s it shrinks,
// after 30 s it tilts away.
#include <GL/glew.h>

#include "funcs/gibson.h"
#include "funcs/quads.h"
#include "funcs/tratt.h"
#include "main/driver.h"
#include "main/music.h"
#include "main/startup.h"
#include "noise.h"
#include "scenes/scene08.h"
#include "scenes/scenes.h"
#include "shader.h"

float *specL, *specR;
static int specLoad = 0;

static float wallIncomingOffset = 100;
static float smooth_camera = 90;
static float sceneRotX = 100;
static float test = 0;
static float gibson_pos = 0;

float readSpectrum() {
  if (specLoad == 0) {
    // Zeroed: a spectrum call that fails leaves its buffer as it was.
    specL = new float[1024]();
    specR = new float[1024]();
    specLoad = 1;
  }
  // A null channel (no music, capture mode) answers "not playing".
  FMOD_BOOL playing = 0;
  FMOD_Channel_IsPlaying(channel0, &playing);
  float sum = 0;
  if (playing) {
    FMOD_Channel_GetSpectrum(channel0, specL, 1024, 0, FMOD_DSP_FFT_WINDOW_BLACKMAN);
    FMOD_Channel_GetSpectrum(channel0, specR, 1024, 1, FMOD_DSP_FFT_WINDOW_BLACKMAN);
    for (int i = 256; i < 768; i++) {
      sum += 2 * specL[i];
      sum += 2 * specR[i];
    }
  } else {
    for (int i = 0; i < 1024; i++) specL[i] = specR[i] = 0;
  }
  return sum;
}

void scene08() {
  static float timer = 0;
  // The city picture's size and tilt (this fade is ours, not the routine).
  static float credits = -100;
  static float fade = 1;
  static float endrotation = 0;
  timer = sceneClock();
  gColor = 0;
  if (timer > 5) gColor = 1.0f;
  // Flat colours from here on; nothing later turns normalising back on.
  glDisable(GL_LIGHTING);
  glDisable(GL_NORMALIZE);

  if (wallIncomingOffset > 0) wallIncomingOffset = float(wallIncomingOffset - 0.5);
  if (smooth_camera > 45) {
    smooth_camera = float(smooth_camera - 1);
    sceneRotX = smooth_camera;
  }
  float sum = readSpectrum();

  // The city, off screen, seen from a camera that tilts down and sways.
  beginOffscreen(true);
  glLoadIdentity();
  glTranslatef(0, -wallIncomingOffset, -50);
  glRotatef(sceneRotX, 1, 0, 0);
  glRotatef(20 * perlin_2D_noise(float(0.5 * timer), 0, 42), 0, 1, 0);
  glRotatef(10 * perlin_2D_noise(float(0.2 * timer), 0, 43), 1, 0, 0);

  glPushMatrix();
  glPushMatrix();
  glTranslatef(0, 1, 0);
  drawGibsonParticles();
  // The floor: one texture repeat scrolls by every 400 frames.
  // Opaque, like the picture it shows: drawn without blending.
  glColor4f(0, 1, 0, 1);
  glRotatef(90, 1, 0, 0);
  glDisable(GL_BLEND);
  bindLinearTexture(c64Tex);
  if (test > 1) test = 0;
  test = float(test + 0.0025);
  if (drawingFrame) {
    glBegin(GL_QUADS);
    glTexCoord2f(0, test);
    glVertex3f(-100, 100, 0);
    glTexCoord2f(1, test);
    glVertex3f(100, 100, 0);
    glTexCoord2f(1, test + 1);
    glVertex3f(100, -100, 0);
    glTexCoord2f(0, test + 1);
    glVertex3f(-100, -100, 0);
    glEnd();
  }
  glDisable(GL_TEXTURE_2D);
  glPopMatrix();
  // The towers flow along z and jump back one row every 30 frames. Opaque
  // and unlit like the floor, they too are drawn without blending.
  for (float x = -100; x < 100; x += 20)
    for (float z = gibson_pos - 100; z < gibson_pos + 100; z += 15) {
      glColor4f(0, 0, 1, 1);
      drawHouse(x, 0, z, 1.5f, sum + 20);
    }
  glEnable(GL_BLEND);
  gibson_pos = float(gibson_pos + 0.5);
  if (gibson_pos > 14.5f) gibson_pos = 0;
  glPopMatrix();

  glPushMatrix();
  glTranslatef(10, 10, 0);
  glRotatef(90, 0, 1, 0);
  glColor4f(0, 1, 0, 1);
  glScalef(0.2f, 0.2f, 0.2f);
  if (drawingFrame) glCallList(plane);
  glPopMatrix();

  // Onto the window, through the gibson program.
  glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  glViewport(0, 0, globalWidth, globalHeight);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  glTranslatef(0, 0, -50);
  mblur = 0;
  credits = 3 * timer - 100;

  glPushMatrix();
  if (fade > 0.5f && timer > 20) fade = float(fade - 0.01);
  if (timer > 30 && endrotation < 90) endrotation = endrotation + 1;
  mblur = 0.5f;
  glRotatef(endrotation, 1, 0, 0);
  glColor4f(1, 1, 1, 1);
  glsl_gibson_frag(1);
  // The program's colour is opaque: blending would only read the window.
  glDisable(GL_BLEND);
  draw2DTexture(0, 0, float(-0.3 * endrotation - 0.01), 26 * fade, 21 * fade, tb0);
  glEnable(GL_BLEND);
  glsl_gibson_frag(0);
  glPopMatrix();

  glPushMatrix();
  glRotatef(timer, 0, 1, 0);
  drawTratt(0, 0, -20);
  glPopMatrix();

  glColor4f(1, 1, 1, 1);
  draw2DTexture(0, credits, 0.01f, 25, 80, greetTex);

  if (timer > 35.0f) {
    handOver(timer);
    mblur = 0.9f;
  }
}
