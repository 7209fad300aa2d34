// The production's music: one MP3 streamed through the sound layer, created
// in the loader and started when the start screen has faded out.
#include "main/music.h"

#include <cstdio>
#include <cstdlib>

#include "main/showrange.h"
#include "main/startup.h"

FMOD_SYSTEM *system0 = nullptr;
unsigned int version0 = 0;
FMOD_SOUND *sound0 = nullptr;
FMOD_CHANNEL *channel0 = nullptr;

// A live run that starts after the music's start plays it up to there as a
// video does, on the capture clock to no device, so the city reads what a
// whole run's video reads; the device takes over at the start.
static FMOD_SYSTEM *aheadSystem = nullptr;
static FMOD_SOUND *aheadSound = nullptr;

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
static bool videoMusic() { return SOUND_ON == 1 && RAW_PATH != nullptr; }
static bool musicOn() { return SOUND_ON == 1 && (CAPTURE == 0 || videoMusic()); }

// A system to no device, moved on by the caller's clock, with the track.
static void openVideoMusic(FMOD_SYSTEM **system, FMOD_SOUND **sound) {
  ERRCHECK(FMOD_System_Create(system));
  ERRCHECK(FMOD_System_SetOutput(*system, FMOD_OUTPUTTYPE_NOSOUND_NRT));
  ERRCHECK(FMOD_System_Init(*system, 1, FMOD_INIT_NORMAL, nullptr));
  ERRCHECK(FMOD_System_CreateSound(*system, kMusicPath,
                                   FMOD_2D | FMOD_SOFTWARE | FMOD_CREATESTREAM, nullptr, sound));
}

void initsound() {
  if (!musicOn()) return;
  ERRCHECK(FMOD_System_Create(&system0));
  ERRCHECK(FMOD_System_GetVersion(system0, &version0));
  if (videoMusic()) ERRCHECK(FMOD_System_SetOutput(system0, FMOD_OUTPUTTYPE_NOSOUND_NRT));
  ERRCHECK(FMOD_System_Init(system0, 1, FMOD_INIT_NORMAL, nullptr));
  // A 2D software stream: decoded while it plays, not looped.
  ERRCHECK(FMOD_System_CreateSound(system0, kMusicPath,
                                   FMOD_2D | FMOD_SOFTWARE | FMOD_CREATESTREAM, nullptr, &sound0));
  if (!CAPTURE && rangeFirst > kSceneFirstFrame[1]) openVideoMusic(&aheadSystem, &aheadSound);
}

void startMusic() {
  if (!musicOn()) return;
  if (aheadSystem && onCaptureClock())
    ERRCHECK(FMOD_System_PlaySound(aheadSystem, FMOD_CHANNEL_FREE, aheadSound, 0, &channel0));
  else
    ERRCHECK(FMOD_System_PlaySound(system0, FMOD_CHANNEL_FREE, sound0, 0, &channel0));
}

void advanceMusic() {
  // One frame of the capture clock: the video shows a frame every 25 ms.
  if (!channel0) return;
  if (videoMusic())
    FMOD_System_Advance(system0, 25);
  else if (aheadSystem && onCaptureClock())
    FMOD_System_Advance(aheadSystem, 25);
}

void playMusicFrom(int frame) {
  // Not started yet: it starts with scene 1, as in a whole run.
  if (!aheadSystem || !channel0) return;
  FMOD_Channel_Stop(channel0);
  ERRCHECK(FMOD_System_PlaySound(system0, FMOD_CHANNEL_FREE, sound0, 1, &channel0));
  ERRCHECK(FMOD_Channel_SetPosition(channel0, unsigned((frame - kSceneFirstFrame[1]) * 25), FMOD_TIMEUNIT_MS));
  ERRCHECK(FMOD_Channel_SetPaused(channel0, 0));
}
