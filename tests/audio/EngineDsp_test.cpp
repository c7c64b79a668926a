// The chain of a mixer: DSP callbacks and effects in priority order, in place; the channel map and the delay
// line verified on the samples; elements added and removed while another thread pulls.

#include "audio/engine/AudioEngine.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace
{
constexpr uint32_t kRate = 8000;

// A mixer whose chain starts with a DSP (priority 1000) writing frame numbers: left n, right -n.
class TRampMixer
{
public:
  TRampMixer()
  {
    fMixer = TAudioEngine::MixerCreate(kRate, 2, chDecode | chFloat);
    TAudioEngine::ChannelSetDSP(
        fMixer,
        [this](float* ioBuffer, uint32_t iLength)
        {
          for (uint32_t Frame = 0; Frame < iLength / 8; ++Frame, ++fFrame)
          {
            ioBuffer[2 * Frame] = float(fFrame);
            ioBuffer[2 * Frame + 1] = -float(fFrame);
          }
        },
        1000);
  }
  ~TRampMixer() { TAudioEngine::StreamFree(fMixer); }
  uint32_t Handle() const { return fMixer; }
  std::vector<float> Read(uint32_t iFrames)
  {
    std::vector<float> Frames(size_t(iFrames) * 2);
    EXPECT_EQ(TAudioEngine::ChannelGetData(fMixer, Frames.data(), iFrames * 8), int64_t(iFrames) * 8);
    return Frames;
  }

private:
  uint32_t fMixer = 0;
  uint64_t fFrame = 0;
};

TEST(EngineDsp, ElementsRunByDescendingPriorityInPlace)
{
  TRampMixer Mixer;
  std::vector<int> Order;
  auto Recorder = [&](int iTag, float iScale)
  {
    return [&Order, iTag, iScale](float* ioBuffer, uint32_t iLength)
    {
      Order.push_back(iTag);
      for (uint32_t Sample = 0; Sample < iLength / 4; ++Sample)
        ioBuffer[Sample] *= iScale;
    };
  };
  uint32_t Low = TAudioEngine::ChannelSetDSP(Mixer.Handle(), Recorder(-5, 1.0f), -5);
  ASSERT_NE(TAudioEngine::ChannelSetDSP(Mixer.Handle(), Recorder(0, 2.0f), 0), 0u);
  ASSERT_NE(TAudioEngine::ChannelSetDSP(Mixer.Handle(), Recorder(100, 0.5f), 100), 0u);
  ASSERT_NE(TAudioEngine::ChannelSetDSP(Mixer.Handle(), Recorder(1, 3.0f), 0), 0u);
  std::vector<float> Out = Mixer.Read(100);
  EXPECT_EQ(Order, (std::vector<int>{100, 0, 1, -5}));
  EXPECT_EQ(Out[2 * 10], 10 * 0.5f * 2 * 3);
  EXPECT_TRUE(TAudioEngine::ChannelRemoveDSP(Mixer.Handle(), Low));
  EXPECT_FALSE(TAudioEngine::ChannelRemoveDSP(Mixer.Handle(), Low));
  Order.clear();
  Mixer.Read(100);
  EXPECT_EQ(Order, (std::vector<int>{100, 0, 1}));
  EXPECT_EQ(TAudioEngine::ChannelSetDSP(Mixer.Handle(), nullptr, 0), 0u);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecIllegalParam);
  uint32_t Push = TAudioEngine::StreamCreatePush(kRate, 2, chDecode);
  EXPECT_EQ(TAudioEngine::ChannelSetDSP(Push, Recorder(0, 1.0f), 0), 0u);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecFormat);
  TAudioEngine::StreamFree(Push);
}

