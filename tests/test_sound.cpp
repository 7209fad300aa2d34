// The sound layer and the music module: the rendered output being the
// music, the spectrum, exiting while playing; the city that grows with it,
// and the run ending where its program is missing.
#include <gtest/gtest.h>
#include <mpg123.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <string>
#include <thread>
#include <vector>

#include "fmodex/fmod.h"
#include "fmodex/fmodex_test.h"
#include "fmodex/internal.h"
#include "harness/harness.h"
#include "main/music.h"
#include "main/showrange.h"
#include "main/startup.h"
#include "scenes/scene08.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double secondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

void run(const std::string &cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; }

// Test tracks, made once per process (death-test children find them through
// the environment): sweep, 2 s of different sweeps left and right; step,
// 1 kHz then 3 kHz for 1 s each; mono, 1.5 s of 2 kHz at 48 kHz; city, 6 s
// of sines on entry 372 (left, in the towers' band) and 100 (right, below).
struct Tracks {
  std::string dir;
  pid_t owner = 0;
  ~Tracks() {
    if (owner == getpid()) std::system(("rm -rf '" + dir + "'").c_str());
  }
};

std::string track(const std::string &name) {
  static Tracks t;
  if (t.dir.empty()) {
    if (const char *dir = getenv("VY_SOUND_TEST_TRACKS")) {
      t.dir = dir;
    } else {
      t.dir = makeWorkdir(false);
      t.owner = getpid();
      setenv("VY_SOUND_TEST_TRACKS", t.dir.c_str(), 1);
      const std::string wav = "sox -n -r 44100 -c 2 -b 16 ", mp3 = "lame --quiet -b 192 ";
      run("cd '" + t.dir + "' && " + wav + "sweep.wav synth 2 sine 200-2000 sine 3000-500 vol 0.7 && " + mp3 +
          "sweep.wav sweep.mp3 && " + wav + "a.wav synth 1 sine 1000 vol 0.8 && " + wav + "b.wav synth 1 sine 3000 vol 0.8 && " +
          "sox a.wav b.wav step.wav && " + mp3 + "step.wav step.mp3 && " +
          "sox -n -r 48000 -c 1 -b 16 mono.wav synth 1.5 sine 2000 vol 0.8 && lame --quiet -b 128 mono.wav mono.mp3 && " +
          wav + "city.wav synth 6 sine " + std::to_string(372 * 44100.0 / 2048) + " sine " +
          std::to_string(100 * 44100.0 / 2048) + " vol 0.8 && " + mp3 + "city.wav city.mp3");
    }
  }
  return t.dir + "/" + name;
}

// mpg123's own decode of a whole file, float stereo, for comparison.
std::vector<float> decodeAll(const std::string &path, long *rate) {
  mpg123_init();
  mpg123_handle *mh = mpg123_new(nullptr, nullptr);
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  mpg123_format_none(mh);
  mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_FLOAT_32);
  std::vector<float> pcm, chunk(8192);
  int channels = 0, encoding = 0, r = MPG123_OK;
  if (mpg123_open(mh, path.c_str()) == MPG123_OK && mpg123_getformat(mh, rate, &channels, &encoding) == MPG123_OK)
    for (size_t done = 0; r == MPG123_OK; pcm.insert(pcm.end(), chunk.begin(), chunk.begin() + done / sizeof(float)))
      r = mpg123_read(mh, reinterpret_cast<unsigned char *>(chunk.data()), chunk.size() * sizeof(float), &done);
  mpg123_delete(mh);
  return pcm;
}

