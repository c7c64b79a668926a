// "/metrics" text of slots in different states: a series keeps its labels when a slot is renamed, the gauges that
// alert rules compare with follow the settings, the exposition passes promtool's checks, every series that the
// shipped alert rules and dashboard name exists, and audio a file encoder's queue dropped is counted.

#include "support/SlotSettingsEdit.h"
#include "support/WebTestController.h"
#include "web/MetricsEndpoint.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

namespace
{
// The value of one sample line, "name{labels} value"; NaN when the line is missing.
double Sample(const std::string& iText, const std::string& iSeries)
{
  const size_t start = iText.find("\n" + iSeries + " ");
  if (start == std::string::npos)
    return std::nan("");
  return std::stod(iText.substr(start + iSeries.size() + 2));
}

std::string ReadFile(const std::filesystem::path& iPath)
{
  std::ifstream file(iPath);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Exit status and output (standard output and error) of a shell command.
std::pair<int, std::string> RunCommand(const std::string& iCommand)
{
  std::string output;
  FILE* pipe = ::popen((iCommand + " 2>&1").c_str(), "r");
  char buffer[4096];
  for (size_t count; pipe && (count = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
    output.append(buffer, count);
  return {pipe ? ::pclose(pipe) : -1, output};
}

class MetricsEndpointTest : public testing::Test
{
protected:
  void SetUp() override
  {
    TSlotInfo& studio = fController.AddSlot("Studio \"A\" \\ 1", rsSoundcard);
    EditSlotSettings(studio, [&](TSlotSettings& ioSettings) { ioSettings.Silence.Detection = 30; });
    std::filesystem::create_directories(studio.Settings().Output.Folder);

    TSlotInfo& idle = fController.AddSlot("Idle");
    EditSlotSettings(idle, [&](TSlotSettings& ioSettings) { ioSettings.Silence.Detection = 10; });
    EditSlotSettings(idle, [&](TSlotSettings& ioSettings) { ioSettings.Cleanup.Space = 7; });

    TSlotInfo& relay = fController.AddSlot("Relay", rsStream, "http://radio.example/live");
    EditSlotSettings(relay, [&](TSlotSettings& ioSettings) { ioSettings.OutputStream.Enabled = true; });
    EditSlotSettings(relay, [&](TSlotSettings& ioSettings) { ioSettings.OutputStream.Only = true; });
    EditSlotSettings(relay, [&](TSlotSettings& ioSettings) { ioSettings.Cleanup.SpaceEnabled = false; });
    EditSlotSettings(relay, [&](TSlotSettings& ioSettings) { ioSettings.Silence.Detection = 10; });
    relay.SetEnabled(false);
  }

  std::string Text() const { return MetricsText(fController, TLoginCounts{}); }

  TWebTestController fController;
};
} // namespace

TEST_F(MetricsEndpointTest, SeriesKeepTheirLabelsWhenASlotIsRenamed)
{
  const std::string before = Text();
  EXPECT_EQ(Sample(before, R"(tapevault_slot_info{slot="0",name="Studio \"A\" \\ 1"})"), 1) << before;
  EXPECT_EQ(Sample(before, R"(tapevault_slot_info{slot="1",name="Idle"})"), 1) << before;
  std::istringstream lines(before);
  for (std::string line; std::getline(lines, line);)
    EXPECT_TRUE(line.find("name=") == std::string::npos || line.starts_with("tapevault_slot_info{")) << line;

  EditSlotSettings(fController.Slot(0), [&](TSlotSettings& ioSettings) { ioSettings.Name = "Studio B"; });
  const std::string after = Text();
  EXPECT_EQ(Sample(after, R"(tapevault_slot_info{slot="0",name="Studio B"})"), 1) << after;
  EXPECT_EQ(after.find("Studio \\\"A\\\""), std::string::npos) << after;
  EXPECT_EQ(Sample(after, R"(tapevault_slot_recording{slot="0"})"), 0) << after;
  EXPECT_EQ(Sample(after, R"(tapevault_slot_level{slot="0",channel="left"})"), 0) << after;
}

TEST_F(MetricsEndpointTest, GaugesThatAlertRulesCompareWith)
{
  const std::string text = Text();
  const double GiB = 1024.0 * 1024 * 1024;
  const struct
  {
    const char* Series;
    double Value;
  } cases[] = {
      {R"(tapevault_slot_enabled{slot="0"})", 1},
      {R"(tapevault_slot_enabled{slot="1"})", 0}, // no input
      {R"(tapevault_slot_enabled{slot="2"})", 0}, // stopped, and streaming only
      {R"(tapevault_slot_silence_alarm_seconds{slot="0"})", 30},
      {R"(tapevault_slot_silence_alarm_seconds{slot="1"})", 10},
      {R"(tapevault_slot_silence_alarm_seconds{slot="2"})", 0}, // stopped: its silence is not watched
      {R"(tapevault_slot_streaming_enabled{slot="0"})", 0},
      {R"(tapevault_slot_streaming_enabled{slot="2"})", 0}, // stopped
      {R"(tapevault_slot_cleanup_goal_bytes{slot="0"})", 5 * GiB},
      {R"(tapevault_slot_cleanup_goal_bytes{slot="1"})", 7 * GiB},
      {R"(tapevault_slot_cleanup_goal_bytes{slot="2"})", 0}, // rule off
  };
  for (const auto& expected : cases)
    EXPECT_EQ(Sample(text, expected.Series), expected.Value) << expected.Series << "\n" << text;

  EditSlotSettings(fController.Slot(2),
                   [&](TSlotSettings& ioSettings) { ioSettings.Silence.DetectionIfInactive = true; });
  fController.Slot(2).SetEnabled(true);
  const std::string started = Text();
  EXPECT_EQ(Sample(started, R"(tapevault_slot_streaming_enabled{slot="2"})"), 1) << started;
  EXPECT_EQ(Sample(started, R"(tapevault_slot_silence_alarm_seconds{slot="2"})"), 10) << started;
  EXPECT_EQ(Sample(started, R"(tapevault_slot_enabled{slot="2"})"), 0) << "streaming only writes no files";

  // Free space of the volume the cleanup measures; a folder that does not exist yet has no sample.
  const double free = Sample(text, R"(tapevault_slot_free_bytes{slot="0"})");
  EXPECT_GT(free, 0) << text;
  EXPECT_NEAR(free, static_cast<double>(AvailableBytes(fController.Slot(0).Settings().Output.Folder)),
              64 * 1024 * 1024);
  EXPECT_EQ(text.find(R"(tapevault_slot_free_bytes{slot="1"})"), std::string::npos) << text;
}

TEST_F(MetricsEndpointTest, PromtoolAcceptsTheTextAndKnowsEverySeriesOfTheRulesAndTheDashboard)
{
  ASSERT_EQ(RunCommand("command -v promtool").first, 0)
      << "promtool is missing (Debian package prometheus; scripts/install-deps installs it)";
  const std::string text = Text();
  const std::filesystem::path file = fController.Root() / "metrics.txt";
  std::ofstream(file) << text;
  const auto [status, output] = RunCommand("promtool check metrics < '" + file.string() + "'");
  EXPECT_EQ(status, 0) << output << "\n" << text;
  EXPECT_EQ(output, "") << "lint remarks";

  std::set<std::string> families;
  const std::regex type(R"(# TYPE (tapevault_\w+) )");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), type); it != std::sregex_iterator(); ++it)
    families.insert((*it)[1]);
  const std::filesystem::path source = TAPEVAULT_SOURCE_DIR;
  for (const char* shipped : {"packaging/prometheus/tapevault.rules.yml", "packaging/prometheus/tapevault.test.yml",
                              "packaging/grafana/tapevault.json"})
  {
    const std::string content = ReadFile(source / shipped);
    ASSERT_FALSE(content.empty()) << shipped;
    const std::regex series(R"(tapevault_[a-z_]+)");
    for (auto it = std::sregex_iterator(content.begin(), content.end(), series); it != std::sregex_iterator(); ++it)
      EXPECT_TRUE(families.contains((*it)[0])) << (*it)[0] << " in " << shipped;
  }
}

