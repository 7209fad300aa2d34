// State shared by the loader, the sequencer and the scenes.
#pragma once
#include <GL/glew.h>

struct GlmModel;

extern int queue;             // scene number: 0 while loading, then 1..12
extern double loadingTime;    // time origin of the current scene, seconds
extern float gColor;          // grey level of the clear colours
extern float mblur;           // motion-blur weight of the frame epilogue
extern int global_motionblur; // motion blur on (1 for the whole run)
// False in the frames a run passes over on its way to a later start: every
// per-frame step runs and every value they read is kept, but whatever only
// makes pixels (vertex arrays, glyphs, the draws) is left out.
extern bool drawingFrame;

extern GLuint loaderTex, antennaTex, c64Tex, scrollerTex, greetTex, fadeTex;
extern GlmModel *toyplane;
extern GLuint plane;          // display list of the toy plane
extern GLuint fb0, tb0, db0;  // off-screen target

// Loader (start screen, five stages, fade-out); runs while queue is 0.
void runLoader();
// While a live run runs ahead to its start: the start screen with the bar
// at share (0 to 1) of the way, shown now and then, between two frames'
// work, leaving every state of the GL as it was.
void showRunAhead(float share);
// The off-screen target fb0/tb0/db0 at the drawable's current size.
void makeOffscreenTarget();

// Display callback: prologue, loader or scene dispatch, epilogue.
void drawScene();
void setLight(int on);
// The frame's motion blur: mblur x the previous result + (1 - mblur) x
// this frame, with the accumulation buffer's arithmetic. True when the
// blurred frame is already on the screen and is not to be swapped.
bool motionBlur();

// Clock of a scene: seconds since loadingTime, rounded to float.
float sceneClock();
// Hands over from the running scene: advances loadingTime by the scene's
// clock (unless keepOrigin) and raises queue.
void handOver(float timer, bool keepOrigin = false);

// The common two-step form of a scene frame.
// The camera stands cameraZ along the view axis (scene 6 moves it).
void beginOffscreen(bool opaqueClear, float cameraZ = -50);
void composite(float clearGrey, bool noBlur);
// Prints the last scene's timing figures (with "-t") before the show ends.
void reportLastScene();