// A system that the test releases however it ends.
struct System {
  FMOD_SYSTEM *s = nullptr;
  // loopback: on the loopback device, which the test mixes step by step;
  // nrt: no device, moved on only by FMOD_System_Advance.
  explicit System(bool loopback = false, bool nrt = false) {
    fmodex_test::forceLoopback(loopback);
    fmodex_test::manualRender(loopback);
    EXPECT_EQ(FMOD_System_Create(&s), FMOD_OK);
    if (nrt) {
      EXPECT_EQ(FMOD_System_SetOutput(s, FMOD_OUTPUTTYPE_NOSOUND_NRT), FMOD_OK);
    }
    EXPECT_EQ(FMOD_System_Init(s, 1, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
    fmodex_test::forceLoopback(false);
    fmodex_test::manualRender(false);
  }
  ~System() { FMOD_System_Release(s); }
  FMOD_SOUND *open(const std::string &path) {
    FMOD_SOUND *sound = nullptr;
    EXPECT_EQ(FMOD_System_CreateSound(s, path.c_str(), 200, nullptr, &sound), FMOD_OK) << path;
    return sound;
  }
  FMOD_CHANNEL *play(FMOD_SOUND *sound, bool paused = false) {
    FMOD_CHANNEL *c = nullptr;
    EXPECT_EQ(FMOD_System_PlaySound(s, FMOD_CHANNEL_FREE, sound, paused, &c), FMOD_OK);
    return c;
  }
};

bool isPlaying(FMOD_CHANNEL *c) {
  FMOD_BOOL p = 0;
  FMOD_Channel_IsPlaying(c, &p);
  return p != 0;
}

int argmax(const std::vector<float> &v) { return int(std::max_element(v.begin(), v.end()) - v.begin()); }

std::vector<float> spectrum(FMOD_CHANNEL *c, int channel) {
  std::vector<float> out(1024);
  EXPECT_EQ(FMOD_Channel_GetSpectrum(c, out.data(), 1024, channel, FMOD_DSP_FFT_WINDOW_BLACKMAN), FMOD_OK);
  return out;
}

// Where the recording's copy of the decoded track starts: line up the first
// sound above `threshold` in each, then refine by least squares.
long recordingLag(const std::vector<float> &decoded, const std::vector<float> &rec, float threshold) {
  auto firstLoud = [threshold](const std::vector<float> &v) {
    for (size_t i = 0; i < v.size(); ++i)
      if (std::fabs(v[i]) > threshold) return long(i / 2);
    return -1L;
  };
  long d0 = firstLoud(decoded), r0 = firstLoud(rec);
  if (d0 < 0 || r0 < 0) return -1;
  long bestLag = -1;
  double bestErr = 1e30;
  for (long lag = std::max(0L, r0 - d0 - 64); lag <= r0 - d0 + 64; ++lag) {
    double err = 0;
    for (size_t i = size_t(d0) * 2; i < size_t(d0 + 4096) * 2 && i < decoded.size(); ++i) {
      double diff = (i + 2 * lag < rec.size() ? rec[i + 2 * lag] : 0.0) - decoded[i];
      err += diff * diff;
    }
    if (err < bestErr) bestErr = err, bestLag = lag;
  }
  return bestLag;
}

// What the headless output renders is the decoded music, sample for
// sample: a whole test track, not looped after its end, and the first
// seconds of our own. After every step the channel's position is what has
// been heard, or at most one step ahead.
TEST(SoundPlayback, RenderedOutputIsTheDecodedMusic) {
  const struct {
    std::string path;
    float threshold;  // of the first sound that lines the two up
    size_t frames;    // compared; 0: the whole track, then silence
  } rows[] = {{track("sweep.mp3"), 0.05f, 0}, {std::string(VY_SOURCE_DIR) + "/data/tune/vy-03.mp3", 0.002f, 2 * 44100}};
  for (const auto &row : rows) {
    long rate = 0;
    std::vector<float> decoded = decodeAll(row.path, &rate);
    ASSERT_EQ(rate, 44100);
    System sys(true);
    ASSERT_TRUE(fmodex_test::usesLoopback(sys.s));
    FMOD_SOUND *sound = sys.open(row.path);
    fmodex_test::startRecording(sys.s);
    FMOD_CHANNEL *c = sys.play(sound);
    const size_t step = fmodex::kRenderFrames, steps = row.frames ? row.frames / step + 8 : 3000;
    std::vector<double> at;  // the position after each step
    for (int beyond = 0; at.size() < steps && beyond < 8; beyond += !row.frames && !isPlaying(c)) {
      ASSERT_TRUE(fmodex_test::renderStep(sys.s));
      at.push_back(fmodex_test::channelPosition(c));
    }
    std::vector<float> rec = fmodex_test::takeRecording(sys.s);
    long lag = recordingLag(decoded, rec, row.threshold);
    ASSERT_GE(lag, 0) << row.path << ": the recording is silent";
    const size_t frames = row.frames ? row.frames : decoded.size() / 2;
    for (size_t k = 1; k <= at.size(); ++k) {
      const double heard = std::clamp(double(k * step) - lag, 0.0, double(decoded.size() / 2));
      ASSERT_TRUE(at[k - 1] >= heard && at[k - 1] <= heard + step + 1) << k << ": " << at[k - 1] << ", " << heard;
    }
    ASSERT_GE(rec.size() / 2, size_t(lag) + frames) << row.path << ": the recording stops early";
    double worst = 0, energy = 0;
    for (size_t i = 0; i < frames * 2; ++i) {
      const float v = rec[size_t(lag) * 2 + i];
      worst = std::max(worst, double(std::fabs(v - decoded[i])));
      energy += double(v) * v;
    }
    EXPECT_LT(worst, 1e-4) << row.path << ", lag " << lag;
    EXPECT_GT(energy / (frames * 2), 1e-6) << row.path;  // not silence
    // Nothing after the end, not looped: newer OpenAL Soft holds the last
    // sample to the end of its mixing step and then fades it out over 64
    // frames, against a click; after that, silence.
    const size_t end = size_t(lag) + frames, tail = step + 64;
    for (size_t i = end * 2; !row.frames && i < rec.size(); ++i) {
      if (i / 2 < end + tail)
        ASSERT_LE(std::fabs(rec[i]), std::fabs(decoded[(frames - 1) * 2 + i % 2]) + 1e-6f) << i;
      else
        ASSERT_EQ(rec[i], 0.0f) << i;
    }
  }
}

// Runs after the sound layer's own exit handler (registered later), but
// before OpenAL's library destructor.
// OpenAL's own backend threads (PulseAudio's main loop) live until the
// library unloads: only ours, named fmodex-*, must be gone.
void reportThreadsLeftAtExit() {
  int ours = 0;
  for (const auto &task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    ours += name.rfind("fmodex-", 0) == 0;
  }
  if (ours != 0) fprintf(stderr, "threads left %d\n", ours), _exit(1);
}

// The production exits mid-music without releasing the sound system; a
// thread still calling OpenAL while it tears down aborts the process now
// and then. Before that, on the device: each track plays on, and a mono
// 48 kHz file is on both channels, analysed at its rate (2 kHz: bin 85).
TEST(MusicDeathTest, ExitWhilePlayingLeavesNoThreads) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string tone = track("mono.mp3");
  EXPECT_EXIT(
      {
        std::atexit(reportThreadsLeftAtExit);
        std::vector<FMOD_CHANNEL *> channels;
        for (int i = 0; i < 3; ++i) {
          System *sys = new System;  // never released
          channels.push_back(sys->play(sys->open(tone)));
        }
        // Waits for all three to move; the deadline only ends a stuck clock.
        int moving = 0;
        for (auto t0 = Clock::now(); moving < 3 && secondsSince(t0) < 30;) {
          std::this_thread::sleep_for(milliseconds(10));
          moving = 0;
          for (FMOD_CHANNEL *c : channels) moving += isPlaying(c) && fmodex_test::channelPosition(c) > 4410;
        }
        fprintf(stderr, "moving %d, peaks %d %d\n", moving, argmax(spectrum(channels[0], 0)),
                argmax(spectrum(channels[0], 1)));
        exit(0);
      },
      testing::ExitedWithCode(0), "moving 3, peaks 85 85\n$");
}

// A raw stream's music starts with the show and moves, on no device, by
// exactly 1102.5 frames (25 ms) a frame whatever the wall clock does; the
// spectrum follows it across the step; the track plays to its last frame.
TEST(Music, RawStreamPlaysOnTheCaptureClock) {
  const std::string work = track("raw");
  run("mkdir -p '" + work + "/data/tune' && cp '" + track("step.mp3") + "' '" + work + "/data/tune/vy-03.mp3'");
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(work.c_str()), 0);
  int sound = SOUND_ON, capture = CAPTURE;
  SOUND_ON = 1;
  CAPTURE = 1;
  RAW_PATH = "frames.raw";
  initsound();
  advanceMusic();  // frames before the music: nothing to move
  startMusic();
  ASSERT_NE(channel0, nullptr);
  EXPECT_FALSE(fmodex_test::usesLoopback(system0));
  std::this_thread::sleep_for(milliseconds(100));
  // Bad arguments are refused and leave the array as it was.
  std::vector<float> keep(1024, -2.0f);
  for (auto [n, channel, window] : {std::tuple{1000, 0, 0}, {1024, 2, 0}, {1024, 0, 9}})
    EXPECT_EQ(FMOD_Channel_GetSpectrum(channel0, keep.data(), n, channel, FMOD_DSP_FFT_WINDOW(window)),
              FMOD_ERR_INVALID_PARAM) << n << " " << channel << " " << window;
  EXPECT_EQ(FMOD_Channel_GetSpectrum(channel0, nullptr, 1024, 0, FMOD_DSP_FFT_WINDOW_BLACKMAN), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(std::count(keep.begin(), keep.end(), -2.0f), 1024);
  long rate = 0;
  const double frames = double(decodeAll(track("step.mp3"), &rate).size() / 2), margin = 1024 + 600;
  int steps = 0;
  for (; isPlaying(channel0) && steps < 200; ++steps) {
    const double at = fmodex_test::channelPosition(channel0);
    ASSERT_EQ(at, steps * 1102.5);
    const int peak = argmax(spectrum(channel0, 0));
    if (at > 2048 && at + margin < 44100) { EXPECT_EQ(peak, 46) << at; }
    if (at > 44100 + margin && at + margin < frames) { EXPECT_EQ(peak, 139) << at; }
    advanceMusic();
  }
  EXPECT_EQ(steps, int(std::ceil(frames / 1102.5)));
  RAW_PATH = nullptr;
  SOUND_ON = sound;
  CAPTURE = capture;
  ASSERT_EQ(chdir(here), 0);
  FMOD_System_Release(system0);
  system0 = nullptr;
  sound0 = nullptr;
  channel0 = nullptr;
}

unsigned positionMs(FMOD_CHANNEL *c) {
  unsigned ms = 0;
  EXPECT_EQ(FMOD_Channel_GetPosition(c, &ms, FMOD_TIMEUNIT_MS), FMOD_OK);
  return ms;
}

// Both channels' spectra, left and right, agree to within what float sums
// in another order leave.
void expectSameSpectra(FMOD_CHANNEL *a, FMOD_CHANNEL *b, const std::string &what) {
  for (int side : {0, 1}) {
    const std::vector<float> x = spectrum(a, side), y = spectrum(b, side);
    float worst = 0, top = 0;
    for (int i = 0; i < 1024; ++i) worst = std::max(worst, std::fabs(x[i] - y[i])), top = std::max(top, x[i]);
    EXPECT_GT(top, 0.1f) << what;  // music, not silence
    EXPECT_LT(worst, 1e-5f) << what << " side " << side << ": peaks " << argmax(x) << " " << argmax(y);
  }
}

// A seek goes on from the place asked for as if the track had played up to
// it: on no device the position is the one set and moves with the clock
// from there, and the spectrum reads what a channel played from the start
// reads at that point (sweeps differ from frame to frame there); past the
// end the channel ends. No wall clock: the system's own clock is stepped.
TEST(SoundSeek, GoesOnFromThePlaceAsIfPlayedUpToIt) {
  System from(false, true), seeked(false, true);
  FMOD_CHANNEL *played = from.play(from.open(track("sweep.mp3")));
  FMOD_CHANNEL *c = seeked.play(seeked.open(track("sweep.mp3")));
  for (int step = 0; step < 50; ++step) EXPECT_EQ(FMOD_System_Advance(from.s, 25), FMOD_OK);
  EXPECT_EQ(FMOD_Channel_SetPosition(c, 1250, FMOD_TIMEUNIT_MS), FMOD_OK);
  EXPECT_EQ(positionMs(c), 1250u);
  EXPECT_EQ(fmodex_test::channelPosition(c), 1250 * 44.1);
  expectSameSpectra(played, c, "at 1250 ms");
  for (int step = 0; step < 9; ++step) {
    EXPECT_EQ(FMOD_System_Advance(from.s, 25), FMOD_OK);
    EXPECT_EQ(FMOD_System_Advance(seeked.s, 25), FMOD_OK);
  }
  EXPECT_EQ(positionMs(c), 1475u);
  expectSameSpectra(played, c, "at 1475 ms");
  // Back to the start, then past the end (the track lasts 2 s).
  EXPECT_EQ(FMOD_Channel_SetPosition(c, 0, FMOD_TIMEUNIT_MS), FMOD_OK);
  EXPECT_EQ(fmodex_test::channelPosition(c), 0);
  EXPECT_TRUE(isPlaying(c));
  EXPECT_EQ(FMOD_Channel_SetPosition(c, 5000, FMOD_TIMEUNIT_MS), FMOD_OK);
  EXPECT_FALSE(isPlaying(c));
  EXPECT_EQ(FMOD_Channel_SetPosition(c, 100, FMOD_TIMEUNIT_MS), FMOD_ERR_INVALID_HANDLE);
  unsigned ms = 7;
  EXPECT_EQ(FMOD_Channel_SetPosition(played, 100, 2), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(FMOD_Channel_GetPosition(played, &ms, 2), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(FMOD_Channel_SetPosition(nullptr, 100, FMOD_TIMEUNIT_MS), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(FMOD_Channel_GetPosition(nullptr, &ms, FMOD_TIMEUNIT_MS), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(ms, 7u);
}

// On the device a paused channel seeks and stays there, reading the
// spectrum of that point; unpaused, what the device renders from then on is
// the decoded track from that point, sample for sample.
TEST(SoundSeek, OnTheDeviceThePausedChannelStartsFromThePlace) {
  long rate = 0;
  const std::vector<float> decoded = decodeAll(track("sweep.mp3"), &rate);
  System reference(false, true), sys(true);
  ASSERT_TRUE(fmodex_test::usesLoopback(sys.s));
  FMOD_CHANNEL *played = reference.play(reference.open(track("sweep.mp3")));
  for (int step = 0; step < 32; ++step) FMOD_System_Advance(reference.s, 25);
  FMOD_CHANNEL *c = sys.play(sys.open(track("sweep.mp3")), true);
  EXPECT_EQ(FMOD_Channel_SetPosition(c, 800, FMOD_TIMEUNIT_MS), FMOD_OK);
  EXPECT_EQ(positionMs(c), 800u);
  EXPECT_EQ(fmodex_test::channelPosition(c), 800 * 44.1);
  expectSameSpectra(played, c, "paused at 800 ms");
  fmodex_test::startRecording(sys.s);
  EXPECT_EQ(FMOD_Channel_SetPaused(c, 0), FMOD_OK);
  // Up to the end of the track, and the device has rendered what it played.
  // The position glides between the device's steps: at the very end it may
  // fall back to the last frame, less than a step.
  unsigned last = 800;
  for (int step = 0; isPlaying(c) && step < 200; ++step) {
    ASSERT_TRUE(fmodex_test::renderStep(sys.s));
    unsigned now = positionMs(c);
    EXPECT_GE(now + 24, last);
    last = std::max(last, now);
  }
  for (int step = 0; step < 8; ++step) ASSERT_TRUE(fmodex_test::renderStep(sys.s));
  EXPECT_GE(last, 1900u);
  std::vector<float> rec = fmodex_test::takeRecording(sys.s);
  const std::vector<float> tail(decoded.begin() + 800 * 44100 / 1000 * 2, decoded.end());
  long lag = recordingLag(tail, rec, 0.05f);
  ASSERT_GE(lag, 0) << "the recording is silent";
  ASSERT_GE(rec.size(), size_t(lag) * 2 + tail.size());
  double worst = 0;
  for (size_t i = 0; i < tail.size(); ++i) worst = std::max(worst, double(std::fabs(rec[size_t(lag) * 2 + i] - tail[i])));
  EXPECT_LT(worst, 1e-4) << "lag " << lag;
}

// A live run that starts at frame 2000 plays the music up to there as a
// video does, on the capture clock to no device; at the start the device
// takes over from the place that frame has in the video, (2000 - 94) x 25 ms.
TEST(Music, LiveStartGoesOnFromTheFramesPlaceInTheVideo) {
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(VY_SOURCE_DIR), 0);
  const int sound = SOUND_ON, capture = CAPTURE;
  SOUND_ON = 1;
  CAPTURE = 0;
  rangeFirst = 2000;
  initsound();
  startMusic();  // frame 94, scene 1's first
  ASSERT_NE(channel0, nullptr);
  for (int n = 95; n < 2000; ++n) advanceMusic();
  EXPECT_EQ(positionMs(channel0), (1999u - 94) * 25);
  FMOD_CHANNEL *ahead = channel0;
  playMusicFrom(2000);
  EXPECT_FALSE(isPlaying(ahead));
  EXPECT_NE(channel0, ahead);
  EXPECT_TRUE(isPlaying(channel0));
  const unsigned at = positionMs(channel0), start = (2000 - 94) * 25;
  EXPECT_GE(at, start);
  EXPECT_LT(at, start + 1000);  // just started
  rangeFirst = 0;
  SOUND_ON = sound;
  CAPTURE = capture;
  ASSERT_EQ(chdir(here), 0);
  FMOD_System_Release(system0);
  system0 = nullptr;
  sound0 = nullptr;
  channel0 = nullptr;
}

// ---------------------------------------------------------------- the city

// No channel: both buffers zeroed, every tower 20 high.
TEST(CitySpectrum, NoChannelGivesZero) {
  channel0 = nullptr;
  EXPECT_EQ(readSpectrum(), 0.0f);
  ASSERT_NE(specL, nullptr);
  for (int i = 0; i < 1024; i++) specL[i] = specR[i] = 1;
  EXPECT_EQ(readSpectrum(), 0.0f);
  for (int i = 0; i < 1024; i++) ASSERT_TRUE(specL[i] == 0 && specR[i] == 0) << i;
}

}  // namespace

// The gibson program is built on the scene's first frame: without its
// source the run ends there, before that frame is captured. The raw stream
// spares the wait for the frame timer.
TEST(CitySpectrum, MissingProgramSourceEndsTheRunInSceneEightsFirstFrame) {
  namespace fs = std::filesystem;
  std::string dir = makeWorkdir(false), data = std::string(VY_SOURCE_DIR) + "/data";
  fs::create_directories(dir + "/data/shader/glsl");
  for (const char *sub : {"textures", "models", "fonts", "tune"}) fs::create_directory_symlink(data + "/" + sub, dir + "/data/" + sub);
  fs::create_symlink(data + "/shader/glsl/bloom.glsl", dir + "/data/shader/glsl/bloom.glsl");
  RunResult r = runProgram({"-r", "frames.raw", "-t", "-w", "160", "-h", "120"}, dir, 300);
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.status, 255);
  std::string tail = "[dev] scene 8 starts in frame 2936\n[!] Couldn't read file data/shader/glsl/gibson_frag.glsl...\n";
  EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), tail.size())), tail);
  EXPECT_NE(r.out.find("[->] captured frame #2935\n"), std::string::npos);
  EXPECT_EQ(r.out.find("[->] captured frame #2936\n"), std::string::npos);
  EXPECT_EQ(fs::file_size(dir + "/frames.raw"), 2935u * 160 * 120 * 3);
  fs::remove_all(dir);
}

