// The particle table, filled once from the noise.
#include "particle.h"

#include <cstdio>

#include "noise.h"

static Particle particle[100];

const Particle *particleTable() { return particle; }

void drawParticles(float x, float y, float z) {
  static int loaded = 0;
  if (loaded) return;
  for (int i = 0; i < 100; i++) {
    Particle &p = particle[i];
    p.x = x;
    p.y = y;
    p.z = z;
    p.TTL = 1.0f;
    p.velocity = float((perlin_2D_noise(float(i), 0, 42) + 3.0) / 10.0);
    printf("x=%f y=%f z=%f TTL=%f velocity=%f\n", p.x, p.y, p.z, p.TTL, p.velocity);
  }
  loaded = 1;
}
