// The status a slot publishes for its readers: a change is there once the call that made it returns, and the
// status thread keeps levels current.

#include "slots/SlotPipelineFixture.h"
#include "support/Wait.h"

#include <chrono>

namespace
{
using namespace std::chrono_literals;
using SlotStatusTest = TSlotPipelineTest;

TEST_F(SlotStatusTest, ChangesAndLevelsArePublished)
{
  TSlotInfo& slot = MakeSlot();
  EXPECT_FALSE(slot.Status()->Recording);
  slot.Initialize();
  slot.StartRecording();
  EXPECT_EQ(slot.Status()->DeviceName, "PulseAudio: Monitor of tone");
  slot.CycleEncoder();
  const std::shared_ptr<const TSlotStatus> started = slot.Status();
  EXPECT_TRUE(started->Recording);
  EXPECT_EQ(started->CurrentFilename, slot.CurrentFilename());
  EXPECT_EQ(started->RecordStartTickCount, slot.RecordStartTickCount());

  auto tone = fServer->PlayTone("tone", 1000, 1.0);
  ASSERT_TRUE(WaitUntil([&] { return slot.Status()->LevelLeft > 0.4f; }, 3s));
  EXPECT_GT(slot.Status()->Counters.BytesWritten, 0u);

  slot.FinishRecording();
  const std::shared_ptr<const TSlotStatus> finished = slot.Status();
  EXPECT_FALSE(finished->Recording);
  EXPECT_EQ(finished->CurrentFilename, "");
  EXPECT_TRUE(started->Recording) << "a copy taken earlier stays as it was";
  slot.StopRecording();
  EXPECT_EQ(slot.Status()->DeviceName, std::nullopt);
}
} // namespace
