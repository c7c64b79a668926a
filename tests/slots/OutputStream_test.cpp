// The outgoing stream of slots that record a tone from a real PulseAudio null sink: casting MP3, Ogg Vorbis and
// Shoutcast to a real Icecast 2, titles from the title file and forwarded from an incoming stream, a wrong
// password, a connect delay, Icecast going away and coming back, and the built-in stream server with listeners.

#include "audio/AudioDevices.h"
#include "audio/engine/AudioEngine.h"
#include "lib/Errors.h"
#include "lib/IniFile.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"
#include "support/IcecastServer.h"
#include "support/PulseServer.h"
#include "support/PythonTestServer.h"
#include "support/SettingsTempFolder.h"
#include "support/SlotSettingsEdit.h"
#include "support/StreamListener.h"
#include "support/Wait.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace
{
constexpr double kTone = 440;

class OutputStream : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    fPulse = std::make_unique<TPulseServer>(std::vector<std::string>{"tone"});
    fPulse->Start();
    fPulse->ExportAddress();
    for (const std::string& problem : EnumerateDevices())
      ADD_FAILURE() << problem;
    fIcecast = std::make_unique<TIcecastServer>("/sc.mp3");
    fSource = fIcecast->StartSource("/radio.mp3", TIcecastServer::kMP3);
    ASSERT_TRUE(fIcecast->WaitForMount("/radio.mp3"));
  }
  static void TearDownTestSuite()
  {
    fSource.reset();
    fIcecast.reset();
    FreeDevices();
    fPulse.reset();
  }
  void SetUp() override { fTone = fPulse->PlayTone("tone", kTone, 120); }
  void TearDown() override
  {
    fSlots.clear();
    fTone.reset();
  }

  // Writes the sections of slots 0, 1, ...: each records the tone and streams to Icecast as MP3 unless its
  // lines ("Key=value\n") say otherwise.
  void WriteSettings(const std::vector<std::string>& iSlots)
  {
    std::string ini;
    for (size_t i = 0; i < iSlots.size(); ++i)
    {
      std::string section;
      for (const std::string& line : std::vector<std::string>{
               "Source=Soundcard", "Device=PULSE:tone.monitor", "Format=mp3", "FlatFilenames=on", "StreamingEnabled=on",
               "StreamingHost=127.0.0.1", "StreamingPassword=" + std::string(TIcecastServer::kSourcePassword),
               "StreamingPort=" + std::to_string(fIcecast->Port()), "Folder=" + fFolder / ("rec" + std::to_string(i)),
               "StreamingTitleFilename=" + fFolder / ("title" + std::to_string(i) + ".txt")})
        if (("\n" + iSlots[i]).find("\n" + line.substr(0, line.find('=') + 1)) == std::string::npos)
          section += line + "\n";
      ini += Format("[Slot%zu]\n", i) + section + iSlots[i];
    }
    TSettingsTempFolder::WriteFile(fFolder / "Tapevault.ini", ini);
    fIni = std::make_unique<TIniFile>(fFolder / "Tapevault.ini");
  }

  TSlotInfo& StartSlot(int iIndex)
  {
    auto slot = std::make_unique<TSlotInfo>(*fIni, iIndex, false);
    slot->SetOnLogMessage(
        [this](TSlotInfo*, const std::string& iMessage)
        {
          std::lock_guard lock(fLogMutex);
          fLog.push_back({std::chrono::steady_clock::now(), iMessage});
        });
    slot->Initialize();
    slot->StartRecording();
    fSlots.push_back(std::move(slot));
    return *fSlots.back();
  }

  // The times of the log lines that contain iText.
  std::vector<std::chrono::steady_clock::time_point> LogTimes(const std::string& iText)
  {
    std::lock_guard lock(fLogMutex);
    std::vector<std::chrono::steady_clock::time_point> times;
    for (const auto& [time, line] : fLog)
      if (line.find(iText) != std::string::npos)
        times.push_back(time);
    return times;
  }
  std::string LogText()
  {
    std::lock_guard lock(fLogMutex);
    std::string text;
    for (const auto& entry : fLog)
      text += entry.second + "\n";
    return text;
  }

  static bool WaitForStatus(TSlotInfo& iSlot, TStreamingStatus iStatus, std::chrono::milliseconds iTimeout = 15s)
  {
    return WaitUntil([&] { return iSlot.StreamingStatus() == iStatus; }, iTimeout);
  }
  // The title Icecast shows for iMount.
  static bool WaitForIcecastTitle(const std::string& iMount, const std::string& iTitle)
  {
    const std::regex title("\"listenurl\":\"[^\"]*" + iMount + "\"[^{}]*\"title\":\"" + iTitle + "\"");
    return WaitUntil([&] { return std::regex_search(fIcecast->Status(), title); }, 15s);
  }

  static inline std::unique_ptr<TPulseServer> fPulse;
  static inline std::unique_ptr<TIcecastServer> fIcecast;
  static inline std::unique_ptr<TProcessLauncher> fSource;
  std::unique_ptr<TProcessLauncher> fTone;
  TSettingsTempFolder fFolder;
  std::unique_ptr<TIniFile> fIni;
  std::vector<std::unique_ptr<TSlotInfo>> fSlots;
  std::mutex fLogMutex;
  std::vector<std::pair<std::chrono::steady_clock::time_point, std::string>> fLog;
};

