// Our own small sound layer: the handful of FMOD_* calls the production
// makes, built on mpg123 (decoding), OpenAL Soft (output) and kissfft
// (spectrum). C-compatible so the calling code reads like plain C.
// An independent implementation of just those calls, written for this program.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FMOD_SYSTEM FMOD_SYSTEM;
typedef struct FMOD_SOUND FMOD_SOUND;
typedef struct FMOD_CHANNEL FMOD_CHANNEL;
// Extended creation info is not supported; callers pass null.
typedef struct FMOD_CREATESOUNDEXINFO FMOD_CREATESOUNDEXINFO;

typedef int FMOD_BOOL;

// Result codes. 0, 23 and 25 keep the closed library's numbering (the
// program prints the number); the others are numbers of our own choosing,
// all below 96 so FMOD_ErrorString knows them.
typedef enum {
  FMOD_OK = 0,
  FMOD_ERR_CHANNEL_ALLOC = 10,    // no free channel left (all maxchannels busy)
  FMOD_ERR_FILE_BAD = 19,         // file exists but could not be opened/read
  FMOD_ERR_FILE_NOTFOUND = 23,    // missing, or not a regular file
  FMOD_ERR_FORMAT = 25,           // not an MPEG layer 3 stream we can decode
  FMOD_ERR_INITIALIZED = 33,      // FMOD_System_Init called twice
  FMOD_ERR_INVALID_HANDLE = 36,   // null or released system/sound/channel
  FMOD_ERR_INVALID_PARAM = 37,    // bad argument (size, offset, window, ...)
  FMOD_ERR_MEMORY = 43,           // allocation failed
  FMOD_ERR_OUTPUT_INIT = 62,      // no output device, not even the fallback
  FMOD_ERR_UNINITIALIZED = 80,    // system used before FMOD_System_Init
  FMOD_RESULT_FORCEINT = 65536
} FMOD_RESULT;

typedef unsigned int FMOD_MODE;
#define FMOD_DEFAULT 0x00000000
#define FMOD_LOOP_OFF 0x00000001
#define FMOD_2D 0x00000008
#define FMOD_SOFTWARE 0x00000040
#define FMOD_CREATESTREAM 0x00000080

typedef unsigned int FMOD_INITFLAGS;
#define FMOD_INIT_NORMAL 0x00000000

typedef enum {
  FMOD_CHANNEL_FREE = -1,
  FMOD_CHANNEL_REUSE = -2
} FMOD_CHANNELINDEX;

typedef enum {
  FMOD_DSP_FFT_WINDOW_RECT = 0,
  FMOD_DSP_FFT_WINDOW_TRIANGLE = 1,
  FMOD_DSP_FFT_WINDOW_HAMMING = 2,
  FMOD_DSP_FFT_WINDOW_HANNING = 3,
  FMOD_DSP_FFT_WINDOW_BLACKMAN = 4,
  FMOD_DSP_FFT_WINDOW_BLACKMANHARRIS = 5,
  FMOD_DSP_FFT_WINDOW_MAX
} FMOD_DSP_FFT_WINDOW;

// Where the mix goes. NOSOUND_NRT: no device at all; the music moves on
// only when FMOD_System_Advance says so, whatever the wall clock does.
typedef enum {
  FMOD_OUTPUTTYPE_AUTODETECT = 0,
  FMOD_OUTPUTTYPE_NOSOUND_NRT = 2
} FMOD_OUTPUTTYPE;

typedef unsigned int FMOD_TIMEUNIT;
#define FMOD_TIMEUNIT_MS 0x00000001

// Version reported by FMOD_System_GetVersion: 0xMMMMmmpp of this layer.
#define FMOD_VERSION 0x00010000

FMOD_RESULT FMOD_System_Create(FMOD_SYSTEM **system);
FMOD_RESULT FMOD_System_GetVersion(FMOD_SYSTEM *system, unsigned int *version);
// Opens the default output device; without one (no card, no server) it
// falls back to a silent device that still plays in real time.
// Before FMOD_System_Init only.
FMOD_RESULT FMOD_System_SetOutput(FMOD_SYSTEM *system, FMOD_OUTPUTTYPE output);
// Non-real-time output only: every playing, unpaused channel moves on by
// exactly this much of its track (at 44.1 kHz, 25 ms is 1102.5 frames: the
// position is kept exact, not rounded per step).
FMOD_RESULT FMOD_System_Advance(FMOD_SYSTEM *system, unsigned int milliseconds);
FMOD_RESULT FMOD_System_Init(FMOD_SYSTEM *system, int maxchannels,
                             FMOD_INITFLAGS flags, void *extradriverdata);
// Stops every channel, closes the output and frees the system with its
// sounds and channels. The production never calls it; tests do.
FMOD_RESULT FMOD_System_Release(FMOD_SYSTEM *system);

// Every sound is streamed (decoded while it plays), with or without
// FMOD_CREATESTREAM; the file is opened and its first frame checked here,
// so a bad file fails at once. Not looped.
FMOD_RESULT FMOD_System_CreateSound(FMOD_SYSTEM *system, const char *name_or_data,
                                    FMOD_MODE mode, FMOD_CREATESOUNDEXINFO *exinfo,
                                    FMOD_SOUND **sound);
FMOD_RESULT FMOD_Sound_Release(FMOD_SOUND *sound);

// Starts the sound at once (unless paused) and returns its channel, which
// stays valid until FMOD_System_Release.
FMOD_RESULT FMOD_System_PlaySound(FMOD_SYSTEM *system, FMOD_CHANNELINDEX channelid,
                                  FMOD_SOUND *sound, FMOD_BOOL paused,
                                  FMOD_CHANNEL **channel);

// A null channel answers "not playing" (if isplaying is non-null) and
// returns FMOD_ERR_INVALID_HANDLE.
FMOD_RESULT FMOD_Channel_IsPlaying(FMOD_CHANNEL *channel, FMOD_BOOL *isplaying);
FMOD_RESULT FMOD_Channel_SetPaused(FMOD_CHANNEL *channel, FMOD_BOOL paused);
FMOD_RESULT FMOD_Channel_Stop(FMOD_CHANNEL *channel);
// Where the channel is in its track, in milliseconds (FMOD_TIMEUNIT_MS, the
// only unit taken). Setting it goes on from there, paused or not, as if it
// had played up to it: the spectrum reads the track at that point. Past the
// track's end the channel ends, as at its end. A channel that has ended
// answers FMOD_ERR_INVALID_HANDLE.
FMOD_RESULT FMOD_Channel_SetPosition(FMOD_CHANNEL *channel, unsigned int position, FMOD_TIMEUNIT postype);
FMOD_RESULT FMOD_Channel_GetPosition(FMOD_CHANNEL *channel, unsigned int *position, FMOD_TIMEUNIT postype);

// Magnitude spectrum of what the channel plays now: numvalues (a power of
// two, 64..8192) bins from 0 Hz up, of a 2 * numvalues window centred on
// the playing position; channeloffset 0 = left, 1 = right. A full-scale
// sine on a bin centre reads 1.0. On error the array is left untouched.
FMOD_RESULT FMOD_Channel_GetSpectrum(FMOD_CHANNEL *channel, float *spectrumarray,
                                     int numvalues, int channeloffset,
                                     FMOD_DSP_FFT_WINDOW windowtype);

const char *FMOD_ErrorString(FMOD_RESULT errcode);

#ifdef __cplusplus
}
#endif
