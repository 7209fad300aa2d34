// The sound layer and the music module: error codes, fast open, playback
// to the end, the rendered output being the music, and the spectrum.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fmodex/fmod.h"
#include "fmodex/fmodex_test.h"
#include "main/music.h"
#include "main/startup.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double secondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

void run(const std::string &cmd) {
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// Test tracks, made once per process with sox and lame in a temp dir.
struct Tracks {
  std::string dir;
  std::string tone;   // 10 s: 1 kHz left, 3 kHz right
  std::string sweep;  // 2 s: different sweeps left and right
  std::string longer; // 3 min, tag-less frames concatenated
  pid_t owner = 0;

  ~Tracks() {
    if (!dir.empty() && owner == getpid()) std::system(("rm -rf '" + dir + "'").c_str());
  }
};

void makeTracks(Tracks &t) {
  char tmpl[] = "/tmp/vy_sound_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  t.dir = tmpl;
  t.owner = getpid();
  const std::string d = "'" + t.dir + "/";
  run("sox -n -r 44100 -c 2 -b 16 " + d + "tone.wav' synth 10 sine 1000 sine 3000 vol 0.9");
  run("lame --quiet -b 192 " + d + "tone.wav' " + d + "tone.mp3'");
  run("sox -n -r 44100 -c 2 -b 16 " + d + "sweep.wav' synth 2 sine 200-2000 sine 3000-500 vol 0.7");
  run("lame --quiet -b 192 " + d + "sweep.wav' " + d + "sweep.mp3'");
  // Without the Info tag, copies join into one longer stream.
  run("lame --quiet -t -b 128 " + d + "tone.wav' " + d + "piece.mp3'");
  std::string cat = "cat";
  for (int i = 0; i < 18; ++i) cat += " " + d + "piece.mp3'";
  run(cat + " > " + d + "long.mp3'");
  t.tone = t.dir + "/tone.mp3";
  t.sweep = t.dir + "/sweep.mp3";
  t.longer = t.dir + "/long.mp3";
}

// Death-test children run the test again from the start: they find the
// parent's tracks through the environment instead of encoding them anew.
const Tracks &tracks() {
  static Tracks t;
  if (t.dir.empty()) {
    if (const char *dir = getenv("VY_SOUND_TEST_TRACKS")) {
      t.dir = dir;
      t.tone = t.dir + "/tone.mp3";
      t.sweep = t.dir + "/sweep.mp3";
      t.longer = t.dir + "/long.mp3";
    } else {
      makeTracks(t);
      setenv("VY_SOUND_TEST_TRACKS", t.dir.c_str(), 1);
    }
  }
  return t;
}

// mpg123's own decode of a whole file, float stereo, for comparison.
std::vector<float> decodeAll(const std::string &path, long *rate) {
  mpg123_init();
  mpg123_handle *mh = mpg123_new(nullptr, nullptr);
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
  mpg123_format_none(mh);
  mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_FLOAT_32);
  std::vector<float> pcm;
  int channels = 0, encoding = 0;
  if (mpg123_open(mh, path.c_str()) == MPG123_OK && mpg123_getformat(mh, rate, &channels, &encoding) == MPG123_OK) {
    std::vector<float> chunk(8192);
    for (;;) {
      size_t done = 0;
      int r = mpg123_read(mh, reinterpret_cast<unsigned char *>(chunk.data()), chunk.size() * sizeof(float), &done);
      pcm.insert(pcm.end(), chunk.begin(), chunk.begin() + done / sizeof(float));
      if (r != MPG123_OK) break;
    }
  }
  mpg123_delete(mh);
  return pcm;
}

