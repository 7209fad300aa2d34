// "-s FIRST:END" with "-r": only frames FIRST <= n < END of the run go to
// the stream. The timeline still runs from the start, so every scene's
// state is what a whole run gives, but frames nobody needs are not
// rasterised; a run of frames before FIRST is, so the motion blur carried
// into FIRST has settled.
#pragma once

// Frames a whole run writes: the frame in which the show ends is not.
constexpr int kShowFrames = 7535;
// Frames rendered before FIRST for the blur to settle. The heaviest weight
// of the show, 0.94, keeps 0.94^200 = 4e-6 of a picture; what the integer
// steps leave of a difference dies out well within that.
constexpr int kBlurSettleFrames = 200;

extern int rawFirst;  // 0 unless a range was given
extern int rawEnd;    // -1: to the end of the show

// Reads "FIRST", "FIRST:" or "FIRST:END" (decimal, no sign). On a bad
// range returns false with the reason in why.
bool parseFrameRange(const char *text, int *first, int *end, const char **why);
// Checks the range option after the command line: sets rawFirst and
// rawEnd, or prints one line and ends with status 2.
void applyFrameRange(const char *text, bool raw);

// Whether frame n (0 for the first) is rasterised, and whether it goes out.
bool frameRendered(int n);
bool frameWritten(int n);
