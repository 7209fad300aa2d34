// The window's motion blur, worked out on the CPU: the frame is read back,
// mixed with the remembered picture by the accumulation buffer's own
// arithmetic (RawBlur) on two threads, and drawn back. The pixels are
// those glAccum's three steps give, at a fraction of their cost on the GL
// thread, which does them alone while llvmpipe's rasterisers wait.
#pragma once

// Weight 0 keeps the frame as drawn and only remembers it; otherwise the
// window becomes weight x the remembered picture + (1 - weight) x the
// frame, and that is remembered. With show, a blurred frame goes to the
// screen straight from memory where the window can take it (showFrame),
// and true says so: the caller must not swap it away. Otherwise it is drawn
// back into GL's buffer for the swap (and for capture to read).
bool blurWindow(float weight, bool show = false);
