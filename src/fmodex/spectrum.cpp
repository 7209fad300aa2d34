// Spectrum of what a channel plays now: a window of recent decoded PCM
// centred on the playing position, through kissfft.
#include "fmodex/fmodex_test.h"
#include "fmodex/internal.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

double windowAt(FMOD_DSP_FFT_WINDOW type, int n, int size) {
  const double x = 2.0 * M_PI * n / (size - 1);
  switch (type) {
    case FMOD_DSP_FFT_WINDOW_RECT: return 1.0;
    case FMOD_DSP_FFT_WINDOW_TRIANGLE: {
      const double half = (size - 1) / 2.0;
      return 1.0 - std::fabs((n - half) / half);
    }
    case FMOD_DSP_FFT_WINDOW_HAMMING: return 0.54 - 0.46 * std::cos(x);
    case FMOD_DSP_FFT_WINDOW_HANNING: return 0.5 - 0.5 * std::cos(x);
    case FMOD_DSP_FFT_WINDOW_BLACKMAN: return 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2 * x);
    case FMOD_DSP_FFT_WINDOW_BLACKMANHARRIS:
      return 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
    default: return 0.0;
  }
}

// The FFT plan and window for the last size and type used on this thread;
// the production asks for the same one every frame.
struct Plan {
  int size = 0;
  FMOD_DSP_FFT_WINDOW type = FMOD_DSP_FFT_WINDOW_MAX;
  kiss_fftr_cfg cfg = nullptr;
  std::vector<float> window;
  double windowSum = 0;
  std::vector<kiss_fft_scalar> in;
  std::vector<kiss_fft_cpx> out;

  ~Plan() { kiss_fftr_free(cfg); }

  bool prepare(int n, FMOD_DSP_FFT_WINDOW t) {
    if (n != size) {
      kiss_fftr_free(cfg);
      cfg = kiss_fftr_alloc(n, 0, nullptr, nullptr);
      if (!cfg) {
        size = 0;
        return false;
      }
      size = n;
      in.resize(n);
      out.resize(n / 2 + 1);
      type = FMOD_DSP_FFT_WINDOW_MAX;
    }
    if (t != type) {
      window.resize(n);
      windowSum = 0;
      for (int i = 0; i < n; ++i) {
        window[i] = float(windowAt(t, i, n));
        windowSum += window[i];
      }
      type = t;
    }
    return true;
  }
};

}  // namespace

namespace fmodex {

bool computeSpectrum(const float *samples, int numvalues, FMOD_DSP_FFT_WINDOW type, float *result) {
  thread_local Plan plan;
  const int n = 2 * numvalues;
  if (!plan.prepare(n, type)) return false;
  for (int i = 0; i < n; ++i) plan.in[i] = samples[i] * plan.window[i];
  kiss_fftr(plan.cfg, plan.in.data(), plan.out.data());
  // 2|X|/sum(w): a full-scale sine on a bin centre reads 1.0 whatever the window.
  const double scale = 2.0 / plan.windowSum;
  for (int k = 0; k < numvalues; ++k)
    result[k] = float(std::hypot(plan.out[k].r, plan.out[k].i) * scale);
  return true;
}

}  // namespace fmodex

extern "C" FMOD_RESULT FMOD_Channel_GetSpectrum(FMOD_CHANNEL *channel, float *spectrumarray, int numvalues,
                                                int channeloffset, FMOD_DSP_FFT_WINDOW windowtype) {
  if (!channel) return FMOD_ERR_INVALID_HANDLE;
  if (!spectrumarray || !isPowerOfTwo(numvalues) || numvalues < 64 || numvalues > 8192 ||
      channeloffset < 0 || channeloffset > 1 || windowtype < FMOD_DSP_FFT_WINDOW_RECT ||
      windowtype >= FMOD_DSP_FFT_WINDOW_MAX)
    return FMOD_ERR_INVALID_PARAM;

  const int n = 2 * numvalues;
  thread_local std::vector<float> samples;
  samples.assign(n, 0.0f);
  if (channel->source || channel->nrt) {
    // No device behind a non-real-time channel: no context to make current.
    std::unique_ptr<fmodex::ContextScope> scope;
    if (!channel->nrt) scope.reset(new fmodex::ContextScope(channel->system->context));
    std::lock_guard<std::mutex> lock(channel->mutex);
    const int64_t first = std::llround(channel->position()) - numvalues;
    // Frames before the start, past the end, or already overwritten in the
    // ring count as silence.
    const int64_t oldest = std::max<int64_t>(channel->ringFrom, channel->framesDecoded - fmodex::kRingFrames);
    for (int i = 0; i < n; ++i) {
      const int64_t f = first + i;
      if (f < oldest || f >= channel->framesDecoded) continue;
      samples[i] = channel->ring[size_t(f % fmodex::kRingFrames) * 2 + size_t(channeloffset)];
    }
  }
  thread_local std::vector<float> result;
  result.resize(numvalues);
  if (!fmodex::computeSpectrum(samples.data(), numvalues, windowtype, result.data()))
    return FMOD_ERR_MEMORY;
  std::copy(result.begin(), result.end(), spectrumarray);
  return FMOD_OK;
}

namespace fmodex_test {

bool spectrumOf(const float *samples, int numvalues, FMOD_DSP_FFT_WINDOW type, float *out) {
  return fmodex::computeSpectrum(samples, numvalues, type, out);
}

}  // namespace fmodex_test
