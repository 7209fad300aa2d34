// A cubic lattice of wire cubes, the cheap way.
#pragma once

// Wire cubes of edge `size` at every (x, y, z) with x, y, z = from,
// from + step, ... while below `to`; x outermost, z innermost; in the
// current colour. Each cube has the edges wireCube draws, in its order,
// moved to its place on the CPU; the whole lattice is one draw.
void wireCubeLattice(float from, float step, float to, double size);