// The frequency of what a listener of iURL hears during its first three seconds, from the rising zero
// crossings; 0 when nothing could be decoded.
double ListenedFrequency(const std::string& iURL)
{
  const std::vector<float> samples = DecodeToMono(ListenToStream(iURL, 3 * 16000).Audio);
  // The first second may hold the silence before the capture delivered sound.
  const size_t from = std::min<size_t>(samples.size(), 44100);
  int crossings = 0;
  for (size_t i = from + 1; i < samples.size(); ++i)
    crossings += samples[i - 1] < 0 && samples[i] >= 0;
  const double seconds = static_cast<double>(samples.size() - from) / 44100;
  return seconds > 0.5 ? crossings / seconds : 0;
}

// The titles a listener of iURL that asks for them receives with about four seconds of audio.
std::string ListenedTitles(const std::string& iURL)
{
  std::string titles;
  for (const std::string& block : ListenToStream(iURL, 4 * 16000, true).Metadata)
    titles += block + "\n";
  return titles;
}
} // namespace

TEST_F(OutputStream, CastsMP3OggVorbisAndShoutcastWithTitles)
{
  TSettingsTempFolder::WriteFile(fFolder / "title0.txt", "First title\r\nnot this line\r\n");
  WriteSettings({
      "StreamingOnly=on\nStreamingMountPoint=a.mp3\nStreamingTitle=Tapevault A\nStreamingGenre=Test\n",
      "StreamingOnly=on\nFormat=ogg\nStreamingMountPoint=/b.ogg\n",
      "Source=Stream\nStreamURL=" + fIcecast->URL("/radio.mp3") +
          "\nStreamingOnly=on\nStreamingForwardMetadata=on\nStreamingMountPoint=/fwd.mp3\n",
      // Shoutcast: no mount point, sent to the source port above Icecast's port.
      "StreamingOnly=on\n",
  });
  TSlotInfo& titled = StartSlot(0);
  TSlotInfo& ogg = StartSlot(1);
  TSlotInfo& forwarding = StartSlot(2);
  TSlotInfo& shoutcast = StartSlot(3);
  titled.UpdateOutgoingStreamTitle();
  const std::string host = "127.0.0.1:" + std::to_string(fIcecast->Port());
  for (TSlotInfo* slot : {&titled, &ogg, &forwarding, &shoutcast})
    ASSERT_TRUE(WaitForStatus(*slot, ssConnected)) << slot->StreamingMessage() << "\n" << LogText();
  EXPECT_EQ(titled.StreamingMessage(), host + "/a.mp3");
  EXPECT_EQ(ogg.StreamingMessage(), host + "/b.ogg");
  EXPECT_EQ(shoutcast.StreamingMessage(), host);
  EXPECT_EQ(LogTimes("Slot 1: Encoder connected to " + host + "/a.mp3").size(), 1u) << LogText();
  EXPECT_GE(titled.StreamingActiveSince(), 0);

  EXPECT_NEAR(ListenedFrequency(fIcecast->URL("/a.mp3")), kTone, 10);
  EXPECT_NEAR(ListenedFrequency(fIcecast->URL("/b.ogg")), kTone, 10);
  EXPECT_NEAR(ListenedFrequency(fIcecast->URL("/sc.mp3")), kTone, 10);

  // The title file's first line, then a changed file with a byte-order mark.
  EXPECT_TRUE(WaitForIcecastTitle("/a.mp3", "First title")) << fIcecast->Status();
  TSettingsTempFolder::WriteFile(fFolder / "title0.txt", "\xEF\xBB\xBFSecond title\n");
  titled.UpdateOutgoingStreamTitle();
  EXPECT_TRUE(WaitForIcecastTitle("/a.mp3", "Second title")) << fIcecast->Status();
  EXPECT_NE(ListenedTitles(fIcecast->URL("/a.mp3")).find("StreamTitle='Second title';"), std::string::npos);

  // The incoming stream's title goes on to the outgoing stream.
  ASSERT_TRUE(WaitUntil([&] { return forwarding.StreamChannel() != 0; }, 15s)) << forwarding.StreamStatus();
  ASSERT_TRUE(fIcecast->SetTitle("/radio.mp3", "Forwarded - Song"));
  EXPECT_TRUE(WaitForIcecastTitle("/fwd.mp3", "Forwarded - Song")) << fIcecast->Status();
  EXPECT_EQ(forwarding.CurrentStreamTitle(), "Forwarded - Song");

  // Stream only: no recording files.
  for (TSlotInfo* slot : {&titled, &ogg, &forwarding, &shoutcast})
    EXPECT_EQ(slot->Encoder(), 0u);
  EXPECT_FALSE(std::filesystem::exists(fFolder / "rec0"));

  // A new mount point applies at the next connection, which switching streaming off and on forces.
  EditSlotSettings(titled, [](TSlotSettings& ioSettings) { ioSettings.OutputStream.MountPoint = "/moved.mp3"; });
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(titled.StreamingMessage(), host + "/a.mp3");
  EditSlotSettings(titled, [](TSlotSettings& ioSettings) { ioSettings.OutputStream.Enabled = false; });
  ASSERT_TRUE(WaitForStatus(titled, ssDisabled));
  EXPECT_EQ(titled.StreamingMessage(), "");
  EXPECT_EQ(titled.StreamingActiveSince(), -1);
  EXPECT_EQ(LogTimes("Slot 1: Encoder disconnected").size(), 1u) << LogText();
  EditSlotSettings(titled, [](TSlotSettings& ioSettings) { ioSettings.OutputStream.Enabled = true; });
  titled.StartRecording(); // wakes the streaming thread, as the controller does after the dialog
  ASSERT_TRUE(WaitForStatus(titled, ssConnected));
  EXPECT_EQ(titled.StreamingMessage(), host + "/moved.mp3");
  EXPECT_TRUE(WaitForIcecastTitle("/moved.mp3", "Second title")) << fIcecast->Status();
}

