#pragma once
// Sample-rate conversion of interleaved float frames: soxr converts between fixed rates (equal rates are just
// copied); a variable resampler then trims the ratio while running (drift compensation) with a trim
// interpolator, far cheaper than soxr's variable-rate mode for ratios that stay within a fraction of a percent.

#include "audio/engine/TrimInterpolator.h"

#include <cstddef>
#include <cstdint>
#include <memory>

struct soxr;

class TResampler
{
public:
  // Variable resamplers accept a trim of up to kMaxTrim either way.
  static constexpr double kMaxTrim = TTrimInterpolator::kMaxDeviation;

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
  // Input frames taken in but not yet turned into output (soxr works in blocks, so this swings by a block).
  double HeldFrames() const;

private:
  size_t Convert(const float* iInput, size_t iInputFrames, size_t& oInputUsed, float* oOutput, size_t iOutputFrames);

  soxr* fSoxr = nullptr;
  const uint32_t fChannels;
  const double fNominalRatio;
  double fTrim = 1.0;
  std::unique_ptr<TTrimInterpolator> fTrimmer;
  // Converted frames on their way from soxr to the trim interpolator.
  std::unique_ptr<float[]> fConverted;
  size_t fConvertedStart = 0;
  size_t fConvertedCount = 0;
};
