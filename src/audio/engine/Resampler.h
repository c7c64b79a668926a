#pragma once
// Sample-rate conversion of interleaved float frames with soxr. A variable resampler lets the rate ratio be
// trimmed while running (drift compensation); a fixed one with equal rates just copies.

#include <cstddef>
#include <cstdint>

struct soxr;

class TResampler
{
public:
  // Variable resamplers accept a trim of up to kMaxTrim either way.
  static constexpr double kMaxTrim = 0.01;

  // Throws std::runtime_error when soxr refuses the set-up.
  TResampler(double iInputRate, double iOutputRate, uint32_t iChannels, bool iVariable);
  ~TResampler();
  TResampler(const TResampler&) = delete;
  TResampler& operator=(const TResampler&) = delete;

  // Consumes up to iInputFrames (oInputUsed tells how many) and writes up to iOutputFrames; returns the frames
  // written. Does not allocate.
  size_t Process(const float* iInput, size_t iInputFrames, size_t& oInputUsed, float* oOutput, size_t iOutputFrames);
  // Variable resamplers: input consumed per output produced becomes nominal ratio * iTrim, slewed over
  // iSlewFrames output frames.
  void SetTrim(double iTrim, size_t iSlewFrames);
  // Input frames per output frame, trim included.
  double Ratio() const { return fNominalRatio * fTrim; }

private:
  soxr* fSoxr = nullptr;
  const uint32_t fChannels;
  const bool fVariable;
  const double fNominalRatio;
  double fTrim = 1.0;
};