TEST_F(OutputStream, AWrongPasswordIsRetriedEveryFiveSecondsAndADelayPrecedesEachAttempt)
{
  WriteSettings({"StreamingOnly=on\nStreamingMountPoint=/denied.mp3\nStreamingPassword=wrong\n",
                 "StreamingOnly=on\nStreamingMountPoint=/late.mp3\nStreamingConnectDelay=2000\n"});
  const auto started = std::chrono::steady_clock::now();
  TSlotInfo& denied = StartSlot(0);
  TSlotInfo& late = StartSlot(1);
  ASSERT_TRUE(WaitForStatus(denied, ssError)) << denied.StreamingMessage();
  EXPECT_EQ(denied.StreamingMessage(), "access denied (invalid password) (BASS error 2100)");
  EXPECT_EQ(denied.StreamingActiveSince(), -1);
  const std::string line = "Slot 1: Encoder connection error: access denied (invalid password) (BASS error 2100)";
  ASSERT_TRUE(WaitUntil([&] { return LogTimes(line).size() >= 2; }, 15s)) << LogText();
  const auto errors = LogTimes(line);
  EXPECT_GE(errors[1] - errors[0], 4500ms);

  ASSERT_TRUE(WaitForStatus(late, ssConnected)) << late.StreamingMessage();
  const auto connected = LogTimes("Slot 2: Encoder connected to");
  ASSERT_EQ(connected.size(), 1u) << LogText();
  EXPECT_GE(connected[0] - started, 2000ms);
}

