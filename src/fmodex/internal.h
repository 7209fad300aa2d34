// Inside of the sound layer: the objects behind the opaque handles.
#pragma once
#include "fmodex/fmod.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <mpg123.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fmodex {

constexpr int kOutputRate = 44100;      // loopback fallback format
constexpr int kRenderFrames = 1024;     // loopback render step
constexpr int kBufferCount = 4;         // OpenAL buffers queued per stream
constexpr int kBufferFrames = 4096;     // frames per OpenAL buffer
constexpr int kRingFrames = 1 << 16;    // recent decoded PCM kept for spectra
// Non-real-time channels keep this much decoded beyond the position, enough
// for the widest spectrum window.
constexpr int kNrtLookahead = 2 * 8192;
// The widest spectrum window reaches this far before the position.
constexpr int kSpectrumReach = 8192;
constexpr auto kFeedPoll = std::chrono::milliseconds(10);

// AL calls act on the calling thread's context only, so several systems
// (the tests make many) never step on one another.
class ContextScope {
 public:
  explicit ContextScope(ALCcontext *ctx) : prev_(alcGetThreadContext()) {
    alcSetThreadContext(ctx);
  }
  ~ContextScope() { alcSetThreadContext(prev_); }
  ContextScope(const ContextScope &) = delete;
  ContextScope &operator=(const ContextScope &) = delete;

 private:
  ALCcontext *prev_;
};

// Opens a file for float stereo output at its own rate and checks its
// first frame. On success *out owns the handle.
FMOD_RESULT openMp3(const char *path, mpg123_handle **out, long *rate);

// Magnitudes of samples[0..2n) windowed: n bins, 2|X|/sum(w).
bool computeSpectrum(const float *samples, int n, FMOD_DSP_FFT_WINDOW type, float *out);

}  // namespace fmodex

struct FMOD_SOUND {
  FMOD_SYSTEM *system = nullptr;
  std::string path;
  FMOD_MODE mode = 0;
  long rate = 0;
  mpg123_handle *handle = nullptr;  // opened by CreateSound, taken by the first play
};

struct FMOD_CHANNEL {
  FMOD_SYSTEM *system = nullptr;
  mpg123_handle *mh = nullptr;
  long rate = 0;
  ALuint source = 0;
  ALuint buffers[fmodex::kBufferCount] = {};

  // Guards position bookkeeping and the PCM ring; held across the AL calls
  // that change or read the queue so unqueued + offset is consistent.
  std::mutex mutex;
  // Held by whoever decodes or moves buffers (the feeder's rounds, a seek),
  // taken before mutex: the decoder is not shared.
  std::mutex decodeMutex;
  std::deque<std::pair<ALuint, long>> queued;  // buffer and its frame count
  int64_t framesUnqueued = 0;
  int64_t framesDecoded = 0;
  int64_t ringFrom = 0;     // the first frame decoded since the last seek
  std::vector<float> ring;  // kRingFrames interleaved stereo frames
  bool eof = false;
  // Smoothed clock: the device position moves in steps (1024 frames on
  // the loopback device), pictures want it to glide.
  bool anchored = false;
  double anchorPos = 0;
  std::chrono::steady_clock::time_point anchorTime;
  int64_t maxLead = fmodex::kRenderFrames;

  // Non-real-time output: no source; the position is the time advanced.
  bool nrt = false;
  int64_t nrtMillis = 0;
  // Decodes until the ring holds what a spectrum at the position reads;
  // ends playing once the position has passed the last frame.
  void nrtFill();

  std::atomic<bool> playing{false};
  std::atomic<bool> paused{false};
  std::atomic<bool> stopRequest{false};
  std::mutex wakeMutex;
  std::condition_variable wake;
  std::thread feeder;

  // Frames decoded into buffers; 0 at end of stream.
  long decode(float *pcm, long frames);
  // Moves the decoder to a frame of the track; the ring and the counts
  // start there. Call with mutex held.
  void seekDecoder(int64_t frame);
  void feedLoop();
  void stop();
  // Playing position in frames, interpolated; call with mutex held and
  // this system's context current.
  double position();
};

struct FMOD_SYSTEM {
  bool initialised = false;
  int maxChannels = 0;
  ALCdevice *device = nullptr;
  ALCcontext *context = nullptr;
  bool loopback = false;
  bool nrt = false;  // FMOD_OUTPUTTYPE_NOSOUND_NRT: no device, no threads
  int deviceStep = fmodex::kRenderFrames;  // frames the device mixes at once

  std::thread renderThread;
  std::atomic<bool> stopRender{false};
  std::mutex recordMutex;
  bool recording = false;
  std::vector<float> recorded;

  std::vector<std::unique_ptr<FMOD_SOUND>> sounds;
  std::vector<std::unique_ptr<FMOD_CHANNEL>> channels;
  std::vector<FMOD_CHANNEL *> slots;  // maxChannels entries, null when free

  void renderLoop();
};
