// Shows a finished frame in the window straight from memory, as an X
// shared-memory image, instead of drawing it back with GL and swapping:
// under a software renderer the drawing back is a textured pass over the
// whole window, where the image costs the X server one copy, as the swap
// itself does.
#pragma once
#include <cstdint>

// bgra: w x h pixels of 4 bytes in GL's order, bottom row first, as
// glReadPixels gives them in GL_BGRA. Returns false and shows nothing
// where the window cannot take them so (no X display, no MIT-SHM, another
// pixel layout, a server on another machine): the caller then draws them
// back itself.
bool showFrame(const uint8_t *bgra, int w, int h);
