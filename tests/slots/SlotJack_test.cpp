// Slots recording from bundles of a real JACK server's ports (jackd with its dummy driver).

#include "audio/AudioDevices.h"
#include "lib/Errors.h"
#include "lib/IniFile.h"
#include "slots/SlotInfo.h"
#include "support/JackServer.h"
#include "support/PythonTestServer.h"
#include "support/SettingsTempFolder.h"
#include "support/Wait.h"
#include "support/WavFile.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace
{
using namespace std::chrono_literals;

// The left samples of the only 16-bit stereo WAV file in iFolder.
std::vector<int16_t> LeftSamples(const std::string& iFolder)
{
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(iFolder))
    if (entry.path().extension() == ".wav")
      files.push_back(entry.path());
  if (files.size() != 1)
    throw std::runtime_error(std::to_string(files.size()) + " recordings in " + iFolder);
  const std::vector<int16_t> samples = ReadWavFile(files[0].string()).Samples16();
  std::vector<int16_t> left;
  for (size_t i = 0; i + 1 < samples.size(); i += 2)
    left.push_back(samples[i]);
  return left;
}

TEST(SlotJack, TwoSlotsOnTwoBundlesRecordSideBySideAndSurviveTheServersRestart)
{
  TJackServer server;
  server.Start();
  server.ExportName();
  EnumerateDevices();
  TSettingsTempFolder folder;
  std::string ini;
  for (int slot = 0; slot < 2; ++slot)
    ini += Format("[Slot%d]\nSource=Soundcard\nDevice=JACK:0:%d:2\nFormat=wav16\nSamplerate=48000\n"
                  "FlatFilenames=on\nFolder=%s\n",
                  slot, slot * 2, (folder / ("rec" + std::to_string(slot))).c_str());
  TSettingsTempFolder::WriteFile(folder / "Tapevault.ini", ini);
  TIniFile config(folder / "Tapevault.ini");
  std::vector<std::unique_ptr<TSlotInfo>> slots;
  for (int slot = 0; slot < 2; ++slot)
  {
    slots.push_back(std::make_unique<TSlotInfo>(config, slot, false));
    slots.back()->Initialize();
    slots.back()->StartRecording();
    ASSERT_EQ("", slots.back()->ErrorMessage());
  }
  TSlotInfo& kept = *slots[0];
  TSlotInfo& stopped = *slots[1];
  auto signal = std::make_unique<TJackSignal>(server.Name(), 4);
  ASSERT_EQ(std::vector<std::string>({"signal", "system", "tapevault"}), signal->Clients());
  for (int port = 0; port < 4; ++port)
    signal->Connect(port, Format("tapevault:bundle%d-2_in_%d", port / 2 * 2, port % 2 + 1));
  // Port 0 peaks at 3000/32768, port 2 at 9000/32768.
  ASSERT_TRUE(WaitUntil([&] { return kept.LevelLeft() > 0.08f && stopped.LevelLeft() > 0.25f; }));

  kept.CycleEncoder();
  ASSERT_NE(0u, kept.Encoder()) << kept.ErrorMessage();
  std::this_thread::sleep_for(500ms);
  stopped.StopRecording();
  std::this_thread::sleep_for(1000ms);
  kept.FinishRecording();
  // A pause of the kept bundle would show as a run of silence in the ramp, which is never 0 for long.
  const std::vector<int16_t> left = LeftSamples(folder / "rec0");
  EXPECT_GT(left.size(), 48000u);
  size_t zeros = 0, longest = 0;
  for (const int16_t sample : left)
  {
    zeros = sample == 0 ? zeros + 1 : 0;
    longest = std::max(longest, zeros);
  }
  EXPECT_LT(longest, 100u);

  signal.reset();
  server.Stop(true);
  ASSERT_TRUE(WaitUntil([&] { return !kept.ErrorMessage().empty(); }));
  EXPECT_TRUE(WaitUntil([&] { return kept.LevelLeft() == 0.0f; })) << "silence while the server is gone";
  server.Start();
  ASSERT_TRUE(WaitUntil([&] { return kept.ErrorMessage().empty(); })) << kept.ErrorMessage();
  signal = std::make_unique<TJackSignal>(server.Name(), 1);
  signal->Connect(0, "tapevault:bundle0-2_in_1");
  EXPECT_TRUE(WaitUntil([&] { return kept.LevelLeft() > 0.08f; })) << "capture resumed";
  slots.clear();
  FreeDevices();
}
} // namespace