TEST_F(OutputStream, IcecastGoingAwayLeavesTheRecordingWhole)
{
  WriteSettings({"StreamingMountPoint=/lost.mp3\nFilenamePrefix=lost\n"});
  TSlotInfo& slot = StartSlot(0);
  slot.CycleEncoder();
  const auto fileStart = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitForStatus(slot, ssConnected)) << slot.StreamingMessage();
  const std::string file = slot.CurrentFilename();
  std::this_thread::sleep_for(1s);

  fSource.reset();
  fIcecast->Stop();
  ASSERT_TRUE(WaitUntil([&] { return !LogTimes("Slot 1: Encoder lost connection").empty(); }, 10s)) << LogText();
  // Refused attempts, 5 seconds apart, while the server is away.
  std::map<TStreamingStatus, int> seen;
  WaitUntil(
      [&]
      {
        ++seen[slot.StreamingStatus()];
        return LogTimes("Slot 1: Encoder connection error:").size() >= 2;
      },
      15s);
  EXPECT_GE(LogTimes("Slot 1: Encoder connection error:").size(), 2u) << LogText();
  EXPECT_GT(seen[ssError], 0);
  EXPECT_EQ(seen[ssConnected], 0);

  fIcecast->Start();
  fSource = fIcecast->StartSource("/radio.mp3", TIcecastServer::kMP3);
  ASSERT_TRUE(WaitForStatus(slot, ssConnected, 15s)) << slot.StreamingMessage() << "\n" << LogText();
  EXPECT_EQ(LogTimes("Slot 1: Encoder connected to").size(), 2u) << LogText();
  EXPECT_NEAR(ListenedFrequency(fIcecast->URL("/lost.mp3")), kTone, 10);

  slot.FinishRecording();
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - fileStart).count();
  ASSERT_TRUE(slot.WaitForWorker(30s));
  std::string seconds;
  ASSERT_EQ(
      RunProgram({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file}, {}, seconds),
      0);
  // The file holds the whole time, the outage included.
  EXPECT_NEAR(std::stod(seconds), elapsed, 0.6) << file;
  EXPECT_TRUE(LogTimes("Encoder queue full").empty()) << LogText();
  EXPECT_TRUE(fIcecast->WaitForMount("/radio.mp3"));
}

TEST_F(OutputStream, TheBuiltInServerFeedsListenersAndOneStalledListenerHarmsNobody)
{
  const int port = FreeLoopbackPort();
  const std::string server = "StreamingServerMode=on\nStreamingPort=" + std::to_string(port) + "\n";
  TSettingsTempFolder::WriteFile(fFolder / "title0.txt", "Served title");
  WriteSettings(
      {server + "FilenamePrefix=served\nStreamingTitle=Slot radio\nStreamingGenre=Tests\nStreamingPublic=on\n",
       server + "StreamingOnly=on\n"});
  TSlotInfo& slot = StartSlot(0);
  slot.CycleEncoder();
  slot.UpdateOutgoingStreamTitle();
  ASSERT_TRUE(WaitForStatus(slot, ssConnected)) << slot.StreamingMessage() << "\n" << LogText();
  const std::string address = "127.0.0.1:" + std::to_string(port);
  EXPECT_EQ(slot.StreamingMessage(), address);
  const std::string url = "http://" + address + "/";

  // A listener that connects and never reads.
  const int stalled = socket(AF_INET, SOCK_STREAM, 0);
  const int small = 4096;
  setsockopt(stalled, SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(static_cast<uint16_t>(port));
  target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(stalled, reinterpret_cast<sockaddr*>(&target), sizeof(target)), 0);
  const std::string request = "GET / HTTP/1.0\r\nHost: " + address + "\r\n\r\n";
  ASSERT_EQ(send(stalled, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));

  // Listeners learn the stream's name and kind from its settings, as from Icecast.
  const TStreamCapture capture = ListenToStream(url, 1000);
  EXPECT_EQ(capture.ContentType, "audio/mpeg");
  EXPECT_EQ(capture.Headers.count("icy-name") ? capture.Headers.at("icy-name") : "", "Slot radio");
  EXPECT_EQ(capture.Headers.count("icy-genre") ? capture.Headers.at("icy-genre") : "", "Tests");
  EXPECT_EQ(capture.Headers.count("icy-br") ? capture.Headers.at("icy-br") : "", "128");
  EXPECT_EQ(capture.Headers.count("icy-pub") ? capture.Headers.at("icy-pub") : "", "1");

  std::string titles;
  std::thread titleListener([&] { titles = ListenedTitles(url); });
  EXPECT_NEAR(ListenedFrequency(url), kTone, 10);
  titleListener.join();
  close(stalled);
  EXPECT_NE(titles.find("StreamTitle='Served title';"), std::string::npos) << titles;
  // The recording and the stream went on.
  EXPECT_EQ(slot.StreamingStatus(), ssConnected);
  EXPECT_EQ(TAudioEngine::EncodeIsActive(slot.Encoder()), esRunning);
  EXPECT_TRUE(LogTimes("Encoder queue full").empty()) << LogText();

  // The same port once more: a clear error.
  TSlotInfo& second = StartSlot(1);
  ASSERT_TRUE(WaitForStatus(second, ssError)) << LogText();
  EXPECT_NE(second.StreamingMessage().find("Cannot serve the stream on " + address), std::string::npos)
      << second.StreamingMessage();

  slot.SetEnabled(false);
  ASSERT_TRUE(WaitForStatus(slot, ssDisabled));
  EXPECT_EQ(LogTimes("Slot 1: Encoder disconnected").size(), 1u) << LogText();
}
