// Cost of a lit cube per call at 1024x768: GLUT's against ours, solid
// and wire, each with the push, turn, move and pop a scene does around it.
#include <GL/glew.h>
#include <GL/glut.h>
#include <benchmark/benchmark.h>

#include "funcs/cubes.h"
#include "harness/harness.h"

namespace {

void frameOfCubes(benchmark::State &state, void (*cube)(double)) {
  ensureGlContext(1024, 768);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  const int n = (int)state.range(0);
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -50);
    for (int i = 0; i < n; ++i) {
      glPushMatrix();
      glRotatef(i * 0.7f, 0.2f, 1, 0.1f);
      glTranslatef((i % 40) - 20.0f, (i / 40 % 30) - 15.0f, -(i / 1200) * 3.0f);
      cube(0.5);
      glPopMatrix();
    }
    glFinish();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

void glutSolid(double s) { glutSolidCube(s); }
void glutWire(double s) { glutWireCube(s); }

}  // namespace

BENCHMARK_CAPTURE(frameOfCubes, glut_solid, glutSolid)->Arg(6000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(frameOfCubes, our_solid, solidCube)->Arg(6000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(frameOfCubes, glut_wire, glutWire)->Arg(2744)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(frameOfCubes, our_wire, wireCube)->Arg(2744)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
