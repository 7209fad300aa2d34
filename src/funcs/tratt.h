// The geometric pieces of the spectrum city.
#pragma once

// A wire-cube column between two parabolic funnels, turning one degree per
// call; bands of visible cubes run along it. Keeps its own per-call clock.
void drawTratt(float x, float y, float z);
// A box with four walls and a roof, its floor centred on (x, y, z), in the
// current colour and normal.
void drawHouse(float x, float y, float z, float halfSize, float height);