TEST_F(MetricsEndpointTest, AudioTheEncoderQueueDroppedIsCounted)
{
  // A program that reads nothing, behind a queue of 100 ms, fed by a slot whose stream input gives silence.
  std::ofstream(fController.Root() / "Tapevault.ini")
      << "[Slot3]\nFormat=customraw\nFileExtension=raw\nEncoderFilename=sleep\nEncoderOptions=2\n"
         "EncoderQueueLength=100\n";
  TSlotInfo& slot = fController.AddSlot("Slow", rsStream, "http://127.0.0.1:1/nothing");
  slot.Initialize();
  slot.StartRecording();
  slot.CycleEncoder();
  ASSERT_NE(slot.Encoder(), 0u) << slot.ErrorMessage();
  const std::string series = R"(tapevault_slot_encoder_dropped_seconds_total{slot="3"})";
  EXPECT_EQ(Sample(Text(), series), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  slot.FinishRecording();
  const std::string text = Text();
  EXPECT_NEAR(Sample(text, series), 0.7, 0.4) << text;
  EXPECT_NEAR(Sample(text, series), slot.GetCounters().EncoderDroppedSeconds, 1e-9);
  // The input's xruns and the outgoing stream's losses have their series too; this slot has none of them.
  for (const char* family : {"tapevault_slot_input_xruns_total", "tapevault_slot_stream_dropped_bytes_total",
                             "tapevault_slot_stream_dropped_listeners_total"})
    EXPECT_EQ(Sample(text, family + std::string(R"({slot="3"})")), 0) << text;
}
