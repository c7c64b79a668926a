// A slot changed from the browser's configuration endpoints in the running service: a new input is attached at
// once (the recording goes on from it), a new format starts a new file, a refused change leaves the running slot
// and the configuration file as they were.

#include "ServiceTestRoot.h"
#include "support/WebClient.h"
#include "web/WebAccess.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace
{
using namespace servicetest;
using TJson = nlohmann::json;

const std::pair<std::string, std::string> Admin{"admin", "admin-secret"};

TWebReply Change(uint16_t iPort, const std::string& iBody)
{
  return WebFetch(iPort, {.Method = "POST",
                          .Path = "/ws/config/slots/0",
                          .Headers = {"Content-Type: application/json"},
                          .Body = iBody,
                          .Credentials = Admin});
}

// The largest sample magnitude of a 16-bit stereo WAV file's data between two times (seconds).
int PeakBetween(const std::string& iPath, double iFrom, double iTo)
{
  const std::string data = TSettingsTempFolder::ReadFile(iPath);
  const size_t begin = 44 + static_cast<size_t>(iFrom * 44100) * 4;
  const size_t end = std::min(data.size(), 44 + static_cast<size_t>(iTo * 44100) * 4);
  int peak = 0;
  for (size_t i = begin; i + 1 < end; i += 2)
    peak = std::max(peak, std::abs(static_cast<int16_t>(static_cast<uint16_t>(
                              static_cast<uint8_t>(data[i]) | (static_cast<uint8_t>(data[i + 1]) << 8)))));
  return peak;
}

std::vector<std::string> FilesBelow(const std::string& iFolder, const std::string& iExtension)
{
  std::vector<std::string> result;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(iFolder))
    if (entry.path().extension() == iExtension)
      result.push_back(entry.path().string());
  return result;
}
} // namespace

TEST(ServiceWebConfig, ChangedSourceRestartsTheInputChangedFormatStartsANewFileRefusalChangesNothing)
{
  TPulseServer pulse({"quiet", "loud"});
  ASSERT_NO_THROW(pulse.Start());
  const auto tone = pulse.PlayTone("loud", 880, 120);

  TServiceRoot root;
  const std::string folder = root / "Studio";
  root.WriteConfig("[General]\nSlotCount=1\n\n[Slot0]\nName=Studio\nSource=Soundcard\nDevice=PULSE:quiet.monitor\n"
                   "Format=wav16\nTimeSlotAlign=off\nCleanupSpaceEnabled=off\nFolder=" +
                   folder +
                   "\n\n[Webserver]\nEnabled=on\nPort=127.0.0.1:0"
                   "\nAdminUser=admin\nAdminPassword=" +
                   PasswordHash(Admin.second) + "\n");
  const auto program = root.Start(&pulse);
  const uint16_t port = program->WebServerPort(StartTimeout);
  ASSERT_NE(port, 0) << program->Output();
  ASSERT_TRUE(program->WaitForLine("Web server started", StartTimeout)) << program->Output();
  ASSERT_TRUE(program->WaitForLine("Studio: Encoding to file ", StartTimeout)) << program->Output();

  // The registry's inputs, as the settings page offers them.
  const TJson devices = TJson::parse(WebFetch(port, {.Path = "/ws/config/devices", .Credentials = Admin}).Body);
  std::vector<std::string> ids;
  for (const TJson& device : devices)
    ids.push_back(device["ID"]);
  EXPECT_NE(std::find(ids.begin(), ids.end(), "PULSE:loud.monitor"), ids.end()) << devices.dump();

  // Three seconds from the quiet input, then the loud one into the same file.
  std::this_thread::sleep_for(3s);
  const TWebReply input = Change(port, R"({"Device": "PULSE:loud.monitor"})");
  ASSERT_EQ(input.Status, 200) << input.Body;
  EXPECT_EQ(TJson::parse(input.Body)["InputRestarted"], true);
  EXPECT_EQ(TJson::parse(input.Body)["NewFile"], false);
  ASSERT_TRUE(program->WaitForLine(LogLinePattern("Slot 1 settings changed from the web by admin: Device"), 5s))
      << program->Output();
  std::this_thread::sleep_for(5s);

  // A refused change: the slot goes on, the file stays, the configuration file is not touched.
  const std::string iniBefore = TSettingsTempFolder::ReadFile(root.ConfigPath());
  const size_t filesBefore = program->MatchingLines("Studio: Encoding to file ").size();
  const TWebReply refused = Change(port, R"({"Format": "mp3", "Folder": ""})");
  ASSERT_EQ(refused.Status, 400) << refused.Body;
  EXPECT_EQ(TJson::parse(refused.Body)["Errors"][0]["Message"], "Output folder must not be empty.");
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(TSettingsTempFolder::ReadFile(root.ConfigPath()), iniBefore);
  EXPECT_EQ(program->MatchingLines("Studio: Encoding to file ").size(), filesBefore);

  const TWebReply format = Change(port, R"({"Format": "mp3", "Bitrate": 64})");
  ASSERT_EQ(format.Status, 200) << format.Body;
  EXPECT_EQ(TJson::parse(format.Body)["NewFile"], true);
  ASSERT_TRUE(program->WaitForLine("Studio: Encoding to file .*\\.mp3", 10s)) << program->Output();
  std::this_thread::sleep_for(2s);

  program->Signal(SIGTERM);
  ASSERT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();

  const std::vector<std::string> wavs = FilesBelow(folder, ".wav");
  ASSERT_EQ(wavs.size(), 1u);
  // Silence from the first input (its first second may be the capture's start), the tone after the change.
  EXPECT_LT(PeakBetween(wavs[0], 0.5, 2.5), 300);
  const double seconds = (std::filesystem::file_size(wavs[0]) - 44) / (44100.0 * 4);
  EXPECT_GT(PeakBetween(wavs[0], seconds - 3, seconds - 0.5), 8000);
  EXPECT_EQ(FilesBelow(folder, ".mp3").size(), 1u);

  const auto slot = IniSection(ReadIniEntries(root.ConfigPath()), "Slot0");
  EXPECT_EQ(slot.at("Device"), "PULSE:loud.monitor");
  EXPECT_EQ(slot.at("Format"), "mp3");
  EXPECT_EQ(slot.at("Bitrate"), "64");
}
