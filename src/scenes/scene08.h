// The spectrum city's reading of the music, for tests.
#pragma once

// Spectrum buffers of the left and right channel (1024 floats each, made
// on the scene's first frame; null before).
extern float *specL, *specR;
// Fills both buffers from the music channel (zeros when nothing plays) and
// returns the sum over the middle half that the towers grow by.
float readSpectrum();
