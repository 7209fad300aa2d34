// The production's music: created in the loader, started after the fade.
#pragma once
#include "fmodex/fmod.h"

// The track, relative to the working directory.
constexpr const char *kMusicPath = "data/tune/vy-03.mp3";

extern FMOD_SYSTEM *system0;
extern unsigned int version0;
extern FMOD_SOUND *sound0;
extern FMOD_CHANNEL *channel0;

void ERRCHECK(FMOD_RESULT result);
void initsound();   // loader stage 4; nothing unless music is on
void startMusic();  // end of the loader's count-down; nothing unless music is on
// At the start of every frame: on the capture clock, the music moves on by
// one frame.
void advanceMusic();
// At a live run's later start, the music goes on from the place frame n has
// in the video, (n - 94) x 25 ms, through the device.
void playMusicFrom(int frame);
