// A twisted ribbon of three strands of small cubes along the x axis. Each
// band grows (longer, wider) over its first calls, once per call.
#pragma once

// Opaque band, shared by the scenes that call it one after another.
void drawBand(float x, float y, float z, float t);
// The same band at the given opacity, with a growth of its own.
void drawBandFast(float x, float y, float z, float t, float alpha);

