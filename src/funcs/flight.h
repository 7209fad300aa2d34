// The toy plane in level flight past the camera, bobbing and rolling on the
// scene's clock, as the band and starfield scenes show it.
#pragma once

// White, at (x, bob, 15), nose along the view; spin turns it about its own
// length (degrees).
void drawBobbingPlane(float x, float timer, float spin = 0);
