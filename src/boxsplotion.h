// A 10 x 10 x 10 lattice of small solid cubes that ripples and then
// explodes, one step per call, once per run.
#pragma once

// Draws the lattice around (x, y, z) under the caller's matrix, colour and
// light. With explode 0 it stands at rest; every call with explode set
// advances the animation by one step.
void boxsplotion(float x, float y, float z, int explode);

// The animation's state, read-only; for tests.
struct BoxsplotionState {
  float boxsize, global, start_sine;
  int stage, boom;
};
BoxsplotionState boxsplotionState();
