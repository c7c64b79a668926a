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
  std::vector<float> Table(size_t(kPhases + 1) * kTaps);
  const double HalfSpan = kTaps / 2.0;
  const double Norm = std::cyl_bessel_i(0.0, kKaiserBeta);
  for (uint32_t Row = 0; Row <= kPhases; ++Row)
  {
    std::vector<double> Taps(kTaps);
    double Sum = 0;
    for (uint32_t Tap = 0; Tap < kTaps; ++Tap)
    {
      const double X = double(Tap) - kLead - double(Row) / kPhases;
      const double Arg = M_PI * 2 * kCutoff * X;
      const double Sinc = X == 0 ? 1.0 : std::sin(Arg) / Arg;
      const double Ratio = std::min(1.0, std::abs(X) / HalfSpan);
      Taps[Tap] = Sinc * std::cyl_bessel_i(0.0, kKaiserBeta * std::sqrt(1 - Ratio * Ratio)) / Norm;
      Sum += Taps[Tap];
    }
    for (uint32_t Tap = 0; Tap < kTaps; ++Tap)
      Table[size_t(Row) * kTaps + Tap] = float(Taps[Tap] / Sum);
  }
  return Table;
}

const float* SharedTable()
{
  static const std::vector<float> Table = BuildTable();
  return Table.data();
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
  THalfLanes Low, High;
  std::memcpy(&Low, &iLanes, sizeof(Low));
  std::memcpy(&High, reinterpret_cast<const char*>(&iLanes) + sizeof(Low), sizeof(High));
  const THalfLanes Half = Low + High;
  return (Half[0] + Half[2]) + (Half[1] + Half[3]);
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
  TTrimInterpolator::TMotion Motion = ioMotion; // a local copy stays in registers
  size_t Written = 0;
  for (; Written < iFrames && (Motion.Position >> kFractionBits) + kTaps <= iHeld; ++Written)
  {
    // The phase picks two neighbouring rows of the table; the coefficients lie between them.
    const uint32_t Fraction = uint32_t(Motion.Position);
    const float* Below = iTable + size_t(Fraction >> (32 - kRowBits)) * kTaps;
    const float* Above = Below + kTaps;
    const float Between = float(Fraction & kBetweenMask) * kBetweenScale;
    const float* Left = iHistory + size_t(Motion.Position >> kFractionBits);
    const float* Right = Left + TTrimInterpolator::kHistoryFrames;
    TLanes SumLeft{}, SumRight{}, Low, High, Samples;
#pragma GCC unroll 8
    for (uint32_t Tap = 0; Tap < kTaps; Tap += kLanes)
    {
      LoadLanes(Below + Tap, Low);
      LoadLanes(Above + Tap, High);
      const TLanes Coefficients = Low + Between * (High - Low);
      LoadLanes(Left + Tap, Samples);
      SumLeft += Coefficients * Samples;
      if constexpr (Stereo)
      {
        LoadLanes(Right + Tap, Samples);
        SumRight += Coefficients * Samples;
      }
    }
    if constexpr (Stereo)
    {
      oOutput[2 * Written] = SumLanes(SumLeft);
      oOutput[2 * Written + 1] = SumLanes(SumRight);
    }
    else
      oOutput[Written] = SumLanes(SumLeft);
    Motion.Advance();
  }
  ioMotion = Motion;
  return Written;
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
  size_t Written = 0;
  oInputUsed = 0;
  while (Written < iOutputFrames)
  {
    Written += InterpolateHeld(fTable, fHistory.get(), fHeld, fChannels, fMotion, oOutput + Written * fChannels,
                               iOutputFrames - Written);
    if (Written == iOutputFrames)
      break;
    DropConsumed();
    const size_t Take =
        std::min({FramesMissing(iOutputFrames - Written), iInputFrames - oInputUsed, size_t(kHistoryFrames - fHeld)});
    if (Take == 0)
      break;
    Append(iInput + oInputUsed * fChannels, Take);
    oInputUsed += Take;
  }
  return Written;
}

double TTrimInterpolator::HeldFrames() const
{
  return double(fHeld) - kLead - double(fMotion.Position) / kWholeFrame;
}

size_t TTrimInterpolator::FramesMissing(size_t iOutputFrames) const
{
  // The step may grow while slewing; the larger of both bounds it.
  const uint64_t Last = fMotion.Position + (iOutputFrames - 1) * std::max(fMotion.Step, fMotion.TargetStep);
  const uint64_t Needed = (Last >> kFractionBits) + kTaps;
  return Needed > fHeld ? size_t(Needed - fHeld) : 0;
}

void TTrimInterpolator::Append(const float* iInput, size_t iFrames)
{
  float* Left = fHistory.get() + fHeld;
  if (fChannels == 1)
    std::memcpy(Left, iInput, iFrames * sizeof(float));
  else
  {
    float* Right = Left + kHistoryFrames;
    for (size_t Frame = 0; Frame < iFrames; ++Frame)
    {
      Left[Frame] = iInput[2 * Frame];
      Right[Frame] = iInput[2 * Frame + 1];
    }
  }
  fHeld += uint32_t(iFrames);
}

void TTrimInterpolator::DropConsumed()
{
  const uint32_t Consumed = uint32_t(std::min<uint64_t>(fMotion.Position >> kFractionBits, fHeld));
  if (Consumed == 0)
    return;
  for (uint32_t Channel = 0; Channel < fChannels; ++Channel)
  {
    float* History = fHistory.get() + size_t(Channel) * kHistoryFrames;
    std::memmove(History, History + Consumed, (fHeld - Consumed) * sizeof(float));
  }
  fHeld -= Consumed;
  fMotion.Position -= uint64_t(Consumed) << kFractionBits;
}
