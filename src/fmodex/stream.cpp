// Streams: mpg123 decodes on a feeder thread into a small queue of OpenAL
// buffers; the same PCM goes into a ring the spectrum reads from.
#include "fmodex/fmodex_test.h"
#include "fmodex/internal.h"

#include <pthread.h>

#include <sys/stat.h>

#include <algorithm>
#include <new>

namespace fmodex {

FMOD_RESULT openMp3(const char *path, mpg123_handle **out, long *rate) {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
  struct stat st;
  if (!path || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return FMOD_ERR_FILE_NOTFOUND;

  int err = MPG123_OK;
  mpg123_handle *mh = mpg123_new(nullptr, &err);
  if (!mh) return FMOD_ERR_MEMORY;
  // One output format whatever the file: float stereo at the file's rate
  // (mono comes out doubled), which OpenAL takes as it is.
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  mpg123_format_none(mh);
  const long *rates = nullptr;
  size_t nrates = 0;
  mpg123_rates(&rates, &nrates);
  for (size_t i = 0; i < nrates; ++i) mpg123_format(mh, rates[i], MPG123_STEREO, MPG123_ENC_FLOAT_32);

  if (mpg123_open(mh, path) != MPG123_OK) {
    mpg123_delete(mh);
    return FMOD_ERR_FILE_BAD;
  }
  // Reads just far enough to find the first frame: garbage fails here, not
  // halfway through the show.
  long r = 0;
  int channels = 0, encoding = 0;
  struct mpg123_frameinfo info;
  if (mpg123_getformat(mh, &r, &channels, &encoding) != MPG123_OK ||
      mpg123_info(mh, &info) != MPG123_OK || info.layer != 3) {
    mpg123_delete(mh);
    return FMOD_ERR_FORMAT;
  }
  *out = mh;
  *rate = r;
  return FMOD_OK;
}

}  // namespace fmodex

using fmodex::ContextScope;

long FMOD_CHANNEL::decode(float *pcm, long frames) {
  auto *bytes = reinterpret_cast<unsigned char *>(pcm);
  const size_t want = size_t(frames) * 2 * sizeof(float);
  size_t got = 0;
  int idle = 0;
  while (got < want && !eof) {
    size_t done = 0;
    int r = mpg123_read(mh, bytes + got, want - got, &done);
    got += done;
    if (r == MPG123_NEW_FORMAT) continue;
    // A read error mid-file (a damaged tail) ends the track like its end.
    if (r != MPG123_OK || (done == 0 && ++idle > 8)) eof = true;
  }
  return long(got / (2 * sizeof(float)));
}

// Fills an unqueued buffer and puts it at the tail of the queue. The ring
// gets the same frames, numbered as the position counts them.
// Call with the channel's mutex held.
static void ringAppend(FMOD_CHANNEL *c, const float *pcm, long frames) {
  for (long i = 0; i < frames; ++i) {
    size_t at = size_t((c->framesDecoded + i) % fmodex::kRingFrames) * 2;
    c->ring[at] = pcm[2 * i];
    c->ring[at + 1] = pcm[2 * i + 1];
  }
  c->framesDecoded += frames;
}

// Call with the channel's mutex held.
static void queueFramesLocked(FMOD_CHANNEL *c, ALuint buffer, const float *pcm, long frames) {
  alBufferData(buffer, AL_FORMAT_STEREO_FLOAT32, pcm, ALsizei(frames * 2 * sizeof(float)),
               ALsizei(c->rate));
  ringAppend(c, pcm, frames);
  alSourceQueueBuffers(c->source, 1, &buffer);
  c->queued.emplace_back(buffer, frames);
}

static void queueFrames(FMOD_CHANNEL *c, ALuint buffer, const float *pcm, long frames) {
  std::lock_guard<std::mutex> lock(c->mutex);
  queueFramesLocked(c, buffer, pcm, frames);
}

void FMOD_CHANNEL::seekDecoder(int64_t frame) {
  // A spectrum centred on the position reads frames before it too: they
  // are decoded again, into the ring only.
  const int64_t from = std::max<int64_t>(0, frame - fmodex::kSpectrumReach);
  const off_t at = mpg123_seek(mh, off_t(from), SEEK_SET);
  eof = at < 0;
  framesDecoded = ringFrom = eof ? frame : int64_t(at);
  float pcm[2 * 1024];
  while (!eof && framesDecoded < frame) {
    const long n = decode(pcm, long(std::min<int64_t>(1024, frame - framesDecoded)));
    ringAppend(this, pcm, n);
  }
  // Past the track's end there is nothing more to play.
  if (framesDecoded < frame) {
    eof = true;
    framesDecoded = frame;
  }
}

void FMOD_CHANNEL::feedLoop() {
  pthread_setname_np(pthread_self(), "fmodex-feed");
  ContextScope scope(system->context);
  std::vector<float> pcm(2 * fmodex::kBufferFrames);
  while (!stopRequest.load()) {
    std::unique_lock<std::mutex> decoding(decodeMutex);
    std::vector<ALuint> spare;
    ALint stateAtStart = AL_PLAYING;
    {
      std::lock_guard<std::mutex> lock(mutex);
      // State before the processed count: if it had stopped, every queued
      // buffer is counted as processed and none is played twice.
      alGetSourcei(source, AL_SOURCE_STATE, &stateAtStart);
      ALint processed = 0;
      alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
      for (ALint i = 0; i < processed && !queued.empty(); ++i) {
        ALuint b = 0;
        alSourceUnqueueBuffers(source, 1, &b);
        framesUnqueued += queued.front().second;
        queued.pop_front();
        spare.push_back(b);
      }
    }
    for (ALuint b : spare) {
      long n = eof ? 0 : decode(pcm.data(), fmodex::kBufferFrames);
      if (n > 0) queueFrames(this, b, pcm.data(), n);
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (queued.empty() && eof) break;  // the last buffer has played
      // Restart after an underrun. Only when it was already stopped at the
      // start of this round: a source that ran dry since then still has
      // processed buffers queued, which a play would repeat.
      ALint now = AL_PLAYING;
      alGetSourcei(source, AL_SOURCE_STATE, &now);
      if (stateAtStart == AL_STOPPED && now == AL_STOPPED && !paused.load() && !queued.empty())
        alSourcePlay(source);
    }
    decoding.unlock();
    std::unique_lock<std::mutex> lock(wakeMutex);
    wake.wait_for(lock, fmodex::kFeedPoll, [this] { return stopRequest.load(); });
  }
  playing = false;
}

void FMOD_CHANNEL::stop() {
  {
    std::lock_guard<std::mutex> lock(wakeMutex);
    stopRequest = true;
  }
  wake.notify_all();
  if (feeder.joinable()) feeder.join();
  if (source) {
    ContextScope scope(system->context);
    std::lock_guard<std::mutex> lock(mutex);
    alSourceStop(source);
  }
  playing = false;
}

void FMOD_CHANNEL::nrtFill() {
  const double pos = position();
  float pcm[2 * 1024];
  while (!eof && double(framesDecoded) < pos + fmodex::kNrtLookahead) {
    long n = decode(pcm, 1024);
    if (n > 0) ringAppend(this, pcm, n);
  }
  if (eof && pos >= double(framesDecoded)) playing = false;
}

double FMOD_CHANNEL::position() {
  if (nrt) return double(nrtMillis) * double(rate) / 1000.0;
  // Offset before state: if it stops in between, the state tells us so and
  // the offset (reset to 0) is not used.
  ALint offset = 0, state = AL_STOPPED;
  alGetSourcei(source, AL_SAMPLE_OFFSET, &offset);
  alGetSourcei(source, AL_SOURCE_STATE, &state);
  double raw = double(framesUnqueued);
  if (state == AL_STOPPED) {
    for (auto &q : queued) raw += double(q.second);
  } else {
    raw += offset;
  }
  auto now = std::chrono::steady_clock::now();
  if (state != AL_PLAYING) {
    anchored = false;
    return raw;
  }
  double predicted = anchorPos + std::chrono::duration<double>(now - anchorTime).count() * double(rate);
  // Follow the clock between device steps, but never fall behind the
  // device nor run more than one step ahead of it.
  if (!anchored || predicted < raw) {
    anchored = true;
    anchorPos = raw;
    anchorTime = now;
    return raw;
  }
  if (predicted > raw + double(maxLead)) {
    anchorPos = raw + double(maxLead);
    anchorTime = now;
    return anchorPos;
  }
  return predicted;
}

extern "C" FMOD_RESULT FMOD_System_CreateSound(FMOD_SYSTEM *system, const char *name, FMOD_MODE mode,
                                               FMOD_CREATESOUNDEXINFO *, FMOD_SOUND **sound) {
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  if (!sound || !name) return FMOD_ERR_INVALID_PARAM;
  *sound = nullptr;
  if (!system->initialised) return FMOD_ERR_UNINITIALIZED;
  std::unique_ptr<FMOD_SOUND> s(new (std::nothrow) FMOD_SOUND());
  if (!s) return FMOD_ERR_MEMORY;
  FMOD_RESULT r = fmodex::openMp3(name, &s->handle, &s->rate);
  if (r != FMOD_OK) return r;
  s->system = system;
  s->path = name;
  s->mode = mode;
  *sound = s.get();
  system->sounds.push_back(std::move(s));
  return FMOD_OK;
}

extern "C" FMOD_RESULT FMOD_Sound_Release(FMOD_SOUND *sound) {
  if (!sound || !sound->system) return FMOD_ERR_INVALID_HANDLE;
  auto &list = sound->system->sounds;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->get() != sound) continue;
    if (sound->handle) mpg123_delete(sound->handle);
    list.erase(it);
    return FMOD_OK;
  }
  return FMOD_ERR_INVALID_HANDLE;
}