TEST(EngineDsp, AReplacingDspTakesTheOldOnesPlaceOrThatOfItsPriority)
{
  TRampMixer Mixer;
  std::vector<int> Order;
  auto Recorder = [&Order](int iTag) { return [&Order, iTag](float*, uint32_t) { Order.push_back(iTag); }; };
  ASSERT_NE(TAudioEngine::ChannelSetDSP(Mixer.Handle(), Recorder(1), 0), 0u);
  const uint32_t Old = TAudioEngine::ChannelSetDSP(Mixer.Handle(), Recorder(2), 0);
  ASSERT_NE(TAudioEngine::ChannelSetDSP(Mixer.Handle(), Recorder(3), 0), 0u);
  ASSERT_NE(TAudioEngine::ChannelSetDSP(Mixer.Handle(), Recorder(4), -1000), 0u);
  struct TCase
  {
    int Tag;
    int32_t Priority;
    std::vector<int> Order;
  };
  // Same priority: the very place of the old one; another: the place of that priority.
  const TCase Cases[] = {{5, 0, {1, 5, 3, 4}}, {6, -1500, {1, 3, 4, 6}}, {7, -500, {1, 3, 7, 4}}};
  uint32_t Replaced = Old;
  for (const TCase& Case : Cases)
  {
    const uint32_t New = TAudioEngine::ChannelSetDSP(Mixer.Handle(), Recorder(Case.Tag), Case.Priority, Replaced);
    ASSERT_NE(New, 0u);
    EXPECT_FALSE(TAudioEngine::ChannelRemoveDSP(Mixer.Handle(), Replaced)) << "the old one is gone";
    Order.clear();
    Mixer.Read(10);
    EXPECT_EQ(Order, Case.Order) << Case.Tag;
    Replaced = New;
  }
  // Nothing to replace: refused, the chain unchanged.
  EXPECT_EQ(TAudioEngine::ChannelSetDSP(Mixer.Handle(), Recorder(8), 0, Old), 0u);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecHandle);
}

TEST(EngineDsp, ChannelMapAppliesFromTheNextBuffer)
{
  TRampMixer Mixer;
  uint32_t Map = TAudioEngine::ChannelSetFX(Mixer.Handle(), fxChannelMap, 1);
  ASSERT_NE(Map, 0u);
  struct TCase
  {
    int32_t Left, Right;
    float LeftSign, RightSign; // +1: the left input (n), -1: the right input (-n)
  };
  const TCase Cases[] = {{1, 2, 1, -1}, {1, 1, 1, 1}, {2, 2, -1, -1}, {2, 1, -1, 1}};
  uint64_t Frame = 0;
  for (const TCase& Case : Cases)
  {
    ASSERT_TRUE(TAudioEngine::FXSetParameters(Map, TChannelMapParameters{{Case.Left, Case.Right}}));
    std::vector<float> Out = Mixer.Read(50);
    for (uint32_t i = 0; i < 50; ++i, ++Frame)
    {
      ASSERT_EQ(Out[2 * i], Case.LeftSign * float(Frame)) << Case.Left << Case.Right;
      ASSERT_EQ(Out[2 * i + 1], Case.RightSign * float(Frame)) << Case.Left << Case.Right;
    }
  }
  TChannelMapParameters Read;
  ASSERT_TRUE(TAudioEngine::FXGetParameters(Map, Read));
  EXPECT_EQ(Read.Channels[0], 2);
  EXPECT_EQ(Read.Channels[1], 1);
  EXPECT_FALSE(TAudioEngine::FXSetParameters(Map, TChannelMapParameters{{0, 3}}));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecIllegalParam);
  EXPECT_FALSE(TAudioEngine::FXSetParameters(Map, TDelayParameters{}));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecIllegalType);
  EXPECT_EQ(TAudioEngine::ChannelSetFX(Mixer.Handle(), 0x10000, 0), 0u);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecIllegalType);
}

