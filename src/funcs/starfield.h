#pragma once

// First call builds the 400-star table and draws nothing; later calls draw
// the stars and fly them 2 units towards the viewer.
void drawStarfield(float x, float y, float z, float alpha);
// Star positions [i][j] as x, y, z; for tests.
const float (*starTable())[20][3];
