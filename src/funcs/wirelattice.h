// A cubic lattice of wire cubes, the cheap way.
#pragma once

// Wire cubes of edge `size` at every (x, y, z) with x, y, z = from,
// from + step, ... while below `to`; x outermost, z innermost; in the
// current colour. Each cube has its own translation and the very edges
// wireCube draws, in its order, so the pixels are the same; only the six
// draw calls per cube become one.
void wireCubeLattice(float from, float step, float to, double size);