TEST(EngineDsp, DelayLineDelaysByExactlyItsSeconds)
{
  TRampMixer Mixer;
  uint32_t Delay = TAudioEngine::ChannelSetFX(Mixer.Handle(), fxDelay, 100);
  ASSERT_TRUE(TAudioEngine::FXSetParameters(Delay, TDelayParameters{0.0f, 1.0f, 0.5f, -1}));
  // A pure delay: half a second of silence, then the input 4000 frames late, read in odd pieces.
  std::vector<float> Out;
  for (uint32_t Piece : {1000u, 3333u, 4567u, 100u})
  {
    std::vector<float> Part = Mixer.Read(Piece);
    Out.insert(Out.end(), Part.begin(), Part.end());
  }
  for (uint32_t Frame = 0; Frame < Out.size() / 2; ++Frame)
  {
    float Expected = Frame < 4000 ? 0.0f : float(Frame - 4000);
    ASSERT_EQ(Out[2 * Frame], Expected) << Frame;
    ASSERT_EQ(Out[2 * Frame + 1], -Expected) << Frame;
  }
  // Only the second channel, half dry and half wet; the same length keeps the line's contents.
  ASSERT_TRUE(TAudioEngine::FXSetParameters(Delay, TDelayParameters{0.5f, 0.5f, 0.5f, 2}));
  std::vector<float> Mixed = Mixer.Read(10);
  const float First = 9000;
  EXPECT_EQ(Mixed[0], First);
  EXPECT_EQ(Mixed[1], -(0.5f * First + 0.5f * (First - 4000)));
  TDelayParameters Read;
  ASSERT_TRUE(TAudioEngine::FXGetParameters(Delay, Read));
  EXPECT_EQ(Read.Channels, 2);
  EXPECT_FALSE(TAudioEngine::FXSetParameters(Delay, TDelayParameters{0, 1, -1, -1}));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecIllegalParam);
  EXPECT_FALSE(TAudioEngine::FXSetParameters(Delay, TDelayParameters{0, 1, 1, 0}));
  EXPECT_TRUE(TAudioEngine::ChannelRemoveFX(Mixer.Handle(), Delay));
  EXPECT_EQ(Mixer.Read(1)[0], First + 10);
}

TEST(EngineDsp, ChainChangesWhileAnotherThreadPulls)
{
  uint32_t Mixer = TAudioEngine::MixerCreate(kRate, 2, chDecode | chFloat);
  uint32_t Push = TAudioEngine::StreamCreatePush(kRate, 2, chDecode | chFloat);
  ASSERT_TRUE(TAudioEngine::MixerAddChannel(Mixer, Push, 0));
  std::atomic<bool> Stop{false};
  std::thread Puller(
      [&]
      {
        std::vector<float> Buffer(2 * 256);
        while (!Stop)
          TAudioEngine::ChannelGetData(Mixer, Buffer.data(), 256 * 8);
      });
  std::atomic<int> Calls{0};
  for (int Round = 0; Round < 200; ++Round)
  {
    // Let the puller run between the changes.
    for (int64_t Start = TAudioEngine::ChannelGetPosition(Mixer); TAudioEngine::ChannelGetPosition(Mixer) == Start;)
      std::this_thread::yield();
    uint32_t Dsp = TAudioEngine::ChannelSetDSP(
        Mixer, [&](float*, uint32_t) { ++Calls; }, Round % 7);
    uint32_t Map = TAudioEngine::ChannelSetFX(Mixer, fxChannelMap, 1);
    uint32_t Delay = TAudioEngine::ChannelSetFX(Mixer, fxDelay, 100);
    ASSERT_TRUE(Dsp && Map && Delay);
    TAudioEngine::FXSetParameters(Map, TChannelMapParameters{{2, 1}});
    TAudioEngine::FXSetParameters(Delay, TDelayParameters{0, 1, float(Round % 3) * 0.01f, -1});
    ASSERT_TRUE(TAudioEngine::ChannelRemoveDSP(Mixer, Dsp));
    // Once removed, a callback is never called again.
    int After = Calls;
    ASSERT_TRUE(TAudioEngine::ChannelRemoveFX(Mixer, Map));
    ASSERT_TRUE(TAudioEngine::ChannelRemoveFX(Mixer, Delay));
    ASSERT_EQ(Calls, After);
    if (Round % 50 == 49)
    {
      // Sources come and go too.
      TAudioEngine::StreamFree(Push);
      Push = TAudioEngine::StreamCreatePush(kRate, 1, chDecode);
      ASSERT_TRUE(TAudioEngine::MixerAddChannel(Mixer, Push, 0));
    }
  }
  Stop = true;
  Puller.join();
  uint32_t Dsp = TAudioEngine::ChannelSetDSP(
      Mixer, [](float*, uint32_t) {}, 0);
  EXPECT_TRUE(TAudioEngine::StreamFree(Mixer));
  EXPECT_FALSE(TAudioEngine::ChannelRemoveDSP(Mixer, Dsp));
  EXPECT_TRUE(TAudioEngine::StreamFree(Push));
}
} // namespace
