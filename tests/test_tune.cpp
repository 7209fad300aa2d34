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

}  // namespace

// The encoded track: about three minutes, loud but not clipping, no DC;
// the city's towers follow bins 256..767, so its section must fill that
// band far more than the intro and clearly more than the main theme, and
// pulse with the beat (0.5 s at 120 BPM).
TEST(TuneFile, LengthLevelAndTheCityBand) {
  tune::Bus pcm;
  ASSERT_TRUE(decodeMp3(std::string(VY_SOURCE_DIR) + "/data/tune/vy-03.mp3", pcm)) << "build the assets target";
  double seconds = double(pcm.size()) / tune::kRate;
  EXPECT_GT(seconds, 185.0);
  EXPECT_LT(seconds, 200.0);
  float peak = 0;
  double mean = 0;
  for (size_t i = 0; i < pcm.size(); ++i) {
    peak = std::max({peak, std::fabs(pcm.l[i]), std::fabs(pcm.r[i])});
    mean += pcm.l[i] + pcm.r[i];
  }
  double rmsDb = 20 * std::log10(tune::rmsOf(pcm));
  EXPECT_LT(20 * std::log10(peak), -0.5);
  EXPECT_GT(rmsDb, -18.0);
  EXPECT_LT(rmsDb, -10.0);
  EXPECT_LT(std::fabs(mean / (2.0 * double(pcm.size()))), 1e-3) << "DC offset";

  std::vector<float> m = monoOf(pcm);
  Spectrum sp;
  auto meanBand = [&](double t0, double t1, double step) {
    double sum = 0;
    int n = 0;
    for (double t = t0; t < t1; t += step, ++n) sum += sp.band(m, size_t(t * tune::kRate), 256, 768);
    return sum / n;
  };
  double intro = meanBand(2, 20, 0.05), theme = meanBand(42, 62, 0.05), city = meanBand(71.1, 106.1, 0.05);
  EXPECT_GT(city, 10 * intro);
  EXPECT_GT(city, 1.3 * theme);
  double lo = 1e9, hi = 0;
  for (int k = 0; k < 10; ++k) {
    double phase = 0;
    for (double t = 72.0 + k * 0.05; t < 104.0; t += 0.5) phase += sp.band(m, size_t(t * tune::kRate), 256, 768);
    lo = std::min(lo, phase), hi = std::max(hi, phase);
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
