// Drift: two producers whose clocks run 200 ppm fast and 200 ppm slow against the mixer's, simulated over
// hours of audio faster than real time. The backlogs stay near their target, nothing is dropped or inserted
// once started, every frame put in is consumed or still queued, and the measured ratios match the clocks.

#include "audio/engine/AudioEngine.h"
#include "support/EngineSignal.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace
{
struct TProducer
{
  uint32_t Stream = 0;
  double ClockRatio = 1.0; // its frames per nominal frame
  uint64_t Pushed = 0;
  uint64_t MinBacklog = UINT64_MAX, MaxBacklog = 0;
  uint64_t SilenceAfterStart = 0;
};

TEST(EngineDrift, BacklogStaysBoundedAndNothingIsLostOverHours)
{
  // Low rates keep the simulation quick; the control works in seconds, whatever the rate.
  const uint32_t InRate = 4800, OutRate = 4410, Period = 48, Pull = 441; // 10 ms capture periods, 100 ms pulls
  const double Hours = 3;
  uint32_t Mixer = TAudioEngine::MixerCreate(OutRate, 2, chDecode | chNonStop | chFloat);
  std::vector<TProducer> Producers{{0, 1.0002}, {0, 0.9998}};
  for (TProducer& Producer : Producers)
  {
    Producer.Stream = TAudioEngine::StreamCreatePush(InRate, 1, chDecode);
    ASSERT_TRUE(TAudioEngine::MixerAddChannel(Mixer, Producer.Stream, 0));
  }
  std::vector<int16_t> Chunk = SineInt16(InRate, 100, 0.25, Period, 1);
  std::vector<float> Out(Pull * 2);
  const uint64_t Pulls = uint64_t(Hours * 3600 * OutRate / Pull);
  for (uint64_t Step = 1; Step <= Pulls; ++Step)
  {
    double Seconds = double(Step) * Pull / OutRate;
    for (TProducer& Producer : Producers)
    {
      uint64_t Due = uint64_t(Seconds * InRate * Producer.ClockRatio);
      for (; Producer.Pushed + Period <= Due; Producer.Pushed += Period)
        ASSERT_GE(TAudioEngine::StreamPutData(Producer.Stream, Chunk.data(), Period * 2), 0);
    }
    ASSERT_EQ(TAudioEngine::ChannelGetData(Mixer, Out.data(), Pull * 8), Pull * 8);
    if (Seconds < 600)
      continue;
    // Once settled: the backlogs' range, and silence only if a source ran dry.
    for (TProducer& Producer : Producers)
    {
      TMixerSourceInfo Info;
      ASSERT_TRUE(TAudioEngine::MixerGetSourceInfo(Producer.Stream, Info));
      Producer.MinBacklog = std::min(Producer.MinBacklog, Info.BacklogFrames);
      Producer.MaxBacklog = std::max(Producer.MaxBacklog, Info.BacklogFrames);
      if (Seconds < 601)
        Producer.SilenceAfterStart = Info.SilenceFrames;
      ASSERT_EQ(Info.SilenceFrames, Producer.SilenceAfterStart) << "ran dry at " << Seconds << " s";
    }
  }
  for (const TProducer& Producer : Producers)
  {
    TMixerSourceInfo Info;
    TChannelInfo Channel;
    ASSERT_TRUE(TAudioEngine::MixerGetSourceInfo(Producer.Stream, Info));
    ASSERT_TRUE(TAudioEngine::ChannelGetInfo(Producer.Stream, Channel));
    EXPECT_EQ(Channel.DroppedBytes, 0u);
    EXPECT_EQ(Info.ConsumedFrames + Info.BacklogFrames, Producer.Pushed);
    // Only the start, before the first 0.2 s had gathered, was silent.
    EXPECT_LE(Producer.SilenceAfterStart, 0.25 * OutRate);
    EXPECT_NEAR(Info.Ratio, Producer.ClockRatio, 20e-6);
    // The target is 0.2 s; a capture period and a pull lie within the fluctuation.
    EXPECT_GE(Producer.MinBacklog, 0.15 * InRate) << Producer.ClockRatio;
    EXPECT_LE(Producer.MaxBacklog, 0.25 * InRate) << Producer.ClockRatio;
  }
  TAudioEngine::StreamFree(Mixer);
  for (const TProducer& Producer : Producers)
    TAudioEngine::StreamFree(Producer.Stream);
}
} // namespace
