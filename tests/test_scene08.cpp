// The spectrum city: what the towers grow by, read through our sound layer
// from a track of known tones; the city picture following it; and the run
// ending on the scene's first frame when its program's source is missing.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "fmodex/fmod.h"
#include "fmodex/fmodex_test.h"
#include "harness/harness.h"
#include "main/driver.h"
#include "main/music.h"
#include "main/startup.h"
#include "scenes/scene08.h"
#include "scenes/scenes.h"
#include "textures.h"

namespace fs = std::filesystem;

namespace {

// Test tracks, 6 s each. "tone": left a sine on the centre of entry 372
// (8010 Hz), inside the band the towers follow; right one on entry 100
// (2153 Hz), below it; both 0.8. "noise": white noise, loud in every entry.
std::string track(const std::string &name) {
  static std::string dir;
  if (dir.empty()) {
    dir = makeWorkdir(false);
    std::string sox = "sox -n -r 44100 -c 2 -b 16 ";
    std::string cmd = "cd '" + dir + "' && " + sox + "tone.wav synth 6 sine " + std::to_string(372 * 44100.0 / 2048) +
                      " sine " + std::to_string(100 * 44100.0 / 2048) + " vol 0.8 && " + sox +
                      "noise.wav synth 6 whitenoise vol 0.5 && lame --quiet -b 192 tone.wav tone.mp3 && " +
                      "lame --quiet -b 192 noise.wav noise.mp3";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  return dir + "/" + name + ".mp3";
}

// The Blackman window spreads a sine on a bin centre over five entries:
// 1, 0.25/0.42 and 0.04/0.42 of its amplitude.
const double LOBE = 1 + 2 * 0.25 / 0.42 + 2 * 0.04 / 0.42;

FMOD_SYSTEM *play(const std::string &name, FMOD_CHANNEL **channel) {
  FMOD_SYSTEM *s = nullptr;
  fmodex_test::forceLoopback(true);
  EXPECT_EQ(FMOD_System_Create(&s), FMOD_OK);
  EXPECT_EQ(FMOD_System_Init(s, 1, FMOD_INIT_NORMAL, nullptr), FMOD_OK);
  fmodex_test::forceLoopback(false);
  FMOD_SOUND *sound = nullptr;
  EXPECT_EQ(FMOD_System_CreateSound(s, track(name).c_str(), 200, nullptr, &sound), FMOD_OK);
  EXPECT_EQ(FMOD_System_PlaySound(s, FMOD_CHANNEL_FREE, sound, 0, channel), FMOD_OK);
  // Let the spectrum window fill with the track.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  return s;
}

// Pure blue pixels of the off-screen city picture: the towers' walls.
int towerPixels() {
  std::vector<uint8_t> px(size_t(globalWidth) * globalHeight * 4);
  glBindTexture(GL_TEXTURE_2D, tb0);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  int n = 0;
  for (size_t i = 0; i < px.size(); i += 4) n += px[i] < 30 && px[i + 1] < 30 && px[i + 2] > 200;
  return n;
}

}  // namespace

// With no channel, or one that has stopped, nothing is read: both buffers
// are zero and every tower is 20 high. With the tone track the towers grow
// by twice the left channel's lobe; the right tone lies outside the band.
TEST(CitySpectrum, SilenceGivesZeroTheToneItsLobeTwice) {
  channel0 = nullptr;
  EXPECT_EQ(readSpectrum(), 0.0f);
  ASSERT_NE(specL, nullptr);
  ASSERT_NE(specR, nullptr);
  for (int i = 0; i < 1024; i++) specL[i] = specR[i] = 1;
  EXPECT_EQ(readSpectrum(), 0.0f);
  for (int i = 0; i < 1024; i++) ASSERT_TRUE(specL[i] == 0 && specR[i] == 0) << i;

  FMOD_CHANNEL *c = nullptr;
  FMOD_SYSTEM *s = play("tone", &c);
  channel0 = c;
  for (int k = 0; k < 5; k++) {
    float sum = readSpectrum();
    EXPECT_NEAR(sum, 2 * 0.8 * LOBE, 0.05 * 2 * 0.8 * LOBE) << "read " << k;
    EXPECT_NEAR(specL[372], 0.8, 0.04);
    EXPECT_NEAR(specR[100], 0.8, 0.04);  // read, but not counted
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
  FMOD_Channel_Stop(c);
  EXPECT_EQ(readSpectrum(), 0.0f);
  EXPECT_EQ(specL[372], 0.0f);
  channel0 = nullptr;
  FMOD_System_Release(s);
}

// The scene itself, in-process at the capture pace: once the city has risen,
// its towers cover much more of the picture while noise plays than in
// silence.
TEST(CitySpectrum, TowersInThePictureGrowWithTheMusic) {
  ensureGlContext(320, 240);
  makeOffscreenTarget();
  c64Tex = loadTGA("data/textures/commodore.tga");
  greetTex = loadTGA("data/textures/greet.tga");
  plane = glGenLists(1);
  glNewList(plane, GL_COMPILE);
  glEndList();
  CAPTURE = 1;
  queue = 8;
  loadingTime = getTime() / 1000.0;
  channel0 = nullptr;
  glEnable(GL_NORMALIZE);
  scene08();
  for (int frame = 2; frame <= 200; frame++) scene08();  // risen
  std::vector<int> silent;
  for (int frame = 0; frame < 3; frame++) {
    scene08();
    silent.push_back(towerPixels());
  }
  FMOD_CHANNEL *c = nullptr;
  FMOD_SYSTEM *s = play("noise", &c);
  channel0 = c;
  scene08();
  int loud = towerPixels();
  channel0 = nullptr;
  FMOD_System_Release(s);
  for (int n : silent) {
    EXPECT_GT(n, 1000);
    EXPECT_GT(loud, n * 1.3) << "silent " << n << ", noise " << loud;
  }
  EXPECT_EQ(queue, 8);
}

// The gibson program is built on the scene's first frame: without its
// source the run ends there, before that frame is captured. The raw stream
// spares the wait for the frame timer.
TEST(CitySpectrum, MissingProgramSourceEndsTheRunInSceneEightsFirstFrame) {
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
