#pragma once

struct Particle {
  float x, y, z;
  float velocity;
  float TTL;
};

// First call fills the 100-particle table from the emission point and
// prints each record; nothing is drawn.
void drawParticles(float x, float y, float z);
const Particle *particleTable();
