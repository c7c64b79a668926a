// Playing mixers: a real PulseAudio sink pulls a playing mixer, which pulls a decode mixer as its source, at
// the sink's pace and muted; device numbers that name no sink fail.

#include "audio/engine/AudioEngine.h"
#include "support/PulseServer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace
{
using namespace std::chrono_literals;

class EngineOutput : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    fServer = std::make_unique<TPulseServer>(std::vector<std::string>{"sink1", "sink2"});
    fServer->Start();
    fServer->ExportAddress();
  }
  static void TearDownTestSuite() { fServer.reset(); }

  static std::unique_ptr<TPulseServer> fServer;
};

std::unique_ptr<TPulseServer> EngineOutput::fServer;

TEST_F(EngineOutput, SinkPullsTheMixerChainAtItsPace)
{
  uint32_t Slot = TAudioEngine::MixerCreate(44100, 2, chDecode | chNonStop | chFloat);
  uint32_t Output = TAudioEngine::MixerCreate(44100, 2, chFloat, 2);
  ASSERT_TRUE(Slot && Output);
  ASSERT_TRUE(TAudioEngine::ChannelSetAttribute(Output, atVolume, 0.0f));
  ASSERT_TRUE(TAudioEngine::MixerAddChannel(Output, Slot, 0));
  std::atomic<uint64_t> Frames{0};
  TAudioEngine::ChannelSetDSP(
      Slot, [&](float*, uint32_t iLength) { Frames += iLength / 8; }, 0);
  ASSERT_TRUE(TAudioEngine::ChannelPlay(Output)) << TAudioEngine::ErrorGetCode();
  EXPECT_TRUE(TAudioEngine::ChannelPlay(Output));
  // The first request fills the sink's buffer at once; measure after it.
  std::this_thread::sleep_for(500ms);
  uint64_t Start = Frames;
  auto Begin = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(1500ms);
  double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Begin).count();
  EXPECT_NEAR(double(Frames - Start), 44100 * Seconds, 44100 * 0.15);
  std::string Inputs = fServer->Pactl({"list", "sink-inputs"});
  EXPECT_NE(Inputs.find("Sink: 1"), std::string::npos) << Inputs;
  EXPECT_NE(Inputs.find("Volume: front-left: 0 /   0%"), std::string::npos) << Inputs;
  // Freeing the playing mixer stops the pulling; the slot mixer stays and can be read again.
  ASSERT_TRUE(TAudioEngine::StreamFree(Output));
  uint64_t Stopped = Frames;
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(Frames, Stopped);
  EXPECT_EQ(TAudioEngine::ChannelGetPosition(Slot), int64_t(Stopped) * 8);
  EXPECT_EQ(fServer->Pactl({"list", "sink-inputs"}).find("Sink:"), std::string::npos);
  ASSERT_TRUE(TAudioEngine::StreamFree(Slot));
}

TEST_F(EngineOutput, DeviceErrors)
{
  uint32_t Output = TAudioEngine::MixerCreate(44100, 2, chFloat, 3);
  ASSERT_NE(Output, 0u);
  EXPECT_FALSE(TAudioEngine::ChannelPlay(Output));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecDevice);
  EXPECT_FALSE(TAudioEngine::ChannelSetAttribute(Output, atVolume, 1.0f));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecNotAvailable);
  EXPECT_EQ(TAudioEngine::MixerCreate(44100, 2, chFloat, 0), 0u);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecDevice);
  uint32_t Decode = TAudioEngine::MixerCreate(44100, 2, chDecode | chFloat);
  EXPECT_FALSE(TAudioEngine::ChannelPlay(Decode));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecDecode);
  TAudioEngine::StreamFree(Decode);
  TAudioEngine::StreamFree(Output);
}
} // namespace
