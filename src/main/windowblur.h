// The window's motion blur, worked out on the CPU: the frame is read back,
// mixed with the remembered picture by the accumulation buffer's own
// arithmetic (RawBlur) on two threads, and drawn back. The pixels are
// those glAccum's three steps give, at a fraction of their cost on the GL
// thread, which does them alone while llvmpipe's rasterisers wait.
#pragma once

// Weight 0 keeps the frame as drawn and only remembers it; otherwise the
// window becomes weight x the remembered picture + (1 - weight) x the
// frame, and that is remembered.
void blurWindow(float weight);
