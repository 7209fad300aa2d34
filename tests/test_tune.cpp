// The soundtrack: the encoded MP3 and the synthesiser behind it.
#include "../tools/tunesong.h"

#include <gtest/gtest.h>
#include <kiss_fftr.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int kN = 2048;

// Sum of spectrum magnitudes in bins [lo, hi) of a Blackman-windowed
// 2048-point FFT starting at `start`, normalised like the player does.
class Spectrum {
 public:
  Spectrum() : cfg_(kiss_fftr_alloc(kN, 0, nullptr, nullptr)), win_(kN), in_(kN), out_(kN / 2 + 1) {
    for (int i = 0; i < kN; ++i) {
      double x = 2 * M_PI * i / (kN - 1);
      win_[size_t(i)] = float(0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2 * x));
      sum_ += win_[size_t(i)];
    }
  }
  ~Spectrum() { kiss_fftr_free(cfg_); }
  double band(const std::vector<float>& mono, size_t start, int lo, int hi) {
    for (size_t i = 0; i < size_t(kN); ++i) in_[i] = mono[start + i] * win_[i];
    kiss_fftr(cfg_, in_.data(), out_.data());
    double s = 0;
    for (int k = lo; k < hi; ++k) s += 2 * std::hypot(out_[size_t(k)].r, out_[size_t(k)].i) / sum_;
    return s;
  }

 private:
  kiss_fftr_cfg cfg_;
  std::vector<float> win_, in_;
  std::vector<kiss_fft_cpx> out_;
  double sum_ = 0;
};

std::vector<float> monoOf(const tune::Bus& b) {
  std::vector<float> m(b.size());
  for (size_t i = 0; i < b.size(); ++i) m[i] = 0.5f * (b.l[i] + b.r[i]);
  return m;
}

// Decodes the MP3 with lame into 16-bit stereo frames.
bool decodeMp3(const std::string& mp3, tune::Bus& out) {
  std::string wav = testing::TempDir() + "vy_tune_test.wav";
  std::string cmd = "lame --quiet --decode '" + mp3 + "' '" + wav + "'";
  if (std::system(cmd.c_str()) != 0) return false;
  std::ifstream f(wav, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::remove(wav.c_str());
  for (size_t p = 12; p + 8 <= bytes.size();) {
    uint32_t len;
    std::memcpy(&len, &bytes[p + 4], 4);
    if (std::memcmp(&bytes[p], "data", 4) == 0) {
      size_t frames = std::min<size_t>(len, bytes.size() - p - 8) / 4;
      out = tune::Bus(frames);
      const char* d = &bytes[p + 8];
      for (size_t i = 0; i < frames; ++i) {
        int16_t s[2];
        std::memcpy(s, d + i * 4, 4);
        out.l[i] = s[0] / 32768.0f;
        out.r[i] = s[1] / 32768.0f;
      }
      return true;
    }
    p += 8 + len + (len & 1);
  }
  return false;
}

class TuneFile : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ok_ = decodeMp3(std::string(VY_SOURCE_DIR) + "/data/tune/vy-03.mp3", pcm_);
  }
  static tune::Bus pcm_;
  static bool ok_;

  // Mean band level over [t0, t1), one FFT every 50 ms.
  double meanBand(double t0, double t1) {
    std::vector<float> m = monoOf(pcm_);
    Spectrum sp;
    double s = 0;
    int n = 0;
    for (double t = t0; t < t1; t += 0.05, ++n) s += sp.band(m, size_t(t * tune::kRate), 256, 768);
    return s / n;
  }
};
tune::Bus TuneFile::pcm_;
bool TuneFile::ok_ = false;

TEST_F(TuneFile, DecodesToAboutThreeMinutes) {
  ASSERT_TRUE(ok_) << "data/tune/vy-03.mp3 missing or undecodable: build the assets target";
  double seconds = double(pcm_.size()) / tune::kRate;
  EXPECT_GT(seconds, 185.0);
  EXPECT_LT(seconds, 200.0);
}

TEST_F(TuneFile, LoudButNotClipping) {
  ASSERT_TRUE(ok_);
  float peak = 0;
  double mean = 0;
  for (size_t i = 0; i < pcm_.size(); ++i) {
    peak = std::max({peak, std::fabs(pcm_.l[i]), std::fabs(pcm_.r[i])});
    mean += pcm_.l[i] + pcm_.r[i];
  }
  double rmsDb = 20 * std::log10(tune::rmsOf(pcm_));
  EXPECT_LT(20 * std::log10(peak), -0.5);
  EXPECT_GT(rmsDb, -18.0);
  EXPECT_LT(rmsDb, -10.0);
  EXPECT_LT(std::fabs(mean / (2.0 * double(pcm_.size()))), 1e-3) << "DC offset";
}

// The city's towers follow bins 256..767: the peak section must fill that
// band far more than the intro and clearly more than the main theme.
TEST_F(TuneFile, CityWindowIsBright) {
  ASSERT_TRUE(ok_);
  double intro = meanBand(2, 20), theme = meanBand(42, 62), city = meanBand(71.1, 106.1);
  EXPECT_GT(city, 10 * intro);
  EXPECT_GT(city, 1.3 * theme);
}

// ...and that energy pulses with the beat (0.5 s at 120 BPM).
TEST_F(TuneFile, CityBandPulsesWithTheBeat) {
  ASSERT_TRUE(ok_);
  std::vector<float> m = monoOf(pcm_);
  Spectrum sp;
  double phase[10] = {};
  int count[10] = {};
  for (double t = 72.0; t < 104.0; t += 0.01) {
    int k = int(std::fmod(t, 0.5) / 0.05);
    phase[k] += sp.band(m, size_t(t * tune::kRate), 256, 768);
    ++count[k];
  }
  double lo = 1e9, hi = 0;
  for (int k = 0; k < 10; ++k) {
    lo = std::min(lo, phase[k] / count[k]);
    hi = std::max(hi, phase[k] / count[k]);
  }
  EXPECT_GT(hi / lo, 1.5);
}

TEST(TuneSynth, RenderIsDeterministic) {
  tune::Bus a = tune::renderTune(3.0), b = tune::renderTune(3.0);
  ASSERT_EQ(a.size(), size_t(3 * tune::kRate));
  EXPECT_EQ(a.l, b.l);
  EXPECT_EQ(a.r, b.r);
  EXPECT_GT(tune::rmsOf(a), 0.01);
}

TEST(TuneSynth, DrumVoicesSitInTheirBands) {
  tune::Bus hat(kN * 2), kick(kN * 2);
  tune::cymbal({&hat}, 0.0, 0.5f, 0.05f, 0.0f, 7);
  tune::kick({&kick}, 0.0, 0.8f);
  Spectrum sp;
  std::vector<float> h = monoOf(hat), k = monoOf(kick);
  // The hat lives above 5.5 kHz; the kick below 200 Hz, leaving the
  // city's band alone.
  EXPECT_GT(sp.band(h, 0, 256, 768), 2 * sp.band(h, 0, 1, 256));
  EXPECT_GT(sp.band(k, 0, 1, 10), 10 * sp.band(k, 0, 256, 768));
}

}  // namespace
