#include "audio/engine/TrimInterpolator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace
{
constexpr uint32_t kTaps = TTrimInterpolator::kTaps;
constexpr uint32_t kPhases = TTrimInterpolator::kPhases;
// Half the filter's span before the interpolated point: a new interpolator starts with as many silent frames, so
// its first output is its first input.
constexpr uint32_t kLead = kTaps / 2 - 1;
constexpr int kFractionBits = 32;
constexpr double kWholeFrame = double(uint64_t{1} << kFractionBits);
// A sinc cut off at half the rate under a Kaiser window: up to 0.43 of the rate within -90 dB of the exact
// fractional delay (the table's interpolation adds less); above, the response falls towards half the rate.
constexpr double kCutoff = 0.5;
constexpr double kKaiserBeta = 10;

// Row r holds the taps for an output kLead + r / kPhases input frames after the first tap; row kPhases is row 0
// one frame on, so that every phase lies between two rows. Each row sums to 1: no gain ripple with the phase.
std::vector<float> BuildTable()
{
  std::vector<float> table(size_t(kPhases + 1) * kTaps);
  const double halfSpan = kTaps / 2.0;
  const double norm = std::cyl_bessel_i(0.0, kKaiserBeta);
  for (uint32_t row = 0; row <= kPhases; ++row)
  {
    std::vector<double> taps(kTaps);
    double sum = 0;
    for (uint32_t tap = 0; tap < kTaps; ++tap)
    {
      const double x = double(tap) - kLead - double(row) / kPhases;
      const double arg = M_PI * 2 * kCutoff * x;
      const double sinc = x == 0 ? 1.0 : std::sin(arg) / arg;
      const double ratio = std::min(1.0, std::abs(x) / halfSpan);
      taps[tap] = sinc * std::cyl_bessel_i(0.0, kKaiserBeta * std::sqrt(1 - ratio * ratio)) / norm;
      sum += taps[tap];
    }
    for (uint32_t tap = 0; tap < kTaps; ++tap)
      table[size_t(row) * kTaps + tap] = float(taps[tap] / sum);
  }
  return table;
}

const float* SharedTable()
{
  static const std::vector<float> table = BuildTable();
  return table.data();
}

// Eight floats computed at once: AVX on processors that have it, two SSE halves (or NEON, or plain code)
// elsewhere. The compilers do not make vector code of the dot products by themselves, as that reorders float
// additions.
constexpr uint32_t kLanes = 8;
using TLanes = float __attribute__((vector_size(kLanes * sizeof(float))));
using THalfLanes = float __attribute__((vector_size(kLanes / 2 * sizeof(float))));
static_assert(kTaps % kLanes == 0);

// Out parameters and no vector return values: those would depend on the processor's vector registers.
void LoadLanes(const float* iFrom, TLanes& oLanes)
{
  std::memcpy(&oLanes, iFrom, sizeof(oLanes));
}

float SumLanes(const TLanes& iLanes)
{
  THalfLanes low, high;
  std::memcpy(&low, &iLanes, sizeof(low));
  std::memcpy(&high, reinterpret_cast<const char*>(&iLanes) + sizeof(low), sizeof(high));
  const THalfLanes half = low + high;
  return (half[0] + half[2]) + (half[1] + half[3]);
}

template <bool Stereo>
[[gnu::always_inline]] inline size_t InterpolateFrames(const float* iTable, const float* iHistory, uint32_t iHeld,
                                                       TTrimInterpolator::TMotion& ioMotion, float* oOutput,
                                                       size_t iFrames)
{
  constexpr int kRowBits = 8;
  static_assert(kPhases == 1u << kRowBits);
  constexpr uint32_t kBetweenMask = (1u << (32 - kRowBits)) - 1;
  constexpr float kBetweenScale = 1.0f / float(kBetweenMask + 1);
  TTrimInterpolator::TMotion motion = ioMotion; // a local copy stays in registers
  size_t written = 0;
  for (; written < iFrames && (motion.Position >> kFractionBits) + kTaps <= iHeld; ++written)
  {
    // The phase picks two neighbouring rows of the table; the coefficients lie between them.
    const uint32_t fraction = uint32_t(motion.Position);
    const float* below = iTable + size_t(fraction >> (32 - kRowBits)) * kTaps;
    const float* above = below + kTaps;
    const float between = float(fraction & kBetweenMask) * kBetweenScale;
    const float* left = iHistory + size_t(motion.Position >> kFractionBits);
    const float* right = left + TTrimInterpolator::kHistoryFrames;
    TLanes sumLeft{}, sumRight{}, low, high, samples;
#pragma GCC unroll 8
    for (uint32_t tap = 0; tap < kTaps; tap += kLanes)
    {
      LoadLanes(below + tap, low);
      LoadLanes(above + tap, high);
      const TLanes coefficients = low + between * (high - low);
      LoadLanes(left + tap, samples);
      sumLeft += coefficients * samples;
      if constexpr (Stereo)
      {
        LoadLanes(right + tap, samples);
        sumRight += coefficients * samples;
      }
    }
    if constexpr (Stereo)
    {
      oOutput[2 * written] = SumLanes(sumLeft);
      oOutput[2 * written + 1] = SumLanes(sumRight);
    }
    else
      oOutput[written] = SumLanes(sumLeft);
    motion.Advance();
  }
  ioMotion = motion;
  return written;
}

// Interpolates the frames that the held history allows, up to iFrames; returns how many.
#if defined(__x86_64__)
[[gnu::target_clones("avx2", "default")]]
#endif
size_t
InterpolateHeld(const float* iTable, const float* iHistory, uint32_t iHeld, uint32_t iChannels,
                TTrimInterpolator::TMotion& ioMotion, float* oOutput, size_t iFrames)
{
  return iChannels == 2 ? InterpolateFrames<true>(iTable, iHistory, iHeld, ioMotion, oOutput, iFrames)
                        : InterpolateFrames<false>(iTable, iHistory, iHeld, ioMotion, oOutput, iFrames);
}

uint64_t StepOf(double iRatio)
{
  return uint64_t(std::llround(iRatio * kWholeFrame));
}
} // namespace

