// The data traffic of the spectrum city: 50 red cubes streaming across a
// 200 x 200 field, re-entering on the far edge, the whole field drifting.
#pragma once

struct GibsonParticle {
  float x, y, z;
  int direction;  // <=0: +z, 1: still, 2: -z, 3: -x, >=4: +x
};

// First call lays the field out from the noise; every call moves it once
// and draws it in red.
void drawGibsonParticles();
// One step of one cube, re-entering at a random place (rand) when it
// leaves the field.
void moveGibsonParticle(GibsonParticle &p);
// The field and its drift, for tests.
const GibsonParticle *gibsonParticles();
float gibsonDrift();
