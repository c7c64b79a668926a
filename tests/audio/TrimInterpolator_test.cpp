// The drift trim's interpolator: output frame n is the input signal at time n * ratio, exactly aligned from the
// first frame on (nothing dropped or doubled, however the input arrives), within -80 dB up to 0.43 of the rate.

#include "audio/engine/TrimInterpolator.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace
{
struct TCase
{
  double Frequency; // of the rate
  double Ratio;
  uint32_t Channels;
};

// Feeds iInput in blocks of varying size, asking for varying output sizes, as a mixer source does.
std::vector<float> Feed(TTrimInterpolator& ioTrim, const std::vector<float>& iInput, uint32_t iChannels)
{
  std::vector<float> Output(iInput.size() * 2);
  size_t In = 0, Out = 0;
  const size_t Frames = iInput.size() / iChannels;
  for (size_t Pass = 0; In < Frames; ++Pass)
  {
    const size_t Offered = std::min<size_t>(Frames - In, 1 + Pass * 37 % 900);
    size_t Used = 0;
    Out += ioTrim.Process(iInput.data() + In * iChannels, Offered, Used, Output.data() + Out * iChannels,
                          1 + Pass * 53 % 700);
    In += Used;
  }
  Output.resize(Out * iChannels);
  return Output;
}

TEST(TrimInterpolator, InterpolatesTheSignalAtTheTrimmedTimes)
{
  const TCase Cases[] = {{0.01, 1.0002, 2}, {0.1, 0.9998, 2}, {0.25, 1.002, 1},
                         {0.43, 0.998, 2},  {0.33, 1.0, 1},   {0.2, 1 + 1e-6, 2}};
  for (const TCase& Case : Cases)
  {
    const double Amplitude = 0.5;
    const size_t Frames = 40000;
    std::vector<float> Input(Frames * Case.Channels);
    for (size_t Frame = 0; Frame < Frames; ++Frame)
      for (uint32_t Channel = 0; Channel < Case.Channels; ++Channel)
        Input[Frame * Case.Channels + Channel] =
            float((Channel ? -Amplitude : Amplitude) * std::sin(2 * M_PI * Case.Frequency * double(Frame)));
    TTrimInterpolator Trim(Case.Channels);
    Trim.SetRatio(Case.Ratio, 0);
    const std::vector<float> Output = Feed(Trim, Input, Case.Channels);
    const size_t OutFrames = Output.size() / Case.Channels;
    // Everything taken in came out, but for the filter's look-ahead.
    EXPECT_NEAR(double(OutFrames) * Case.Ratio + Trim.HeldFrames(), double(Frames), 1.0) << Case.Frequency;
    EXPECT_LE(Trim.HeldFrames(), TTrimInterpolator::kTaps);
    // The start lies on the first input frame, whose silent past the filter sees for half its span.
    double Worst = 0;
    for (size_t Frame = TTrimInterpolator::kTaps; Frame < OutFrames; ++Frame)
      for (uint32_t Channel = 0; Channel < Case.Channels; ++Channel)
      {
        const double Exact =
            (Channel ? -Amplitude : Amplitude) * std::sin(2 * M_PI * Case.Frequency * double(Frame) * Case.Ratio);
        Worst = std::max(Worst, std::fabs(Output[Frame * Case.Channels + Channel] - Exact));
      }
    EXPECT_LT(Worst, 1e-4 * Amplitude) << Case.Frequency << " at " << Case.Ratio;
  }
}

TEST(TrimInterpolator, SlewsToANewRatio)
{
  // A constant input stays constant through ratio changes (each phase's taps sum to 1), and the position moves by
  // the average of old and new ratio over the slew.
  TTrimInterpolator Trim(1);
  const std::vector<float> Input(20000, 0.25f);
  std::vector<float> Output(4000);
  size_t Used = 0;
  ASSERT_EQ(Trim.Process(Input.data(), Input.size(), Used, Output.data(), 1000), 1000u);
  const double Before = Used - Trim.HeldFrames();
  Trim.SetRatio(1.002, 2000);
  size_t More = 0;
  ASSERT_EQ(Trim.Process(Input.data() + Used, Input.size() - Used, More, Output.data() + 1000, 3000), 3000u);
  const double After = double(Used + More) - Trim.HeldFrames();
  EXPECT_NEAR(After - Before, 2000 * 1.001 + 1000 * 1.002, 0.01);
  for (size_t Frame = TTrimInterpolator::kTaps; Frame < Output.size(); ++Frame)
    ASSERT_NEAR(Output[Frame], 0.25f, 1e-6f) << Frame;
}
} // namespace