TTrimInterpolator::TTrimInterpolator(uint32_t iChannels)
    : fChannels(iChannels), fTable(SharedTable()), fHistory(new float[size_t(kHistoryFrames) * iChannels]()),
      fHeld(kLead)
{
  fMotion.Step = fMotion.TargetStep = StepOf(1.0);
}

void TTrimInterpolator::SetRatio(double iRatio, size_t iSlewFrames)
{
  fMotion.TargetStep = StepOf(std::clamp(iRatio, 1 - kMaxDeviation, 1 + kMaxDeviation));
  fMotion.SlewLeft = iSlewFrames;
  fMotion.SlewStep = iSlewFrames ? (int64_t(fMotion.TargetStep) - int64_t(fMotion.Step)) / int64_t(iSlewFrames) : 0;
  if (!iSlewFrames)
    fMotion.Step = fMotion.TargetStep;
}

size_t TTrimInterpolator::Process(const float* iInput, size_t iInputFrames, size_t& oInputUsed, float* oOutput,
                                  size_t iOutputFrames)
{
  size_t written = 0;
  oInputUsed = 0;
  while (written < iOutputFrames)
  {
    written += InterpolateHeld(fTable, fHistory.get(), fHeld, fChannels, fMotion, oOutput + written * fChannels,
                               iOutputFrames - written);
    if (written == iOutputFrames)
      break;
    DropConsumed();
    const size_t take =
        std::min({FramesMissing(iOutputFrames - written), iInputFrames - oInputUsed, size_t(kHistoryFrames - fHeld)});
    if (take == 0)
      break;
    Append(iInput + oInputUsed * fChannels, take);
    oInputUsed += take;
  }
  return written;
}

double TTrimInterpolator::HeldFrames() const
{
  return double(fHeld) - kLead - double(fMotion.Position) / kWholeFrame;
}

size_t TTrimInterpolator::FramesMissing(size_t iOutputFrames) const
{
  // The step may grow while slewing; the larger of both bounds it.
  const uint64_t last = fMotion.Position + (iOutputFrames - 1) * std::max(fMotion.Step, fMotion.TargetStep);
  const uint64_t needed = (last >> kFractionBits) + kTaps;
  return needed > fHeld ? size_t(needed - fHeld) : 0;
}

void TTrimInterpolator::Append(const float* iInput, size_t iFrames)
{
  float* left = fHistory.get() + fHeld;
  if (fChannels == 1)
    std::memcpy(left, iInput, iFrames * sizeof(float));
  else
  {
    float* right = left + kHistoryFrames;
    for (size_t frame = 0; frame < iFrames; ++frame)
    {
      left[frame] = iInput[2 * frame];
      right[frame] = iInput[2 * frame + 1];
    }
  }
  fHeld += uint32_t(iFrames);
}

void TTrimInterpolator::DropConsumed()
{
  const uint32_t consumed = uint32_t(std::min<uint64_t>(fMotion.Position >> kFractionBits, fHeld));
  if (consumed == 0)
    return;
  for (uint32_t channel = 0; channel < fChannels; ++channel)
  {
    float* history = fHistory.get() + size_t(channel) * kHistoryFrames;
    std::memmove(history, history + consumed, (fHeld - consumed) * sizeof(float));
  }
  fHeld -= consumed;
  fMotion.Position -= uint64_t(consumed) << kFractionBits;
}
