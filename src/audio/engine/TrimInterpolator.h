#pragma once
// Resamples interleaved float frames by a ratio within a fraction of a percent of 1: the trim with which drift
// control holds a push source's backlog. A windowed-sinc interpolator (kTaps taps, coefficients interpolated
// between kPhases precomputed fractional delays) stays within -90 dB of the exact signal up to 0.43 of the rate
// (19 kHz at 44.1 kHz), at a small part of the cost of soxr's variable-rate mode, which matters as it runs all
// the time.

#include <cstddef>
#include <cstdint>
#include <memory>

class TTrimInterpolator
{
public:
  static constexpr uint32_t kTaps = 48;
  static constexpr uint32_t kPhases = 256;
  // Ratios (input frames per output frame) it accepts; its filter leaves no room for more.
  static constexpr double kMaxDeviation = 0.01;

  // iChannels 1 or 2.
  explicit TTrimInterpolator(uint32_t iChannels);

  // Consumes up to iInputFrames (oInputUsed tells how many; only what the output written needs) and writes up
  // to iOutputFrames; returns the frames written. Does not allocate.
  size_t Process(const float* iInput, size_t iInputFrames, size_t& oInputUsed, float* oOutput, size_t iOutputFrames);
  // Input frames consumed per output frame from now on, reached linearly over iSlewFrames output frames.
  void SetRatio(double iRatio, size_t iSlewFrames);
  // Input frames taken in whose time the output has not reached yet.
  double HeldFrames() const;

  // For the vector code beside the class: the input frames held at most (the filter's span plus a block taken
  // in at once), and where the next output lies in the history and how far each output moves on.
  static constexpr uint32_t kHistoryFrames = 1024;
  struct TMotion
  {
    uint64_t Position = 0; // of the output's first tap, in frames with a 32-bit binary fraction
    uint64_t Step = 0;
    uint64_t TargetStep = 0;
    int64_t SlewStep = 0; // added to Step per output frame while SlewLeft runs
    size_t SlewLeft = 0;

    void Advance()
    {
      Position += Step;
      if (SlewLeft > 0 && --SlewLeft == 0)
        Step = TargetStep;
      else if (SlewLeft > 0)
        Step += uint64_t(SlewStep);
    }
  };

private:
  // Whole input frames the next iOutputFrames outputs reach beyond what is held.
  size_t FramesMissing(size_t iOutputFrames) const;
  void Append(const float* iInput, size_t iFrames);
  void DropConsumed();

  const uint32_t fChannels;
  const float* const fTable; // kPhases + 1 rows of kTaps coefficients, shared by all interpolators
  // Planar history: channel c's frames at fHistory[c * kHistoryFrames].
  std::unique_ptr<float[]> fHistory;
  uint32_t fHeld;
  TMotion fMotion;
};
