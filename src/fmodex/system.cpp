// The sound system: output device (a real one, or a loopback device driven
// by our own render thread when there is no sound card), channel slots.
#include "fmodex/fmodex_test.h"
#include "fmodex/internal.h"

#include <dlfcn.h>
#include <pthread.h>

#include <algorithm>

#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> gForceLoopback{false};
std::atomic<bool> gManualRender{false};

// Live systems. The production ends with exit() while the music plays and
// never releases anything; OpenAL tears itself down in its library
// destructor, and a render or feeder thread calling into it after that
// aborts the process. So at exit, before library destructors, close them.
std::mutex gLiveMutex;
std::vector<FMOD_SYSTEM *> gLive;

// Stops our threads and gives back everything OpenAL holds (its context
// has a thread too). The objects stay, so handles in use still answer:
// not playing, silent spectrum.
void closeOutput(FMOD_SYSTEM *s) {
  for (auto &c : s->channels) c->stop();
  s->stopRender = true;
  if (s->renderThread.joinable()) s->renderThread.join();
  if (s->context) {
    fmodex::ContextScope scope(s->context);
    for (auto &c : s->channels) {
      if (c->source) alDeleteSources(1, &c->source);
      alDeleteBuffers(fmodex::kBufferCount, c->buffers);
      c->source = 0;
    }
  }
  if (s->context) alcDestroyContext(s->context);
  if (s->device) alcCloseDevice(s->device);
  s->context = nullptr;
  s->device = nullptr;
  s->initialised = false;
}

void closeAllAtExit() {
  std::lock_guard<std::mutex> lock(gLiveMutex);
  for (FMOD_SYSTEM *s : gLive) closeOutput(s);
  gLive.clear();
}

// libasound prints "ALSA lib ..." lines while OpenAL probes for a card that
// is not there. Silence it only around that probe, so later errors show.
typedef void (*AlsaErrorHandler)(const char *, int, const char *, int, const char *, ...);
typedef int (*AlsaSetHandler)(AlsaErrorHandler);
void alsaQuiet(const char *, int, const char *, int, const char *, ...) {}

class AlsaSilencer {
 public:
  AlsaSilencer() {
    lib_ = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (lib_) set_ = reinterpret_cast<AlsaSetHandler>(dlsym(lib_, "snd_lib_error_set_handler"));
    if (set_) set_(alsaQuiet);
  }
  ~AlsaSilencer() {
    if (set_) set_(nullptr);  // back to libasound's default printer
    if (lib_) dlclose(lib_);
  }
  AlsaSilencer(const AlsaSilencer &) = delete;
  AlsaSilencer &operator=(const AlsaSilencer &) = delete;

 private:
  void *lib_ = nullptr;
  AlsaSetHandler set_ = nullptr;
};

FMOD_RESULT openRealDevice(FMOD_SYSTEM *s) {
  AlsaSilencer quiet;
  s->device = alcOpenDevice(nullptr);
  if (!s->device) return FMOD_ERR_OUTPUT_INIT;
  s->context = alcCreateContext(s->device, nullptr);
  if (!s->context) {
    alcCloseDevice(s->device);
    s->device = nullptr;
    return FMOD_ERR_OUTPUT_INIT;
  }
  ALCint freq = 0, refresh = 0;
  alcGetIntegerv(s->device, ALC_FREQUENCY, 1, &freq);
  alcGetIntegerv(s->device, ALC_REFRESH, 1, &refresh);
  if (freq > 0 && refresh > 0) s->deviceStep = std::max(fmodex::kRenderFrames, 2 * freq / refresh);
  return FMOD_OK;
}

FMOD_RESULT openLoopbackDevice(FMOD_SYSTEM *s) {
  s->device = alcLoopbackOpenDeviceSOFT(nullptr);
  if (!s->device) return FMOD_ERR_OUTPUT_INIT;
  const ALCint attrs[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                          ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                          ALC_FREQUENCY, fmodex::kOutputRate, 0};
  if (!alcIsRenderFormatSupportedSOFT(s->device, fmodex::kOutputRate, ALC_STEREO_SOFT, ALC_FLOAT_SOFT) ||
      !(s->context = alcCreateContext(s->device, attrs))) {
    alcCloseDevice(s->device);
    s->device = nullptr;
    return FMOD_ERR_OUTPUT_INIT;
  }
  s->loopback = true;
  s->deviceStep = fmodex::kRenderFrames;
  if (!gManualRender.load()) s->renderThread = std::thread([s] { s->renderLoop(); });
  return FMOD_OK;
}

// One step of the loopback device, kept if recording.
void mixStep(FMOD_SYSTEM *s, std::vector<float> &mix) {
  alcRenderSamplesSOFT(s->device, mix.data(), fmodex::kRenderFrames);
  std::lock_guard<std::mutex> lock(s->recordMutex);
  if (s->recording) s->recorded.insert(s->recorded.end(), mix.begin(), mix.end());
}

}  // namespace

