#pragma once
// Test signals for the audio engine's tests and benchmark: sines to feed in, and a least-squares fit that
// tells the amplitude of a known frequency in what came out, and how much else is there.

#include <cstdint>
#include <vector>

// iFrames frames of iChannels interleaved 16-bit samples, every channel the same sine.
std::vector<int16_t> SineInt16(double iRate, double iFrequency, double iAmplitude, uint32_t iFrames, uint32_t iChannels,
                               uint64_t iFirstFrame = 0);
std::vector<float> SineFloat(double iRate, double iFrequency, double iAmplitude, uint32_t iFrames, uint32_t iChannels,
                             uint64_t iFirstFrame = 0);

struct TSineFit
{
  double Frequency = 0;
  double Amplitude = 0;
  double Phase = 0;       // radians, of the first sample used
  double ResidualRms = 0; // what the sine does not explain
};

// Fits a sine of iFrequency to channel iChannel of iFrames interleaved frames (iChannels per frame).
TSineFit FitSine(const float* iSamples, uint32_t iChannels, uint32_t iChannel, uint32_t iFrames, double iRate,
                 double iFrequency);

// Like FitSine, with the frequency that explains the samples best within iFrequency +- iWidth (well inside
// the main lobe: iWidth below iRate / iFrames).
TSineFit FitSineNear(const float* iSamples, uint32_t iChannels, uint32_t iChannel, uint32_t iFrames, double iRate,
                     double iFrequency, double iWidth);
