// The production's music: one MP3 streamed through the sound layer, created
// in the loader and started when the start screen has faded out.
#include "main/music.h"

#include <cstdio>
#include <cstdlib>

#include "main/startup.h"

FMOD_SYSTEM *system0 = nullptr;
unsigned int version0 = 0;
FMOD_SOUND *sound0 = nullptr;
FMOD_CHANNEL *channel0 = nullptr;

// Sound errors are fatal: one line, then out.
void ERRCHECK(FMOD_RESULT result) {
  if (result != FMOD_OK) {
    printf("[!] FMOD error! (%d) %s\n", static_cast<int>(result), FMOD_ErrorString(result));
    fflush(stdout);
    exit(-1);
  }
}

// A raw stream is the video: its music plays on the capture clock, to no
// device, so the city dances to the soundtrack the video will carry.
static bool onCaptureClock() { return SOUND_ON == 1 && RAW_PATH != nullptr; }
static bool musicOn() { return SOUND_ON == 1 && (CAPTURE == 0 || onCaptureClock()); }

void initsound() {
  if (!musicOn()) return;
  ERRCHECK(FMOD_System_Create(&system0));
  ERRCHECK(FMOD_System_GetVersion(system0, &version0));
  if (onCaptureClock()) ERRCHECK(FMOD_System_SetOutput(system0, FMOD_OUTPUTTYPE_NOSOUND_NRT));
  ERRCHECK(FMOD_System_Init(system0, 1, FMOD_INIT_NORMAL, nullptr));
  // A 2D software stream: decoded while it plays, not looped.
  ERRCHECK(FMOD_System_CreateSound(system0, "data/tune/vy-03.mp3",
                                   FMOD_2D | FMOD_SOFTWARE | FMOD_CREATESTREAM, nullptr, &sound0));
}

void startMusic() {
  if (!musicOn()) return;
  ERRCHECK(FMOD_System_PlaySound(system0, FMOD_CHANNEL_FREE, sound0, 0, &channel0));
}

void advanceMusic() {
  // One frame of the capture clock: the video shows a frame every 25 ms.
  if (channel0 && onCaptureClock()) FMOD_System_Advance(system0, 25);
}
