// Stand-in picture for scenes still to be built: the lit toy plane turning
// over the scene's background, so the whole timeline can already run.
#pragma once

void drawPlaceholder(int scene, float timer);
