// The box explosion: a lattice at rest, then a growing ripple, then the
// cubes swell and fly apart along noise-chosen diagonals, for good.
#include "boxsplotion.h"

#include <GL/glew.h>

#include <cmath>

#include "funcs/cubebatch.h"
#include "main/driver.h"
#include "noise.h"

// Never reset: the explosion plays once per run.
static float boxsize = 0.5f;
static float global = 0.01f;  // ripple height, later the spread factor
static float start_sine = 0;
static int stage = 0;         // 0 ripple, 1 explosion
static int boom = 0;          // set once the spread has been primed below zero

BoxsplotionState boxsplotionState() { return {boxsize, global, start_sine, stage, boom}; }

// The caller's colour, taken once per lattice for the batch.
static float colour[4];

static void cube(float x, float y, float z) {
  CubeFrame f = cubeFrame();
  frameTranslate(f, x, y, z);
  batchSolidCube(f, boxsize, colour);
}

static void flush() { flushCubeBatch(); }

// The lattice spans -5..4 on each axis around the given point.
static void restLattice() {
  if (!drawingFrame) return;
  for (float i = -5; i < 5; i++)
    for (float j = -5; j < 5; j++)
      for (float k = -5; k < 5; k++) cube(i, j, k);
  flush();
}

static void rippleLattice() {
  if (!drawingFrame) return;
  for (float i = -5; i < 5; i++)
    for (float j = -5; j < 5; j++)
      for (float k = -5; k < 5; k++) {
        double s = std::sin((start_sine + i + j + k) * 0.4);
        cube(i, float(j + s * global), float(k + s * global));
      }
  flush();
}

static void explodedLattice() {
  if (!drawingFrame) return;
  for (float i = -5; i < 5; i++)
    for (float j = -5; j < 5; j++)
      for (float k = -5; k < 5; k++) {
        if (global > 0) {
          // One noise value for x and y: each (i, j) column leaves along a
          // diagonal of the x-y plane.
          float nxy = raw_noise(int(i), int(j), 42);
          float nz = raw_noise(int(j), int(k), 43);
          cube(i + nxy * 20 * global, j + nxy * 20 * global,
               float(k + nz * global * 20 + 10 * std::sin((start_sine + i + j) * 0.4)));
        } else {
          cube(i, j, k);
        }
      }
  flush();
}

void boxsplotion(float x, float y, float z, int explode) {
  glGetFloatv(GL_CURRENT_COLOR, colour);
  if (!explode) {
    glPushMatrix();
    glTranslatef(x, y, z);
    restLattice();
    glPopMatrix();
    return;
  }
  if (stage == 0) {
    if (boxsize > 0.3) boxsize = float(boxsize - 0.1);
    glPushMatrix();
    glTranslatef(x, y, z);
    rippleLattice();
    glPopMatrix();
    start_sine = float(start_sine + 0.5);
    global = global / 4 + global;
    if (global > 10) {
      global = 0;
      stage = 1;
    }
  }
  // Also in the call whose ripple has just ended: that call draws twice.
  if (stage == 1) {
    if (boxsize < 1.0) boxsize = float(boxsize + 0.1);
    glPushMatrix();
    glTranslatef(x, y, z);
    explodedLattice();
    glPopMatrix();
    global = float(boom ? global + 0.01 : global - 0.01);
    if (global < 0 && boom == 0) boom = 1;
  }
}
