// Frame capture in -c and -r: each frame read back after it is drawn and
// handed to a worker that writes it (PNG files or the raw stream), the
// frames reported in order once they are out.
#pragma once

void capture();
void getScreenShotRGB24();
// Waits until every frame handed to capture is written and reported.
void finishCapture();

// How a run ends, other than by the show's own end.
enum class CaptureEnd {
  kFrameFailed,  // a frame could not be written: status 255
  kSignal,       // SIGINT or SIGTERM: the process ends by that signal
};
// The one way out of a run that is capturing: the frames in the queue are
// settled (those left on disk are exactly those reported), then the
// process ends with status, or by the signal numbered status.
[[noreturn]] void endCaptureRun(CaptureEnd why, int status);
