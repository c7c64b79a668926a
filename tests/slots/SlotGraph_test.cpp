// The slot's graph on a real PulseAudio server: attaching inputs and its failures, what paces the mixer, and
// tearing the slot down.

#include "audio/AudioDevicesPulse.h"
#include "slots/SlotPipelineFixture.h"
#include "support/SlotSettingsEdit.h"
#include "support/Wait.h"

#include <dirent.h>
#include <filesystem>
#include <gmock/gmock.h>

namespace
{
using namespace std::chrono_literals;
using SlotGraphTest = TSlotPipelineTest;

// A second of the slot's mixer: 44.1 kHz, two float channels.
constexpr int64_t kSecondBytes = 44100 * 8;

// Names of the process's threads.
std::vector<std::string> ThreadNames()
{
  std::vector<std::string> names;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
  {
    std::string name = TSettingsTempFolder::ReadFile(task.path() / "comm");
    names.push_back(name.substr(0, name.find('\n')));
  }
  return names;
}

size_t CountThreads(const std::string& iName)
{
  size_t count = 0;
  for (const std::string& name : ThreadNames())
    count += name == iName;
  return count;
}

TEST_F(SlotGraphTest, AttachesAndReportsEveryFailure)
{
  // A device of the list whose source has gone: it fails to start.
  TPulseDeviceInfo gone(99, "gone.monitor", "PulseAudio: gone");
  DeviceList().Add("PULSE:gone.monitor", &gone);
  struct TCase
  {
    std::string Device;
    std::string Error;
    std::string Logged;
  };
  const TCase cases[] = {
      {"", "No device selected", "Slot 1: Recording error: No device selected"},
      {"PULSE:nothing", "Invalid device", "Slot 1: Recording error: Invalid device"},
      {"PULSE:gone.monitor", "", "Slot 1: Error recording from \"PulseAudio: gone\": "},
      {"pulse:TONE.monitor", "", "Slot 1: Recording from PulseAudio: Monitor of tone"},
  };
  TSlotInfo& slot = MakeSlot();
  slot.Initialize();
  for (const TCase& c : cases)
  {
    fLog.clear();
    EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Input.Device = c.Device; });
    slot.StartRecording();
    ASSERT_EQ(Log().size(), 1u) << c.Device;
    EXPECT_EQ(Log()[0].rfind(c.Logged, 0), 0u) << Log()[0];
    if (!c.Error.empty())
    {
      EXPECT_EQ(slot.ErrorMessage(), c.Error);
    }
    EXPECT_EQ(slot.CurrentDeviceInfo() != nullptr, c.Logged.find("Recording from") != std::string::npos);
  }
  EXPECT_EQ(slot.Status()->DeviceName, "PulseAudio: Monitor of tone");
  EXPECT_EQ(slot.ErrorMessage(), "");
  // The same device again: nothing changes, nothing is logged.
  const uint32_t channel = slot.Channel();
  slot.StartRecording();
  EXPECT_EQ(slot.Channel(), channel);
  EXPECT_EQ(Log().size(), 1u);
  // A failed change leaves the slot without input, and then no file starts.
  EditSlotSettings(slot, [&](TSlotSettings& ioSettings) { ioSettings.Input.Device = "PULSE:gone.monitor"; });
  slot.StartRecording();
  EXPECT_EQ(slot.CurrentDeviceInfo(), nullptr);
  EXPECT_EQ(slot.Channel(), 0u);
  slot.CycleEncoder();
  EXPECT_EQ(slot.Encoder(), 0u);
  slot.Destroy();
  EXPECT_TRUE(dynamic_cast<TDeviceInfoWithClients*>(DeviceList().Find("PULSE:tone.monitor"))->Clients().empty());
  DeviceList().Clear();
  EnumerateDevices();
}