// A system that the test releases however it ends.
struct System {
  FMOD_SYSTEM *s = nullptr;
  explicit System(bool loopback = false) {
    fmodex_test::forceLoopback(loopback);
    EXPECT_EQ(FMOD_System_Create(&s), FMOD_OK);
    EXPECT_EQ(FMOD_System_Init(s, 1, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
    fmodex_test::forceLoopback(false);
  }
  ~System() { FMOD_System_Release(s); }
  FMOD_SOUND *open(const std::string &path) {
    FMOD_SOUND *sound = nullptr;
    EXPECT_EQ(FMOD_System_CreateSound(s, path.c_str(), 200, nullptr, &sound), FMOD_OK) << path;
    return sound;
  }
  FMOD_CHANNEL *play(FMOD_SOUND *sound) {
    FMOD_CHANNEL *c = nullptr;
    EXPECT_EQ(FMOD_System_PlaySound(s, FMOD_CHANNEL_FREE, sound, 0, &c), FMOD_OK);
    return c;
  }
};

bool isPlaying(FMOD_CHANNEL *c) {
  FMOD_BOOL p = 0;
  FMOD_Channel_IsPlaying(c, &p);
  return p != 0;
}

int argmax(const std::vector<float> &v) {
  return int(std::max_element(v.begin(), v.end()) - v.begin());
}

TEST(SoundErrors, StringsForKnownAndUnknownCodes) {
  EXPECT_STREQ(FMOD_ErrorString(FMOD_OK), "No errors.");
  EXPECT_STREQ(FMOD_ErrorString(FMOD_ERR_FILE_NOTFOUND), "File not found. ");
  EXPECT_STREQ(FMOD_ErrorString(FMOD_ERR_FORMAT), "Unsupported file or audio format. ");
  for (FMOD_RESULT r : {FMOD_ERR_CHANNEL_ALLOC, FMOD_ERR_FILE_BAD, FMOD_ERR_INITIALIZED, FMOD_ERR_INVALID_HANDLE,
                        FMOD_ERR_INVALID_PARAM, FMOD_ERR_MEMORY, FMOD_ERR_OUTPUT_INIT, FMOD_ERR_UNINITIALIZED}) {
    std::string text = FMOD_ErrorString(r);
    EXPECT_LT(int(r), 96);
    EXPECT_NE(text, "Unknown error.") << r;
    EXPECT_EQ(text.back(), ' ') << r;
  }
  for (int code : {-1, 1, 24, 96, 1000, int(FMOD_RESULT_FORCEINT)})
    EXPECT_STREQ(FMOD_ErrorString(FMOD_RESULT(code)), "Unknown error.") << code;
}

TEST(SoundErrors, BadFilesFailAtOnceWithTheirCodes) {
  const std::string dir = tracks().dir;
  {
    std::ofstream(dir + "/empty.mp3");
    std::ofstream text(dir + "/text.mp3");
    for (int i = 0; i < 2000; ++i) text << "this is not music at all\n";
    std::ofstream noise(dir + "/noise.mp3", std::ios::binary);
    std::mt19937 rng(7);
    for (int i = 0; i < 200000; ++i) noise.put(char(rng()));
  }
  mkdir((dir + "/adir.mp3").c_str(), 0755);
  System sys;
  struct Case {
    std::string path;
    FMOD_RESULT expected;
  } cases[] = {
      {dir + "/missing.mp3", FMOD_ERR_FILE_NOTFOUND},
      {dir + "/adir.mp3", FMOD_ERR_FILE_NOTFOUND},
      {dir + "/empty.mp3", FMOD_ERR_FORMAT},
      {dir + "/text.mp3", FMOD_ERR_FORMAT},
      {dir + "/noise.mp3", FMOD_ERR_FORMAT},
      {dir + "/tone.wav", FMOD_ERR_FORMAT},
  };
  for (const Case &c : cases) {
    FMOD_SOUND *sound = reinterpret_cast<FMOD_SOUND *>(0x1);
    EXPECT_EQ(FMOD_System_CreateSound(sys.s, c.path.c_str(), 200, nullptr, &sound), c.expected) << c.path;
    EXPECT_EQ(sound, nullptr) << c.path;
  }
  if (geteuid() != 0) {  // root reads anything
    std::string locked = dir + "/locked.mp3";
    run("cp '" + tracks().tone + "' '" + locked + "'");
    chmod(locked.c_str(), 0);
    FMOD_SOUND *sound = nullptr;
    EXPECT_EQ(FMOD_System_CreateSound(sys.s, locked.c_str(), 200, nullptr, &sound), FMOD_ERR_FILE_BAD);
  }
}

TEST(SoundErrors, UseBeforeInitAndNullHandles) {
  FMOD_SYSTEM *s = nullptr;
  ASSERT_EQ(FMOD_System_Create(&s), FMOD_OK);
  FMOD_SOUND *sound = nullptr;
  EXPECT_EQ(FMOD_System_CreateSound(s, tracks().tone.c_str(), 200, nullptr, &sound), FMOD_ERR_UNINITIALIZED);
  unsigned version = 0;
  EXPECT_EQ(FMOD_System_GetVersion(s, &version), FMOD_OK);
  EXPECT_NE(version, 0u);
  EXPECT_EQ(FMOD_System_GetVersion(nullptr, &version), FMOD_ERR_INVALID_HANDLE);
  EXPECT_EQ(FMOD_System_Init(s, 0, FMOD_INIT_NORMAL, nullptr), FMOD_ERR_INVALID_PARAM);
  ASSERT_EQ(FMOD_System_Init(s, 1, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  EXPECT_EQ(FMOD_System_Init(s, 1, FMOD_INIT_NORMAL, nullptr), FMOD_ERR_INITIALIZED);
  FMOD_CHANNEL *c = reinterpret_cast<FMOD_CHANNEL *>(0x1);
  EXPECT_NE(FMOD_System_PlaySound(s, FMOD_CHANNEL_FREE, nullptr, 0, &c), FMOD_OK);
  EXPECT_EQ(c, nullptr);
  FMOD_System_Release(s);
}

TEST(SoundNullChannel, ReportsNotPlayingAndTouchesNothing) {
  FMOD_BOOL playing = 7;
  EXPECT_NE(FMOD_Channel_IsPlaying(nullptr, &playing), FMOD_OK);
  EXPECT_EQ(playing, 0);
  EXPECT_NE(FMOD_Channel_IsPlaying(nullptr, nullptr), FMOD_OK);
  std::vector<float> spectrum(1024, -3.0f);
  EXPECT_NE(FMOD_Channel_GetSpectrum(nullptr, spectrum.data(), 1024, 0, FMOD_DSP_FFT_WINDOW_BLACKMAN), FMOD_OK);
  EXPECT_EQ(std::count(spectrum.begin(), spectrum.end(), -3.0f), 1024);
}

TEST(SoundOpen, CreateSoundDoesNotDecodeTheWholeFile) {
  struct stat st;
  ASSERT_EQ(stat(tracks().longer.c_str(), &st), 0);
  ASSERT_GT(st.st_size, 2'500'000);  // about 3 minutes at 128 kbit/s
  System sys;
  FMOD_SOUND *sound = nullptr;
  auto t0 = Clock::now();
  ASSERT_EQ(FMOD_System_CreateSound(sys.s, tracks().longer.c_str(), 200, nullptr, &sound), FMOD_OK);
  double took = secondsSince(t0);
  EXPECT_LT(took, 0.2);  // a full decode takes seconds
  t0 = Clock::now();
  FMOD_CHANNEL *c = sys.play(sound);
  EXPECT_LT(secondsSince(t0), 0.2);
  EXPECT_TRUE(isPlaying(c));
}

TEST(SoundSpectrum, FullScaleSineOnABinCentreReadsOne) {
  const int n = 1024;
  std::vector<float> samples(2 * n), out(n);
  for (int type = FMOD_DSP_FFT_WINDOW_RECT; type < FMOD_DSP_FFT_WINDOW_MAX; ++type) {
    for (int bin : {46, 139, 500}) {
      for (int i = 0; i < 2 * n; ++i) samples[i] = float(std::sin(2 * M_PI * bin * i / (2.0 * n)));
      ASSERT_TRUE(fmodex_test::spectrumOf(samples.data(), n, FMOD_DSP_FFT_WINDOW(type), out.data()));
      EXPECT_EQ(argmax(out), bin) << "window " << type;
      EXPECT_NEAR(out[bin], 1.0, 0.01) << "window " << type << " bin " << bin;
      EXPECT_GE(*std::min_element(out.begin(), out.end()), 0.0f);
    }
  }
  // Blackman half a bin off: the known scalloping loss, and little leakage.
  for (int i = 0; i < 2 * n; ++i) samples[i] = float(0.5 * std::sin(2 * M_PI * 100.5 * i / (2.0 * n)));
  fmodex_test::spectrumOf(samples.data(), n, FMOD_DSP_FFT_WINDOW_BLACKMAN, out.data());
  EXPECT_NEAR(std::max(out[100], out[101]), 0.5 * 0.88, 0.01);
  EXPECT_LT(out[110], 1e-3);
  std::fill(samples.begin(), samples.end(), 0.0f);
  fmodex_test::spectrumOf(samples.data(), n, FMOD_DSP_FFT_WINDOW_BLACKMAN, out.data());
  EXPECT_EQ(*std::max_element(out.begin(), out.end()), 0.0f);
}

TEST(SoundSpectrum, ToneTrackPeaksInItsBinsOnBothChannels) {
  System sys;
  FMOD_CHANNEL *c = sys.play(sys.open(tracks().tone));
  ASSERT_NE(c, nullptr);
  std::this_thread::sleep_for(milliseconds(300));
  std::vector<float> left(1024), right(1024);
  for (int read = 0; read < 20; ++read) {
    ASSERT_EQ(FMOD_Channel_GetSpectrum(c, left.data(), 1024, 0, FMOD_DSP_FFT_WINDOW_BLACKMAN), FMOD_OK);
    ASSERT_EQ(FMOD_Channel_GetSpectrum(c, right.data(), 1024, 1, FMOD_DSP_FFT_WINDOW_BLACKMAN), FMOD_OK);
    EXPECT_EQ(argmax(left), 46) << "read " << read;   // 1000 Hz / 21.53 Hz
    EXPECT_EQ(argmax(right), 139) << "read " << read;  // 3000 Hz
    // 0.9 full scale, a little under half a bin off centre.
    EXPECT_NEAR(left[46], 0.8, 0.08);
    EXPECT_NEAR(right[139], 0.8, 0.08);
    EXPECT_LT(left[139], 0.01);
    EXPECT_LT(right[46], 0.01);
    EXPECT_GE(*std::min_element(left.begin(), left.end()), 0.0f);
    std::this_thread::sleep_for(milliseconds(40));
  }
  // Bad arguments are refused and leave the array as it was.
  std::vector<float> keep(1024, -2.0f);
  EXPECT_EQ(FMOD_Channel_GetSpectrum(c, keep.data(), 1000, 0, FMOD_DSP_FFT_WINDOW_BLACKMAN), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(FMOD_Channel_GetSpectrum(c, keep.data(), 1024, 2, FMOD_DSP_FFT_WINDOW_BLACKMAN), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(FMOD_Channel_GetSpectrum(c, keep.data(), 1024, 0, FMOD_DSP_FFT_WINDOW(9)), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(FMOD_Channel_GetSpectrum(c, nullptr, 1024, 0, FMOD_DSP_FFT_WINDOW_BLACKMAN), FMOD_ERR_INVALID_PARAM);
  EXPECT_EQ(std::count(keep.begin(), keep.end(), -2.0f), 1024);
}

// The spectrum shows what plays now, not what was decoded ahead: a tone
// that steps from 1 kHz to 3 kHz at 1 s is seen to step when the playing
// position passes 1 s, give or take half a window.
TEST(SoundSpectrum, FollowsThePlayingPositionAcrossAStep) {
  const std::string d = tracks().dir;
  run("sox -n -r 44100 -c 2 -b 16 '" + d + "/a.wav' synth 1 sine 1000 vol 0.8");
  run("sox -n -r 44100 -c 2 -b 16 '" + d + "/b.wav' synth 1 sine 3000 vol 0.8");
  run("sox '" + d + "/a.wav' '" + d + "/b.wav' '" + d + "/step.wav'");
  run("lame --quiet -b 192 '" + d + "/step.wav' '" + d + "/step.mp3'");
  System sys;
  FMOD_CHANNEL *c = sys.play(sys.open(d + "/step.mp3"));
  const double step = 44100, margin = 1024 + 600;  // half a window, MP3 smear
  std::vector<float> spectrum(1024);
  int before = 0, after = 0;
  auto t0 = Clock::now();
  while (secondsSince(t0) < 1.6) {
    double p0 = fmodex_test::channelPosition(c);
    FMOD_Channel_GetSpectrum(c, spectrum.data(), 1024, 0, FMOD_DSP_FFT_WINDOW_BLACKMAN);
    double p1 = fmodex_test::channelPosition(c);
    if (p1 + margin < step && p0 > 2048) {
      ++before;
      EXPECT_EQ(argmax(spectrum), 46) << "at frame " << p0;
    } else if (p0 - margin > step) {
      ++after;
      EXPECT_EQ(argmax(spectrum), 139) << "at frame " << p0;
    }
    std::this_thread::sleep_for(milliseconds(5));
  }
  EXPECT_GT(before, 20);
  EXPECT_GT(after, 10);
}

TEST(SoundPosition, GlidesAtRealTimeSpeed) {
  System sys;
  FMOD_CHANNEL *c = sys.play(sys.open(tracks().tone));
  std::this_thread::sleep_for(milliseconds(200));
  // Read every 2 ms for about 100 ms: stepping 1024 frames at a time would
  // give at most a handful of different values.
  std::set<long> seen;
  double last = fmodex_test::channelPosition(c);
  auto start = Clock::now();
  const double startPos = last;
  for (int i = 0; i < 50; ++i) {
    std::this_thread::sleep_for(milliseconds(2));
    double p = fmodex_test::channelPosition(c);
    EXPECT_GE(p, last);
    last = p;
    seen.insert(std::lround(p));
  }
  EXPECT_GT(seen.size(), 15u);
  std::this_thread::sleep_for(milliseconds(900));
  double played = (fmodex_test::channelPosition(c) - startPos) / 44100.0;
  EXPECT_NEAR(played, secondsSince(start), 0.1);
}

TEST(SoundPlayback, ShortTrackPlaysOnceToItsEnd) {
  System sys;
  auto t0 = Clock::now();
  FMOD_CHANNEL *c = sys.play(sys.open(tracks().sweep));
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(isPlaying(c));
  while (isPlaying(c) && secondsSince(t0) < 10) std::this_thread::sleep_for(milliseconds(20));
  double took = secondsSince(t0);
  EXPECT_FALSE(isPlaying(c)) << "still playing a 2 s track after 10 s";
  EXPECT_GT(took, 1.8);  // not cut short
  EXPECT_LT(took, 4.0);
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_FALSE(isPlaying(c));  // not looped
}

// A mono file at another rate: doubled to both channels, timed and
// analysed at its own rate (bins of 48000 / 2048 Hz).
TEST(SoundPlayback, Mono48kHzPlaysAtItsOwnRate) {
  const std::string d = tracks().dir;
  run("sox -n -r 48000 -c 1 -b 16 '" + d + "/mono.wav' synth 1.5 sine 2000 vol 0.8");
  run("lame --quiet -b 128 '" + d + "/mono.wav' '" + d + "/mono.mp3'");
  System sys;
  auto t0 = Clock::now();
  FMOD_CHANNEL *c = sys.play(sys.open(d + "/mono.mp3"));
  std::this_thread::sleep_for(milliseconds(300));
  std::vector<float> left(1024), right(1024);
  FMOD_Channel_GetSpectrum(c, left.data(), 1024, 0, FMOD_DSP_FFT_WINDOW_BLACKMAN);
  FMOD_Channel_GetSpectrum(c, right.data(), 1024, 1, FMOD_DSP_FFT_WINDOW_BLACKMAN);
  EXPECT_EQ(argmax(left), 85);  // 2000 / 23.44
  EXPECT_EQ(argmax(right), 85);
  while (isPlaying(c) && secondsSince(t0) < 10) std::this_thread::sleep_for(milliseconds(20));
  double took = secondsSince(t0);
  EXPECT_GT(took, 1.3);
  EXPECT_LT(took, 3.5);
}

TEST(SoundPlayback, RenderedOutputIsTheDecodedMusic) {
  long rate = 0;
  std::vector<float> decoded = decodeAll(tracks().sweep, &rate);
  ASSERT_EQ(rate, 44100);
  ASSERT_GT(decoded.size(), 2 * 80000u);

  System sys(true);
  ASSERT_TRUE(fmodex_test::usesLoopback(sys.s));
  FMOD_SOUND *sound = sys.open(tracks().sweep);
  fmodex_test::startRecording(sys.s);
  FMOD_CHANNEL *c = sys.play(sound);
  auto t0 = Clock::now();
  while (isPlaying(c) && secondsSince(t0) < 10) std::this_thread::sleep_for(milliseconds(20));
  std::this_thread::sleep_for(milliseconds(100));
  std::vector<float> rec = fmodex_test::takeRecording(sys.s);

  // Line up the first sound in each, then refine by least squares.
  auto firstLoud = [](const std::vector<float> &v) {
    for (size_t i = 0; i < v.size(); ++i)
      if (std::fabs(v[i]) > 0.05f) return long(i / 2);
    return -1L;
  };
  long d0 = firstLoud(decoded), r0 = firstLoud(rec);
  ASSERT_GE(d0, 0);
  ASSERT_GE(r0, 0) << "the recording is silent";
  long bestLag = 0;
  double bestErr = 1e30;
  for (long lag = r0 - d0 - 64; lag <= r0 - d0 + 64; ++lag) {
    if (lag < 0) continue;
    double err = 0;
    for (long f = d0; f < d0 + 4096; ++f)
      for (int ch = 0; ch < 2; ++ch) {
        size_t ri = size_t(f + lag) * 2 + ch;
        double diff = (ri < rec.size() ? rec[ri] : 0.0) - decoded[size_t(f) * 2 + ch];
        err += diff * diff;
      }
    if (err < bestErr) bestErr = err, bestLag = lag;
  }
  const size_t frames = decoded.size() / 2;
  ASSERT_GE(rec.size() / 2, size_t(bestLag) + frames) << "the recording stops before the track ends";
  double maxDiff = 0;
  for (size_t i = 0; i < decoded.size(); ++i)
    maxDiff = std::max(maxDiff, double(std::fabs(rec[size_t(bestLag) * 2 + i] - decoded[i])));
  EXPECT_LT(maxDiff, 1e-4) << "lag " << bestLag;
  // Nothing after the end: not looped.
  for (size_t i = (size_t(bestLag) + frames) * 2; i < rec.size(); ++i) ASSERT_EQ(rec[i], 0.0f) << i;
}

// ERRCHECK prints on stdout; the death test matches stderr, so the child
// sends its stdout there.
TEST(MusicDeathTest, ErrcheckPrintsTheLineAndExits255) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ERRCHECK(FMOD_OK);  // does nothing
  EXPECT_EXIT(
      {
        fflush(stdout);
        dup2(2, 1);
        ERRCHECK(FMOD_ERR_FILE_NOTFOUND);
      },
      testing::ExitedWithCode(255), "^\\[!\\] FMOD error! \\(23\\) File not found. \n$");
  EXPECT_EXIT(
      {
        fflush(stdout);
        dup2(2, 1);
        ERRCHECK(FMOD_RESULT(4242));
      },
      testing::ExitedWithCode(255), "^\\[!\\] FMOD error! \\(4242\\) Unknown error.\n$");
}

// Counts this process's threads.
int threadCount() {
  int n = 0;
  if (DIR *d = opendir("/proc/self/task")) {
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

void reportThreadsLeftAtExit() {
  // Runs after the sound layer's own exit handler (registered later), but
  // before OpenAL's library destructor.
  int n = threadCount();
  if (n != 1) {
    fprintf(stderr, "threads left %d\n", n);
    _exit(1);
  }
}

// The production ends with exit(0) in the middle of the music and never
// releases the sound system. A render or feeder thread still calling
// OpenAL while it tears itself down aborts the process (now and then), so
// all of them must be gone by the time library destructors run.
TEST(MusicDeathTest, ExitWhilePlayingLeavesNoThreads) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string tone = tracks().tone;
  EXPECT_EXIT(
      {
        std::atexit(reportThreadsLeftAtExit);
        int playing = 0;
        for (int i = 0; i < 3; ++i) {
          FMOD_SYSTEM *s = nullptr;
          FMOD_SOUND *sound = nullptr;
          FMOD_CHANNEL *c = nullptr;
          FMOD_System_Create(&s);
          FMOD_System_Init(s, 1, FMOD_INIT_NORMAL, nullptr);
          FMOD_System_CreateSound(s, tone.c_str(), 200, nullptr, &sound);
          FMOD_System_PlaySound(s, FMOD_CHANNEL_FREE, sound, 0, &c);
          playing += isPlaying(c);
        }
        std::this_thread::sleep_for(milliseconds(100));
        fprintf(stderr, "playing %d\n", playing);
        exit(0);
      },
      testing::ExitedWithCode(0), "playing 3\n$");
}

TEST(MusicDeathTest, MissingTrackStopsTheLoader) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  char tmpl[] = "/tmp/vy_notrack_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  EXPECT_EXIT(
      {
        fflush(stdout);
        dup2(2, 1);
        if (chdir(dir.c_str()) != 0) _exit(3);
        SOUND_ON = 1;
        CAPTURE = 0;
        initsound();
      },
      testing::ExitedWithCode(255), "\\[!\\] FMOD error! \\(23\\) File not found. \n$");
  rmdir(dir.c_str());
}

TEST(Music, OffOrCaptureMakesNoSoundCall) {
  ASSERT_EQ(system0, nullptr);
  int sound = SOUND_ON, capture = CAPTURE;
  for (auto mode : {std::make_pair(0, 0), std::make_pair(1, 1), std::make_pair(0, 1)}) {
    SOUND_ON = mode.first;
    CAPTURE = mode.second;
    initsound();
    startMusic();
    EXPECT_EQ(system0, nullptr);
    EXPECT_EQ(sound0, nullptr);
    EXPECT_EQ(channel0, nullptr);
  }
  SOUND_ON = sound;
  CAPTURE = capture;
}

TEST(Music, LoadsAndPlaysTheTrackFromTheWorkingDirectory) {
  const std::string work = tracks().dir + "/work";
  run("mkdir -p '" + work + "/data/tune' && cp '" + tracks().tone + "' '" + work + "/data/tune/vy-03.mp3'");
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(work.c_str()), 0);
  int sound = SOUND_ON, capture = CAPTURE;
  SOUND_ON = 1;
  CAPTURE = 0;
  auto t0 = Clock::now();
  initsound();
  double loadTook = secondsSince(t0);
  startMusic();
  SOUND_ON = sound;
  CAPTURE = capture;
  ASSERT_EQ(chdir(here), 0);
  EXPECT_NE(system0, nullptr);
  EXPECT_EQ(version0, unsigned(FMOD_VERSION));
  EXPECT_NE(sound0, nullptr);
  ASSERT_NE(channel0, nullptr);
  EXPECT_TRUE(isPlaying(channel0));
  EXPECT_LT(loadTook, 2.0);  // includes probing for a sound card
  std::this_thread::sleep_for(milliseconds(200));
  std::vector<float> left(1024);
  FMOD_Channel_GetSpectrum(channel0, left.data(), 1024, 0, FMOD_DSP_FFT_WINDOW_BLACKMAN);
  EXPECT_EQ(argmax(left), 46);
}

}  // namespace
