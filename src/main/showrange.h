// Where a run starts and ends: "-s FIRST:END" in frames, "-S N:M" in
// scenes. The timeline still runs from the start, so every scene's state is
// what a whole run gives, but frames before FIRST run ahead without being
// drawn; the last few of them are, so the motion blur carried into FIRST
// has settled.
#pragma once

// Frames a whole run writes: the frame in which the show ends is not.
constexpr int kShowFrames = 7535;
// Frames rendered before FIRST for the blur to settle. The heaviest weight
// of the show, 0.94, keeps 0.94^200 = 4e-6 of a picture; what the integer
// steps leave of a difference dies out well within that.
constexpr int kBlurSettleFrames = 200;
// The first frame of each scene (numbered from 0, as the frame files are):
// the frame in which the one before hands over, on the capture clock. The
// timeline is the same on every run there, whatever the size.
constexpr int kSceneFirstFrame[13] = {0, 94, 1054, 1669, 2379, 2555, 2795, 2875, 2935, 4335, 5135, 6135, 6335};
constexpr int kScenes = 12;

extern int rangeFirst;      // 0 unless a start was given
extern int rangeEnd;        // -1: to the end of the show
extern int rangeLastScene;  // M of "-S N:M": the show ends as scene M hands over; 0 otherwise

// Reads "FIRST", "FIRST:" or "FIRST:END" (decimal, no sign). On a bad
// range returns false with the reason in why.
bool parseFrameRange(const char *text, int *first, int *end, const char **why);
// Reads "N", "N:" or "N:M", scenes 1 to 12.
bool parseSceneRange(const char *text, int *first, int *last, const char **why);
// Checks the range options after the command line (null: not given): sets
// the range, or prints one line and ends with status 2. frames and scenes
// are the values of -s and -S.
void applyRange(const char *frames, const char *scenes);

// "-T": the show's numbers for the scripts, as [dev] lines: the frames of a
// whole run, where the music starts in the video and its file, every
// scene's first frame (numbered from 1, as the hand-over lines count).
void printTimeline();

// The first frame rasterised: the settle frames before FIRST, fewer or
// none where the blur carries no history into FIRST.
int firstRenderedFrame();
// Whether frame n (0 for the first) is rasterised, and whether it goes out.
bool frameRendered(int n);
bool frameWritten(int n);
