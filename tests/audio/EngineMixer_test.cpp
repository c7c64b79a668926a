// Decode mixers: format, channel count and rate conversion verified on the samples, non-stop silence,
// sources coming and going, and the errors of building a graph.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/TrimInterpolator.h"
#include "support/EngineSignal.h"

#include <gtest/gtest.h>
#include <vector>

namespace
{
// Reads iFrames stereo float frames from a decode mixer.
std::vector<float> ReadFrames(uint32_t iMixer, uint32_t iFrames)
{
  std::vector<float> Frames(size_t(iFrames) * 2);
  EXPECT_EQ(TAudioEngine::ChannelGetData(iMixer, Frames.data(), iFrames * 8), int64_t(iFrames) * 8);
  return Frames;
}

// Feeds iFrames frames of iInput to a push source at the pace the mixer reads them, as a capture input
// would, and returns what the mixer delivered meanwhile.
template <class T>
std::vector<float> Pace(uint32_t iMixer, uint32_t iPush, const std::vector<T>& iInput, uint32_t iChannels,
                        uint32_t iInRate, uint32_t iOutRate)
{
  const uint32_t Chunk = iInRate / 100;
  std::vector<float> Out;
  size_t Frames = iInput.size() / iChannels;
  for (size_t Frame = 0; Frame + Chunk <= Frames; Frame += Chunk)
  {
    TAudioEngine::StreamPutData(iPush, iInput.data() + Frame * iChannels, uint32_t(Chunk * iChannels * sizeof(T)));
    std::vector<float> Part = ReadFrames(iMixer, iOutRate / 100);
    Out.insert(Out.end(), Part.begin(), Part.end());
  }
  return Out;
}

TEST(EngineMixer, ConvertsRateChannelsAndFormatOfAPushSource)
{
  // 48 kHz mono 16-bit in, 44.1 kHz stereo float out: a 1 kHz sine keeps its frequency and amplitude on
  // both sides.
  uint32_t Mixer = TAudioEngine::MixerCreate(44100, 2, chDecode | chNonStop | chFloat);
  uint32_t Push = TAudioEngine::StreamCreatePush(48000, 1, chDecode);
  ASSERT_TRUE(Mixer && Push);
  ASSERT_TRUE(TAudioEngine::MixerAddChannel(Mixer, Push, 0));
  std::vector<int16_t> Sine = SineInt16(48000, 1000, 0.5, 96000, 1);
  std::vector<float> Out = Pace(Mixer, Push, Sine, 1, 48000, 44100);
  ASSERT_EQ(Out.size(), 88200u * 2);
  // Past the start (0.2 s of gathering), an integer number of periods.
  const float* Steady = Out.data() + 2 * 22050;
  // The drift control may trim the rate by a few hundred ppm while it settles; nothing else may change.
  for (uint32_t Channel = 0; Channel < 2; ++Channel)
  {
    TSineFit Fit = FitSineNear(Steady, 2, Channel, 22050, 44100, 1000, 1.0);
    EXPECT_NEAR(Fit.Frequency, 1000, 0.5) << Channel;
    EXPECT_NEAR(Fit.Amplitude, 0.5, 0.001) << Channel;
    EXPECT_LT(Fit.ResidualRms, 0.0005) << Channel;
  }
  for (size_t Frame = 0; Frame < 88200; ++Frame)
    ASSERT_EQ(Out[2 * Frame], Out[2 * Frame + 1]) << Frame;
  TMixerSourceInfo Info;
  ASSERT_TRUE(TAudioEngine::MixerGetSourceInfo(Push, Info));
  // The source gathered 0.2 s before it started (silence meanwhile) and then kept that backlog.
  EXPECT_NEAR(double(Info.SilenceFrames), 8820, 441);
  EXPECT_EQ(Info.ConsumedFrames + Info.BacklogFrames, 96000u);
  EXPECT_NEAR(double(Info.BacklogFrames), 9600, 1100);
  EXPECT_NEAR(Info.Ratio, 1.0, 5e-4);
  EXPECT_TRUE(TAudioEngine::StreamFree(Push));
  EXPECT_TRUE(TAudioEngine::StreamFree(Mixer));
}

TEST(EngineMixer, TakesTheFirstTwoOfMoreChannels)
{
  uint32_t Mixer = TAudioEngine::MixerCreate(48000, 2, chDecode | chFloat);
  uint32_t Push = TAudioEngine::StreamCreatePush(48000, 4, chDecode | chFloat);
  ASSERT_TRUE(TAudioEngine::MixerAddChannel(Mixer, Push, 0));
  std::vector<float> Frames;
  for (int Frame = 0; Frame < 24000; ++Frame)
    Frames.insert(Frames.end(), {0.25f, -0.5f, 0.9f, 0.9f});
  TAudioEngine::StreamPutData(Push, Frames.data(), uint32_t(Frames.size() * 4));
  std::vector<float> Out = ReadFrames(Mixer, 12000);
  for (size_t Frame = 4000; Frame < 12000; ++Frame)
  {
    ASSERT_NEAR(Out[2 * Frame], 0.25f, 1e-3) << Frame;
    ASSERT_NEAR(Out[2 * Frame + 1], -0.5f, 1e-3) << Frame;
  }
  TAudioEngine::StreamFree(Mixer);
  TAudioEngine::StreamFree(Push);
}

TEST(EngineMixer, NeverStopsAndFillsWithSilence)
{
  uint32_t Mixer = TAudioEngine::MixerCreate(44100, 2, chDecode | chNonStop | chFloat);
  std::vector<float> Out = ReadFrames(Mixer, 10000);
  EXPECT_EQ(std::count(Out.begin(), Out.end(), 0.0f), 20000);
  // A source that has too little: what it has, then silence; the position runs on regardless.
  uint32_t Push = TAudioEngine::StreamCreatePush(44100, 2, chDecode | chFloat);
  ASSERT_TRUE(TAudioEngine::MixerAddChannel(Mixer, Push, 0));
  Out = ReadFrames(Mixer, 4410);
  EXPECT_EQ(std::count(Out.begin(), Out.end(), 0.0f), 8820);
  std::vector<float> Sine = SineFloat(44100, 441, 0.5, 44100, 2);
  Out = Pace(Mixer, Push, Sine, 2, 44100, 44100);
  EXPECT_NEAR(FitSineNear(Out.data() + 2 * 22050, 2, 0, 22050, 44100, 441, 1.0).Amplitude, 0.5, 0.001);
  // The producer stops: the backlog plays out, then silence.
  Out = ReadFrames(Mixer, 44100);
  EXPECT_EQ(std::count(Out.end() - 2 * 30000, Out.end(), 0.0f), 60000);
  TMixerSourceInfo Info;
  ASSERT_TRUE(TAudioEngine::MixerGetSourceInfo(Push, Info));
  // All of it but the trim interpolator's look-ahead, which waits for the source's next frames.
  EXPECT_EQ(Info.ConsumedFrames + Info.BacklogFrames, 44100u);
  EXPECT_LE(Info.BacklogFrames, TTrimInterpolator::kTaps / 2 + 1);
  EXPECT_EQ(TAudioEngine::ChannelGetPosition(Mixer), int64_t(10000 + 4410 + 44100 + 44100) * 8);
  // Freeing the source takes it out of the mixer, which goes on with silence.
  ASSERT_TRUE(TAudioEngine::StreamFree(Push));
  EXPECT_FALSE(TAudioEngine::MixerGetSourceInfo(Push, Info));
  Out = ReadFrames(Mixer, 1000);
  EXPECT_EQ(std::count(Out.begin(), Out.end(), 0.0f), 2000);
  TAudioEngine::StreamFree(Mixer);
}

TEST(EngineMixer, GraphErrors)
{
  uint32_t A = TAudioEngine::MixerCreate(44100, 2, chDecode | chFloat);
  uint32_t B = TAudioEngine::MixerCreate(48000, 2, chDecode | chFloat);
  uint32_t Playing = TAudioEngine::MixerCreate(44100, 2, chFloat);
  uint32_t Push = TAudioEngine::StreamCreatePush(48000, 2, chDecode);
  ASSERT_TRUE(A && B && Playing && Push);
  EXPECT_EQ(TAudioEngine::MixerCreate(44100, 1, chDecode | chFloat), 0u);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecFormat);
  EXPECT_EQ(TAudioEngine::MixerCreate(0, 2, chDecode | chFloat), 0u);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecFrequency);

  EXPECT_FALSE(TAudioEngine::MixerAddChannel(A, Playing, 0));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecNotDecodeChannel);
  EXPECT_FALSE(TAudioEngine::MixerAddChannel(A, A, 0));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecIllegalParam);
  EXPECT_TRUE(TAudioEngine::MixerAddChannel(A, B, 0));
  EXPECT_FALSE(TAudioEngine::MixerAddChannel(B, A, 0));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecIllegalParam);
  EXPECT_TRUE(TAudioEngine::MixerAddChannel(B, Push, 0));
  EXPECT_FALSE(TAudioEngine::MixerAddChannel(A, Push, 0));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecAlready);
  EXPECT_FALSE(TAudioEngine::MixerAddChannel(Push, A, 0));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecHandle);
  EXPECT_FALSE(TAudioEngine::ChannelGetData(Playing, nullptr, 0) >= 0);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecNotDecodeChannel);

  // A mixer in a mixer is pulled through: reading A reads B reads the push stream.
  std::vector<int16_t> Stereo = SineInt16(48000, 1000, 0.5, 48000, 2);
  std::vector<float> Out = Pace(A, Push, Stereo, 2, 48000, 44100);
  EXPECT_NEAR(FitSineNear(Out.data() + 2 * 22050, 2, 1, 22050, 44100, 1000, 1.0).Amplitude, 0.5, 0.001);
  EXPECT_GT(TAudioEngine::ChannelGetPosition(B), 0);

  // Freeing a mixer detaches its sources, which can join another mixer.
  EXPECT_TRUE(TAudioEngine::StreamFree(B));
  EXPECT_TRUE(TAudioEngine::MixerAddChannel(A, Push, 0));
  EXPECT_TRUE(TAudioEngine::MixerRemoveChannel(Push));
  EXPECT_FALSE(TAudioEngine::MixerRemoveChannel(Push));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecNotAvailable);
  for (uint32_t Handle : {A, Playing, Push})
    EXPECT_TRUE(TAudioEngine::StreamFree(Handle));
}
} // namespace
