// Hooks for tests and benchmarks only; the production never calls them.
#pragma once
#include "fmodex/fmod.h"

#include <vector>

namespace fmodex_test {

// Systems initialised while on skip the real device and use the loopback
// device with our render thread, whose output can be recorded.
void forceLoopback(bool on);
bool usesLoopback(FMOD_SYSTEM *system);

// Loopback systems initialised while on get no render thread: the caller
// mixes each step with renderStep, once the feeders have refilled what was
// played (false if they have not within 10 s, or the system renders itself).
void manualRender(bool on);
bool renderStep(FMOD_SYSTEM *system);

// Keep everything the loopback device renders from now on (stereo float
// 44.1 kHz, interleaved); takeRecording stops and hands it over.
void startRecording(FMOD_SYSTEM *system);
std::vector<float> takeRecording(FMOD_SYSTEM *system);

// The channel's interpolated playing position in frames, as the spectrum
// sees it; -1 for a null channel.
double channelPosition(FMOD_CHANNEL *channel);

// The spectrum routine on its own: samples holds 2 * numvalues values.
bool spectrumOf(const float *samples, int numvalues, FMOD_DSP_FFT_WINDOW type, float *out);

}  // namespace fmodex_test
