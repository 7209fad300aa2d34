// Start-up, command line, time base and the GLUT callbacks.
#pragma once

extern int CAPTURE;       // 1: the fixed 25 ms capture clock ("-c" or "-r")
extern int SOUND_ON;      // 0: no music
extern int TIMING;        // 1: print per-scene frame timing ("-t")
// "-r FILE": the capture clock without waiting for the timer, every frame
// appended to FILE as raw RGB24, top row first, instead of PNG files.
extern const char *RAW_PATH;
// "-y" with -r: the raw frames as YUV 4:2:0 (BT.709, limited range) instead.
extern int RAW_YUV;
extern int globalWidth;   // drawable size, kept by handleResize
extern int globalHeight;

// Requested window or game mode, as read from the command line.
struct StartOptions {
  int width = 0;
  int height = 0;
  int fullscreen = 0;
  char gameMode[100] = {0};
  const char *range = nullptr;   // "-s FIRST:END", checked once the window is wanted
  const char *scenes = nullptr;  // "-S N:M", likewise
  int timeline = 0;              // "-T": print the show's timeline and end
};

// Reads the options (setting CAPTURE, SOUND_ON, TIMING, RAW_PATH, RAW_YUV) and prints the
// resolution line. Split from main so the rules can be tested in-process.
StartOptions parseOptions(int argc, char **argv);

int getTime();
// The capture clock's last reading in milliseconds, without advancing it.
int captureClockMillis();
// Whether getTime follows the capture clock: in capture mode, and in a live
// run up to its start (-s, -S).
bool onCaptureClock();
// At a live run's start: from now on getTime follows real time, going on
// from the capture clock's next reading.
void continueInRealTime();
void initRendering();
void handleKeypress(unsigned char key, int x, int y);
void handleResize(int width, int height);
void update(int value);

// The whole of main: banner, options, window, callbacks, main loop.
int runProduction(int argc, char **argv);