// With -r the music plays on the capture clock: a range of scene 8 shows
// taller towers than with -m, the same every run, and within one level of
// a range rendered from where the blur is 0 (a whole run's frames).
TEST(CitySpectrum, VideoTowersFollowTheMusicTheSameEveryRun) {
  const int w = 160, h = 120, first = 3236, end = 3240;
  const size_t frameBytes = size_t(w) * h * 3;
  const std::string range = std::to_string(first) + ":" + std::to_string(end);
  auto frames = [&](std::vector<std::string> args, const std::string &from) {
    const std::string dir = makeWorkdir(true);
    args.insert(args.end(), {"-r", "v.raw", "-w", "160", "-h", "120", "-s", from + ":" + std::to_string(end)});
    RunResult r = runProgram(args, dir, 600);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(countLines(r.out, "[->] captured frame #"), end - std::stoi(from));
    EXPECT_NE(r.out.find("[->] captured frame #" + std::to_string(std::stoi(from) + 1) + "\n"), std::string::npos);
    std::string raw = readFile(dir + "/v.raw");
    std::filesystem::remove_all(dir);
    EXPECT_EQ(raw.size(), frameBytes * (end - std::stoi(from)));
    return raw.substr(raw.size() - std::min(raw.size(), frameBytes * (end - first)));
  };
  const std::string music = frames({}, std::to_string(first));
  EXPECT_TRUE(music == frames({}, std::to_string(first)));
  const std::string silent = frames({"-m"}, std::to_string(first));
  const std::string whole = frames({}, "3000");  // rendered from frame 2800, scene 6, unblurred
  ASSERT_EQ(music.size(), frameBytes * (end - first));
  ASSERT_EQ(silent.size(), music.size());
  ASSERT_EQ(whole.size(), music.size());
  auto blue = [&](const std::string &f, int k) {
    int n = 0;
    for (size_t i = frameBytes * k; i < frameBytes * (k + 1); i += 3)
      n += (uint8_t)f[i] < 80 && (uint8_t)f[i + 1] < 80 && (uint8_t)f[i + 2] > 150;
    return n;
  };
  for (int k = 0; k < end - first; ++k) {
    EXPECT_GT(blue(music, k), blue(silent, k) * 1.1) << "frame " << first + k;
    int worst = 0;
    for (size_t i = frameBytes * k; i < frameBytes * (k + 1); ++i)
      worst = std::max(worst, std::abs((uint8_t)music[i] - (uint8_t)whole[i]));
    EXPECT_LE(worst, 1) << "frame " << first + k;
  }
}