TEST_F(SlotGraphTest, ARefusedSampleRateIsNamed)
{
  TSlotInfo& slot = MakeSlot("Samplerate=1\n");
  slot.Initialize();
  EXPECT_EQ(slot.ErrorMessage(), "Unsupported sample rate 1");
  slot.StartRecording();
  slot.CycleEncoder();
  EXPECT_EQ(slot.Encoder(), 0u);
  EXPECT_EQ(slot.ErrorMessage(), "Unsupported sample rate 1");
  EXPECT_THAT(Log(), ::testing::ElementsAre("Slot 1: Recording error: Unsupported sample rate 1"));
}

TEST_F(SlotGraphTest, DestroyWhileRecordingStoresTheDurationAndLeavesNoThread)
{
  const std::vector<std::string> before = ThreadNames();
  TSlotInfo& slot = MakeSlot();
  slot.Initialize();
  slot.StartRecording();
  slot.CycleEncoder();
  ASSERT_NE(slot.Encoder(), 0u) << slot.ErrorMessage();
  EXPECT_TRUE(WaitUntil([] { return CountThreads("PullThread Slot") == 1; }, 1s));
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  slot.Destroy();
  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_TRUE(rows[0].Duration);
  EXPECT_NEAR(*rows[0].Duration, 0.7, 0.3);
  const std::vector<int16_t> samples = ReadWav16(fFolder / "rec/" + rows[0].Filename);
  EXPECT_DOUBLE_EQ(*rows[0].Duration, static_cast<double>(samples.size() / 2) / 44100);
  // The capture thread ends with the device's last client.
  EXPECT_TRUE(WaitUntil([&] { return ThreadNames().size() <= before.size(); }, 2s)) << ThreadNames().size();
  // The settings were written.
  EXPECT_NE(TSettingsTempFolder::ReadFile(fFolder / "Tapevault.ini").find("Enabled=on"), std::string::npos);
}

TEST_F(SlotGraphTest, TheDelayHoldsBackWhatTheSlotMeasuresAndRecords)
{
  TSlotInfo& slot = MakeSlot("RecordDelay=1\n");
  slot.Initialize();
  slot.StartRecording();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // Counted in the slot's own frames, which a busy machine does not stretch as it does the wall clock.
  const int64_t start = slot.GetStreamPosition();
  auto tone = fServer->PlayTone("tone", 1000, 3);
  ASSERT_TRUE(WaitUntil([&] { return slot.LevelLeft() > 0.4f; }, 3s));
  const double delay = static_cast<double>(slot.GetStreamPosition() - start) / kSecondBytes;
  EXPECT_GE(delay, 1.0);
  EXPECT_LT(delay, 1.8);
}

TEST_F(SlotGraphTest, AnOutputDeviceClocksTheSlot)
{
  TSlotInfo& slot = MakeSlot("ClockSource=BASS:2\n");
  slot.Initialize();
  EXPECT_EQ(CountThreads("PullThread Slot"), 0u);
  slot.StartRecording();
  slot.CycleEncoder();
  const int64_t start = slot.GetStreamPosition();
  // Without a pull thread, only the device's pace moves the slot on.
  ASSERT_TRUE(WaitUntil([&] { return slot.GetStreamPosition() - start >= kSecondBytes; }, 5s));
  EXPECT_NEAR(slot.CurrentRecordingDuration(), static_cast<double>(slot.GetStreamPosition() - start) / kSecondBytes,
              0.3);
  EXPECT_EQ(CountLog("Clock source"), 0u);
}

TEST_F(SlotGraphTest, AnOutputDeviceThatDoesNotExistLeavesTheSlotToItsThread)
{
  TSlotInfo& slot = MakeSlot("ClockSource=BASS:9\n");
  slot.Initialize();
  EXPECT_EQ(CountLog("Slot 1: Clock source BASS:9 not available"), 1u);
  EXPECT_TRUE(WaitUntil([] { return CountThreads("PullThread Slot") == 1; }, 1s));
  const int64_t start = slot.GetStreamPosition();
  EXPECT_TRUE(WaitUntil([&] { return slot.GetStreamPosition() > start; }, 5s));
}
} // namespace
