// Lines of text as filled glyph polygons in the modelview frame.
#pragma once

// White text of the given opacity; the pen starts at (x, y, z) on the
// baseline. Face size 4: one em is 4 units.
void drawText(const char *text, float x, float y, float z, float alpha);
// Text in the caller's current colour, scaled uniformly.
void drawColorText(const char *text, float x, float y, float z, float scale);
// Font objects made so far by the two routines together; for tests.
int textFontsCreated();