// Mixes 1024 frames per step on a steady clock, as a sound card would.
void FMOD_SYSTEM::renderLoop() {
  // Named, so a thread of ours is told from OpenAL's own (its backends keep
  // threads until the library unloads).
  pthread_setname_np(pthread_self(), "fmodex-mix");
  using clock = std::chrono::steady_clock;
  std::vector<float> mix(2 * fmodex::kRenderFrames);
  const auto step = std::chrono::duration_cast<clock::duration>(
      std::chrono::duration<double>(double(fmodex::kRenderFrames) / fmodex::kOutputRate));
  auto next = clock::now();
  while (!stopRender.load()) {
    mixStep(this, mix);
    next += step;
    auto now = clock::now();
    // After a long stall (suspended, starved) carry on from now rather than
    // racing through the backlog.
    if (now - next > std::chrono::milliseconds(250)) next = now;
    std::this_thread::sleep_until(next);
  }
}

extern "C" FMOD_RESULT FMOD_System_Create(FMOD_SYSTEM **system) {
  if (!system) return FMOD_ERR_INVALID_PARAM;
  *system = new (std::nothrow) FMOD_SYSTEM();
  return *system ? FMOD_OK : FMOD_ERR_MEMORY;
}

extern "C" FMOD_RESULT FMOD_System_GetVersion(FMOD_SYSTEM *system, unsigned int *version) {
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  if (!version) return FMOD_ERR_INVALID_PARAM;
  *version = FMOD_VERSION;
  return FMOD_OK;
}

extern "C" FMOD_RESULT FMOD_System_SetOutput(FMOD_SYSTEM *system, FMOD_OUTPUTTYPE output) {
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  if (system->initialised) return FMOD_ERR_INITIALIZED;
  if (output != FMOD_OUTPUTTYPE_AUTODETECT && output != FMOD_OUTPUTTYPE_NOSOUND_NRT)
    return FMOD_ERR_INVALID_PARAM;
  system->nrt = output == FMOD_OUTPUTTYPE_NOSOUND_NRT;
  return FMOD_OK;
}

extern "C" FMOD_RESULT FMOD_System_Advance(FMOD_SYSTEM *system, unsigned int milliseconds) {
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  if (!system->initialised) return FMOD_ERR_UNINITIALIZED;
  if (!system->nrt) return FMOD_ERR_INVALID_PARAM;
  for (auto &c : system->channels) {
    if (!c->playing.load() || c->paused.load()) continue;
    std::lock_guard<std::mutex> lock(c->mutex);
    c->nrtMillis += milliseconds;
    c->nrtFill();
  }
  return FMOD_OK;
}

extern "C" FMOD_RESULT FMOD_System_Init(FMOD_SYSTEM *system, int maxchannels,
                                        FMOD_INITFLAGS, void *) {
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  if (system->initialised) return FMOD_ERR_INITIALIZED;
  if (maxchannels < 1 || maxchannels > 4096) return FMOD_ERR_INVALID_PARAM;
  if (system->nrt) {
    // Nothing to open: the caller's clock drives the channels.
    system->maxChannels = maxchannels;
    system->slots.assign(maxchannels, nullptr);
    system->initialised = true;
    return FMOD_OK;
  }
  // OpenAL reads its log level at the first ALC call; keep it quiet unless
  // the user asked for something.
  setenv("ALSOFT_LOGLEVEL", "0", 0);
  FMOD_RESULT r = FMOD_ERR_OUTPUT_INIT;
  if (!gForceLoopback.load()) r = openRealDevice(system);
  if (r != FMOD_OK) r = openLoopbackDevice(system);
  if (r != FMOD_OK) return r;
  system->maxChannels = maxchannels;
  system->slots.assign(maxchannels, nullptr);
  system->initialised = true;
  static std::once_flag registered;
  std::call_once(registered, [] { std::atexit(closeAllAtExit); });
  std::lock_guard<std::mutex> lock(gLiveMutex);
  gLive.push_back(system);
  return FMOD_OK;
}

extern "C" FMOD_RESULT FMOD_System_Release(FMOD_SYSTEM *system) {
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  {
    std::lock_guard<std::mutex> lock(gLiveMutex);
    gLive.erase(std::remove(gLive.begin(), gLive.end(), system), gLive.end());
  }
  closeOutput(system);
  for (auto &c : system->channels)
    if (c->mh) mpg123_delete(c->mh);
  for (auto &s : system->sounds)
    if (s->handle) mpg123_delete(s->handle);
  delete system;
  return FMOD_OK;
}

namespace fmodex_test {

void forceLoopback(bool on) { gForceLoopback = on; }

bool usesLoopback(FMOD_SYSTEM *system) { return system && system->loopback; }

void manualRender(bool on) { gManualRender = on; }

bool renderStep(FMOD_SYSTEM *system) {
  if (!system || !system->loopback || system->renderThread.joinable()) return false;
  // The feeders refill on their own clock: wait until each has taken back
  // the buffers already played, so that no step mixes an underrun.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  fmodex::ContextScope scope(system->context);
  auto played = [](FMOD_CHANNEL *c) {
    ALint n = 0;
    alGetSourcei(c->source, AL_BUFFERS_PROCESSED, &n);
    return n;
  };
  for (auto &c : system->channels)
    while (c->source && c->playing.load() && played(c.get()) > 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  std::vector<float> mix(2 * fmodex::kRenderFrames);
  mixStep(system, mix);
  return true;
}

void startRecording(FMOD_SYSTEM *system) {
  std::lock_guard<std::mutex> lock(system->recordMutex);
  system->recorded.clear();
  system->recording = true;
}

std::vector<float> takeRecording(FMOD_SYSTEM *system) {
  std::lock_guard<std::mutex> lock(system->recordMutex);
  system->recording = false;
  return std::move(system->recorded);
}

}  // namespace fmodex_test
