// Levels and silence measured on a slot recording from a real PulseAudio server.

#include "slots/SlotPipelineFixture.h"
#include "support/SlotSettingsEdit.h"
#include "support/Wait.h"

namespace
{
using SlotLevelsTest = TSlotPipelineTest;
using namespace std::chrono_literals;

TEST_F(SlotLevelsTest, SilenceGrowsAfterTheToneAndResetsWithTheNextOne)
{
  TSlotInfo& slot = MakeSlot("SilenceThreshold=-30\n");
  slot.Initialize();
  slot.StartRecording();
  auto tone = fServer->PlayTone("tone", 1000, 1.0);
  ASSERT_TRUE(WaitUntil([&] { return slot.LevelLeft() > 0.4f; }, 3s));
  EXPECT_NEAR(slot.LevelLeft(), 0.5, 0.05);
  EXPECT_NEAR(slot.LevelRight(), 0.5, 0.05);
  EXPECT_LT(slot.GetCurrentSilenceDurationMilliseconds(), 300);
  ASSERT_TRUE(WaitUntil([&] { return slot.GetCurrentSilenceDurationMilliseconds() > 800; }, 3s));
  EXPECT_LT(slot.LevelLeft(), 0.001f);
  const int64_t stamp = slot.LastOverSilenceTickCount();
  tone = fServer->PlayTone("tone", 1000, 1.0);
  ASSERT_TRUE(WaitUntil([&] { return slot.GetCurrentSilenceDurationMilliseconds() < 300; }, 3s));
  EXPECT_GT(slot.LastOverSilenceTickCount(), stamp);
}

TEST_F(SlotLevelsTest, ThresholdOfMinus200CountsSilenceAsSound)
{
  TSlotInfo& slot = MakeSlot("Device=PULSE:quiet.monitor\nSilenceThreshold=-200\n");
  slot.Initialize();
  slot.StartRecording();
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(slot.LevelLeft(), 0.0f);
  EXPECT_LT(slot.GetCurrentSilenceDurationMilliseconds(), 300);
  // Back to a real threshold: the same silence now counts.
  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Silence.Threshold = -90; });
  std::this_thread::sleep_for(500ms);
  EXPECT_GT(slot.GetCurrentSilenceDurationMilliseconds(), 300);
}

TEST_F(SlotLevelsTest, ChannelsPickTheInputChannelForBothMetersAndTheSilence)
{
  TSlotInfo& slot = MakeSlot("Device=PULSE:stereo.monitor\nSilenceThreshold=-30\n");
  slot.Initialize();
  slot.StartRecording();
  const std::string file = fFolder / "left.wav";
  WriteStereoWav(file, 1000, 0, 4.0);
  auto left = Play("stereo", file);
  ASSERT_TRUE(WaitUntil([&] { return slot.LevelLeft() > 0.4f; }, 3s));
  EXPECT_LT(slot.LevelRight(), 0.001f);

  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Input.Channels = rcLeft; });
  ASSERT_TRUE(WaitUntil([&] { return slot.LevelRight() > 0.4f; }, 1s));
  EXPECT_GT(slot.LevelLeft(), 0.4f);
  EXPECT_LT(slot.GetCurrentSilenceDurationMilliseconds(), 300);

  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Input.Channels = rcRight; });
  ASSERT_TRUE(WaitUntil([&] { return slot.LevelLeft() < 0.001f; }, 1s));
  EXPECT_LT(slot.LevelRight(), 0.001f);
  // Only the right input counts now, and it is silent.
  ASSERT_TRUE(WaitUntil([&] { return slot.GetCurrentSilenceDurationMilliseconds() > 800; }, 2s));
  EXPECT_TRUE(left->Running());
}

TEST_F(SlotLevelsTest, WithoutInputTheLevelsAreZeroAndTheSilenceCountsFromInitialize)
{
  TSlotInfo& slot = MakeSlot("Source=None\nSilenceThreshold=-60\n");
  slot.Initialize();
  slot.StartRecording();
  std::this_thread::sleep_for(600ms);
  EXPECT_EQ(slot.LevelLeft(), 0.0f);
  EXPECT_GE(slot.GetCurrentSilenceDurationMilliseconds(), 600);
  EXPECT_LT(slot.GetCurrentSilenceDurationMilliseconds(), 1000);
}
} // namespace