extern "C" FMOD_RESULT FMOD_System_PlaySound(FMOD_SYSTEM *system, FMOD_CHANNELINDEX channelid,
                                             FMOD_SOUND *sound, FMOD_BOOL paused,
                                             FMOD_CHANNEL **channel) {
  if (channel) *channel = nullptr;
  if (!system) return FMOD_ERR_INVALID_HANDLE;
  if (!system->initialised) return FMOD_ERR_UNINITIALIZED;
  if (!sound || sound->system != system) return FMOD_ERR_INVALID_PARAM;

  int slot = -1;
  if (channelid == FMOD_CHANNEL_FREE || channelid == FMOD_CHANNEL_REUSE) {
    for (int i = 0; i < system->maxChannels && slot < 0; ++i)
      if (!system->slots[i] || !system->slots[i]->playing.load()) slot = i;
    if (slot < 0) return FMOD_ERR_CHANNEL_ALLOC;
  } else if (channelid >= 0 && channelid < system->maxChannels) {
    slot = channelid;
  } else {
    return FMOD_ERR_INVALID_PARAM;
  }

  std::unique_ptr<FMOD_CHANNEL> c(new (std::nothrow) FMOD_CHANNEL());
  if (!c) return FMOD_ERR_MEMORY;
  c->system = system;
  c->nrt = system->nrt;
  if (sound->handle) {  // the first play uses the handle CreateSound checked
    c->mh = sound->handle;
    c->rate = sound->rate;
    sound->handle = nullptr;
  } else {
    FMOD_RESULT r = fmodex::openMp3(sound->path.c_str(), &c->mh, &c->rate);
    if (r != FMOD_OK) return r;
  }
  c->ring.assign(size_t(fmodex::kRingFrames) * 2, 0.0f);
  if (c->nrt) {
    if (system->slots[slot]) system->slots[slot]->stop();
    c->paused = paused != 0;
    c->playing = true;
    {
      std::lock_guard<std::mutex> lock(c->mutex);
      c->nrtFill();
    }
    system->slots[slot] = c.get();
    if (channel) *channel = c.get();
    system->channels.push_back(std::move(c));
    return FMOD_OK;
  }
  ALCint deviceRate = fmodex::kOutputRate;
  alcGetIntegerv(system->device, ALC_FREQUENCY, 1, &deviceRate);
  if (deviceRate <= 0) deviceRate = fmodex::kOutputRate;
  c->maxLead = int64_t(system->deviceStep) * c->rate / deviceRate + 1;

  if (system->slots[slot]) system->slots[slot]->stop();

  ContextScope scope(system->context);
  alGetError();
  alGenSources(1, &c->source);
  alGenBuffers(fmodex::kBufferCount, c->buffers);
  if (alGetError() != AL_NO_ERROR) {
    if (alIsSource(c->source)) alDeleteSources(1, &c->source);
    alDeleteBuffers(fmodex::kBufferCount, c->buffers);
    mpg123_delete(c->mh);
    return FMOD_ERR_MEMORY;
  }
  alSourcei(c->source, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
  alSourcei(c->source, AL_LOOPING, AL_FALSE);

  std::vector<float> pcm(2 * fmodex::kBufferFrames);
  for (ALuint b : c->buffers) {
    long n = c->decode(pcm.data(), fmodex::kBufferFrames);
    if (n <= 0) break;
    queueFrames(c.get(), b, pcm.data(), n);
  }
  c->paused = paused != 0;
  if (!c->queued.empty()) {
    c->playing = true;
    if (!paused) alSourcePlay(c->source);
    FMOD_CHANNEL *raw = c.get();
    c->feeder = std::thread([raw] { raw->feedLoop(); });
  }
  system->slots[slot] = c.get();
  if (channel) *channel = c.get();
  system->channels.push_back(std::move(c));
  return FMOD_OK;
}

extern "C" FMOD_RESULT FMOD_Channel_IsPlaying(FMOD_CHANNEL *channel, FMOD_BOOL *isplaying) {
  if (!channel) {
    if (isplaying) *isplaying = 0;
    return FMOD_ERR_INVALID_HANDLE;
  }
  if (!isplaying) return FMOD_ERR_INVALID_PARAM;
  *isplaying = channel->playing.load() ? 1 : 0;
  return FMOD_OK;
}

extern "C" FMOD_RESULT FMOD_Channel_SetPaused(FMOD_CHANNEL *channel, FMOD_BOOL paused) {
  if (!channel) return FMOD_ERR_INVALID_HANDLE;
  if (channel->nrt) {
    channel->paused = paused != 0;
    return FMOD_OK;
  }
  if (!channel->source) return FMOD_OK;  // an empty stream: nothing to do
  ContextScope scope(channel->system->context);
  std::lock_guard<std::mutex> lock(channel->mutex);
  channel->paused = paused != 0;
  ALint state = AL_STOPPED;
  alGetSourcei(channel->source, AL_SOURCE_STATE, &state);
  if (paused && state == AL_PLAYING) alSourcePause(channel->source);
  if (!paused && (state == AL_PAUSED || state == AL_INITIAL) && !channel->queued.empty())
    alSourcePlay(channel->source);
  return FMOD_OK;
}

extern "C" FMOD_RESULT FMOD_Channel_Stop(FMOD_CHANNEL *channel) {
  if (!channel) return FMOD_ERR_INVALID_HANDLE;
  channel->stop();
  return FMOD_OK;
}

extern "C" FMOD_RESULT FMOD_Channel_SetPosition(FMOD_CHANNEL *channel, unsigned int position,
                                                FMOD_TIMEUNIT postype) {
  if (!channel) return FMOD_ERR_INVALID_HANDLE;
  if (postype != FMOD_TIMEUNIT_MS) return FMOD_ERR_INVALID_PARAM;
  const int64_t frame = int64_t(position) * channel->rate / 1000;
  if (channel->nrt) {
    std::lock_guard<std::mutex> lock(channel->mutex);
    if (!channel->playing.load()) return FMOD_ERR_INVALID_HANDLE;
    channel->nrtMillis = position;
    channel->seekDecoder(frame);
    channel->nrtFill();
    return FMOD_OK;
  }
  if (!channel->source) return FMOD_ERR_INVALID_HANDLE;
  // The feeder waits while the queue is emptied and filled again from the
  // new place.
  std::lock_guard<std::mutex> decoding(channel->decodeMutex);
  ContextScope scope(channel->system->context);
  std::lock_guard<std::mutex> lock(channel->mutex);
  if (!channel->playing.load()) return FMOD_ERR_INVALID_HANDLE;
  alSourceStop(channel->source);
  alSourceRewind(channel->source);
  alSourcei(channel->source, AL_BUFFER, 0);
  channel->queued.clear();
  channel->seekDecoder(frame);
  channel->framesUnqueued = frame;
  channel->anchored = false;
  std::vector<float> pcm(2 * fmodex::kBufferFrames);
  for (ALuint b : channel->buffers) {
    const long n = channel->decode(pcm.data(), fmodex::kBufferFrames);
    if (n <= 0) break;
    queueFramesLocked(channel, b, pcm.data(), n);
  }
  // Nothing left to play: the feeder sees the end and lets the channel go.
  if (!channel->queued.empty() && !channel->paused.load()) alSourcePlay(channel->source);
  return FMOD_OK;
}

extern "C" FMOD_RESULT FMOD_Channel_GetPosition(FMOD_CHANNEL *channel, unsigned int *position,
                                                FMOD_TIMEUNIT postype) {
  if (!channel) return FMOD_ERR_INVALID_HANDLE;
  if (!position || postype != FMOD_TIMEUNIT_MS) return FMOD_ERR_INVALID_PARAM;
  std::unique_ptr<ContextScope> scope;
  if (!channel->nrt) {
    if (!channel->source) return FMOD_ERR_INVALID_HANDLE;
    scope.reset(new ContextScope(channel->system->context));
  }
  std::lock_guard<std::mutex> lock(channel->mutex);
  *position = channel->nrt ? unsigned(channel->nrtMillis)
                           : unsigned(channel->position() * 1000.0 / double(channel->rate));
  return FMOD_OK;
}

namespace fmodex_test {

double channelPosition(FMOD_CHANNEL *channel) {
  if (channel && channel->nrt) {
    std::lock_guard<std::mutex> lock(channel->mutex);
    return channel->position();
  }
  if (!channel || !channel->source) return -1;
  ContextScope scope(channel->system->context);
  std::lock_guard<std::mutex> lock(channel->mutex);
  return channel->position();
}

}  // namespace fmodex_test
