// The raw stream of -r: frames read back before the motion blur, blurred
// on their way out with the accumulation buffer's arithmetic, appended to
// RAW_PATH as RGB24 rows, top row first, or with RAW_YUV as YUV 4:2:0
// planes (yuvframe.h).
#pragma once
#include <vector>

// The raw frames' file already open (standard output's, when -r names it),
// or -1: RAW_PATH is opened at the first frame.
extern int rawStreamFd;

// Opens RAW_PATH for frames of width x height; one that cannot be opened
// ends the run with its message and status 255.
void openRawStream(int width, int height);
bool rawStreamOpen();

// Blurs a frame (rows bottom first, as read back) with weight blur (0: no
// blur, the frame only remembered; below 0: no blur at all) and, when
// write, appends it. rgb may come back holding another buffer of the same
// size. False when the write failed; the message is out.
bool writeRawFrame(std::vector<unsigned char> &rgb, float blur, bool write);
