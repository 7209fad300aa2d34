// SIGINT and SIGTERM while capturing end the run through the frame queue,
// so the frame being written is finished and the files left are whole.
#pragma once

// From start-up in capture mode, before any other thread exists.
void stopCaptureOnSignals();
