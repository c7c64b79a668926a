// Stream slots against a real Icecast 2 fed by ffmpeg: titles and cue sheets, an Icecast restart, a paused source,
// servers that stall or close mid-stream, failing URLs with their status texts, dead servers and hostile playlists
// beside a healthy slot, and stopping at awkward moments.

#include "audio/engine/AudioEngine.h"
#include "lib/Errors.h"
#include "lib/IniFile.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"
#include "support/FileServer.h"
#include "support/HttpTestServer.h"
#include "support/IcecastServer.h"
#include "support/PythonTestServer.h"
#include "support/SettingsTempFolder.h"
#include "support/Wait.h"
#include "support/WavFile.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <regex>
#include <thread>

using namespace std::chrono_literals;

namespace
{
// Frames of a 16-bit stereo WAV file, as |left| peaks per 100 ms block.
std::vector<int> BlockPeaks(const std::string& iPath)
{
  const std::vector<int16_t> samples = ReadWavFile(iPath).Samples16();
  std::vector<int> peaks;
  const size_t block = 4410;
  for (size_t frame = 0; (frame + block) * 2 <= samples.size(); frame += block)
  {
    int peak = 0;
    for (size_t i = 0; i < block; ++i)
      peak = std::max(peak, std::abs(int(samples[(frame + i) * 2])));
    peaks.push_back(peak);
  }
  return peaks;
}
class SlotInputStream : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    fIcecast = std::make_unique<TIcecastServer>();
    fSource = fIcecast->StartSource("/radio.mp3", TIcecastServer::kMP3);
    ASSERT_TRUE(fIcecast->WaitForMount("/radio.mp3"));
  }
  static void TearDownTestSuite()
  {
    fSource.reset();
    fIcecast.reset();
  }
  void TearDown() override
  {
    fSlots.clear();
    TAudioEngine::SetConfig(cfNetTimeout, 5000);
  }

  // Slot iIndex recording iURL into flat WAV files with cue sheets in a folder (and database) of its own in the
  // temporary folder, built and started.
  TSlotInfo& StartSlot(int iIndex, const std::string& iURL)
  {
    TSettingsTempFolder::WriteFile(fFolder / "Tapevault.ini",
                                   TSettingsTempFolder::ReadFile(fFolder / "Tapevault.ini") +
                                       Format("[Slot%d]\nSource=Stream\nStreamURL=%s\nFormat=wav16\nFlatFilenames=on\n"
                                              "FilenamePrefix=s%d\nCueSheet=on\nFolder=%s\n",
                                              iIndex, iURL.c_str(), iIndex,
                                              (fFolder / Format("rec%d", iIndex)).c_str()));
    fIni = std::make_unique<TIniFile>(fFolder / "Tapevault.ini");
    auto slot = std::make_unique<TSlotInfo>(*fIni, iIndex, false);
    slot->SetOnLogMessage(
        [this](TSlotInfo*, const std::string& iMessage)
        {
          std::lock_guard lock(fLogMutex);
          fLog.push_back(iMessage);
        });
    slot->Initialize();
    slot->StartRecording();
    fSlots.push_back(std::move(slot));
    return *fSlots.back();
  }
  std::vector<std::string> Log()
  {
    std::lock_guard lock(fLogMutex);
    return fLog;
  }
  static bool WaitForTitle(TSlotInfo& iSlot, const std::string& iTitle)
  {
    return WaitUntil([&] { return iSlot.CurrentStreamTitle() == iTitle; }, 15s);
  }
  std::string JoinedLog()
  {
    std::string text;
    for (const std::string& line : Log())
      text += line + "\n";
    return text;
  }
  size_t CountLog(const std::string& iText)
  {
    const std::vector<std::string> log = Log();
    return size_t(std::count_if(log.begin(), log.end(),
                                [&](const std::string& iLine) { return iLine.find(iText) != std::string::npos; }));
  }
  // Waits while running the input check of the controller's pass, which counts the dropouts.
  template <class TCondition>
  static bool WaitChecking(TSlotInfo& iSlot, TCondition&& iCondition, std::chrono::milliseconds iTimeout)
  {
    return WaitUntil(
        [&]
        {
          iSlot.CheckInput();
          return iCondition();
        },
        iTimeout);
  }
  // Records for iDuration, running the input check.
  static void RecordFor(TSlotInfo& iSlot, std::chrono::milliseconds iDuration)
  {
    const auto end = std::chrono::steady_clock::now() + iDuration;
    WaitChecking(
        iSlot, [&] { return std::chrono::steady_clock::now() >= end; }, iDuration + 1s);
  }
  // Once the stream is back: the gap was counted as a dropout of at least iGapSeconds, the finished file holds the
  // tone, a silence at least that long and the tone again, and the file's row holds the dropouts.
  void ExpectCountedGap(TSlotInfo& iSlot, double iGapSeconds)
  {
    ASSERT_TRUE(WaitChecking(
        iSlot, [&] { return iSlot.GetCounters().DropoutCount > 0; }, 15s));
    RecordFor(iSlot, 2s);
    const TSlotCounters counters = iSlot.GetCounters();
    EXPECT_GE(counters.DropoutSeconds, iGapSeconds) << JoinedLog();
    const std::string file = iSlot.CurrentFilename();
    iSlot.FinishRecording();
    ASSERT_TRUE(iSlot.WaitForWorker(10s));
    const std::vector<int> peaks = BlockPeaks(file);
    size_t first = 0;
    while (first < peaks.size() && peaks[first] < 1000)
      ++first;
    size_t gapStart = first;
    while (gapStart < peaks.size() && peaks[gapStart] >= 1000)
      ++gapStart;
    size_t gapEnd = gapStart;
    while (gapEnd < peaks.size() && peaks[gapEnd] < 1000)
      ++gapEnd;
    EXPECT_GE(gapStart - first, 10u) << "the tone before";
    EXPECT_GE(double(gapEnd - gapStart) / 10.0, iGapSeconds - 0.2) << "the gap";
    EXPECT_GE(peaks.size() - gapEnd, 10u) << "the tone after";
    const auto row = iSlot.GetDatabaseConnection()
                         ->PrepareStatement("SELECT dropouts, dropoutcount FROM recordings")
                         ->ExecuteQueryPrepared();
    ASSERT_TRUE(row->First());
    EXPECT_DOUBLE_EQ(row->GetFloat(1), counters.DropoutSeconds);
    EXPECT_EQ(row->GetInt(2), static_cast<int>(counters.DropoutCount));
  }

  static std::unique_ptr<TIcecastServer> fIcecast;
  static std::unique_ptr<TProcessLauncher> fSource;
  TSettingsTempFolder fFolder;
  std::unique_ptr<TIniFile> fIni;
  std::vector<std::unique_ptr<TSlotInfo>> fSlots;
  std::mutex fLogMutex;
  std::vector<std::string> fLog;
};
std::unique_ptr<TIcecastServer> SlotInputStream::fIcecast;
std::unique_ptr<TProcessLauncher> SlotInputStream::fSource;

// Milliseconds of a cue sheet's INDEX line "    INDEX 01 mm:ss:ff".
int64_t IndexMilliseconds(const std::string& iLine)
{
  std::smatch m;
  if (!std::regex_match(iLine, m, std::regex(R"(    INDEX 01 (\d+):(\d\d):(\d\d))")))
    return -1;
  return std::stoll(m[1]) * 60000 + std::stoll(m[2]) * 1000 + std::stoll(m[3]) * 1000 / 75;
}

std::vector<std::string> Lines(const std::string& iText)
{
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = iText.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(iText.substr(at, end - at));
  return lines;
}

} // namespace

TEST_F(SlotInputStream, TitlesGoIntoTheCueSheetAtTheirOffsets)
{
  TSlotInfo& slot = StartSlot(0, fIcecast->URL("/radio.mp3"));
  slot.CycleEncoder();
  ASSERT_TRUE(WaitUntil([&] { return slot.StreamChannel() != 0; }, 10s)) << slot.StreamStatus();
  std::vector<int64_t> taken;
  // The second title is sent in ISO-8859-1 by Icecast (an MP3 mount) and must come out as UTF-8.
  // A station's line breaks would add lines of its own to the sheet, its quotes end the title early: the title
  // arrives on one line, and the sheet writes " as ''.
  const std::pair<std::string, std::string> titles[] = {
      {"First Artist - One", "First Artist - One"},
      {"Caf\xC3\xA9 \"Ölmühle\"\r\nFILE \"/etc/passwd\" WAVE\r\n  TRACK 99 AUDIO - Two",
       "Caf\xC3\xA9 \"Ölmühle\" FILE \"/etc/passwd\" WAVE TRACK 99 AUDIO - Two"}};
  for (const auto& [sent, title] : titles)
  {
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(fIcecast->SetTitle("/radio.mp3", sent));
    ASSERT_TRUE(WaitForTitle(slot, title)) << slot.CurrentStreamTitle();
    taken.push_back(static_cast<int64_t>(MillisecondClock()) - slot.RecordStartTickCount());
  }
  const std::string file = slot.CurrentFilename();
  // Icecast's first metadata block carries an empty title: that is a track too. The sheet is written just after
  // the title is taken.
  std::vector<std::string> lines;
  EXPECT_TRUE(WaitUntil(
      [&]
      {
        lines = Lines(TSettingsTempFolder::ReadFile(file + ".cue"));
        return lines.size() == 10u;
      },
      5s));
  ASSERT_EQ(lines.size(), 10u) << TSettingsTempFolder::ReadFile(file + ".cue");
  EXPECT_EQ(lines[0], "FILE \"" + std::filesystem::path(file).filename().string() + "\" WAVE");
  EXPECT_EQ(lines[1], "  TRACK 01 AUDIO");
  EXPECT_EQ(lines[2], "    TITLE \"\"");
  EXPECT_EQ(lines[4], "  TRACK 02 AUDIO");
  EXPECT_EQ(lines[5], "    TITLE \"First Artist - One\"");
  EXPECT_EQ(lines[7], "  TRACK 03 AUDIO");
  EXPECT_EQ(lines[8], "    TITLE \"Caf\xC3\xA9 ''Ölmühle'' FILE ''/etc/passwd'' WAVE TRACK 99 AUDIO - Two\"");
  EXPECT_NEAR(IndexMilliseconds(lines[6]), taken[0], 500);
  EXPECT_NEAR(IndexMilliseconds(lines[9]), taken[1], 500);
  EXPECT_LT(slot.LastMetadataTickCount(), static_cast<int64_t>(MillisecondClock()) + 1);
  EXPECT_FALSE(std::filesystem::exists(file + ".cue.tmp"));
}

TEST_F(SlotInputStream, AnIcecastRestartLeavesSilenceInAnUnbrokenFile)
{
  TSlotInfo& slot = StartSlot(0, fIcecast->URL("/radio.mp3"));
  slot.CycleEncoder();
  ASSERT_TRUE(WaitUntil([&] { return slot.StreamChannel() != 0; }, 10s)) << slot.StreamStatus();
  std::this_thread::sleep_for(2500ms);
  const auto stopped = std::chrono::steady_clock::now();
  fSource.reset();
  fIcecast->Stop();
  std::vector<std::string> statuses;
  WaitUntil(
      [&]
      {
        const std::string status = slot.StreamStatus();
        if (!status.empty() && (statuses.empty() || statuses.back() != status))
          statuses.push_back(status);
        return std::chrono::steady_clock::now() - stopped > 5s;
      },
      10s);
  fIcecast->Start();
  fSource = fIcecast->StartSource("/radio.mp3", TIcecastServer::kMP3);
  ASSERT_TRUE(fIcecast->WaitForMount("/radio.mp3"));
  ASSERT_TRUE(WaitUntil([&] { return slot.StreamChannel() != 0; }, 10s)) << slot.StreamStatus();
  std::this_thread::sleep_for(3s);
  const std::string file = slot.CurrentFilename();
  const float duration = slot.CurrentRecordingDuration();
  slot.FinishRecording();
  // The worker stops the encoder, which writes what its queue still holds.
  ASSERT_TRUE(slot.WaitForWorker(10s));

  // "Reconnecting..." shows only until the first attempt is refused, a moment later.
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), BassErrorText(ecNoNet)), statuses.end());
  const std::vector<int> peaks = BlockPeaks(file);
  EXPECT_NEAR(peaks.size() / 10.0, duration, 0.2) << "one file, as long as the time it ran";
  // Sound, then at least four seconds of silence, then sound again.
  size_t first = 0;
  while (first < peaks.size() && peaks[first] < 1000)
    ++first;
  size_t silenceStart = first;
  while (silenceStart < peaks.size() && peaks[silenceStart] >= 1000)
    ++silenceStart;
  size_t silenceEnd = silenceStart;
  while (silenceEnd < peaks.size() && peaks[silenceEnd] < 1000)
    ++silenceEnd;
  EXPECT_GE(silenceStart - first, 15u);
  EXPECT_GE(silenceEnd - silenceStart, 40u);
  EXPECT_GE(peaks.size() - silenceEnd, 10u);
  // No audio repeated: the sound after the gap lasts as long as the stream played since it reconnected.
  EXPECT_LE(peaks.size() - silenceEnd, 45u);
  EXPECT_EQ(slot.GetCounters().InputReconnects, 1u);
  const std::vector<std::string> log = Log();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& l) { return l.find("Stream connected") != std::string::npos; }),
            1);
}

TEST_F(SlotInputStream, FailingURLsShowTheEngineErrorAndAreRetriedQuietly)
{
  THttpTestServer http;
  TAudioEngine::SetConfig(cfNetTimeout, 1000);
  const struct
  {
    std::string URL;
    int Error;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/", ecNoNet},
      {http.URL("/hang"), ecTimeout},
      {http.URL("/plain-text"), ecFileForm},
      {"file:///etc/passwd", ecProtocol},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    StartSlot(int(i), cases[i].URL);
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_TRUE(WaitUntil([&] { return fSlots[i]->StreamStatus() == BassErrorText(cases[i].Error); }, 10s))
        << cases[i].URL << ": " << fSlots[i]->StreamStatus();
  const size_t before = http.Requests().size();
  std::this_thread::sleep_for(4s);
  const size_t retries = http.Requests().size() - before;
  EXPECT_GE(retries, 3u) << "both URLs of the HTTP server are tried again about once a second";
  for (const std::string& line : Log())
    EXPECT_NE(line.find("Recording from"), std::string::npos) << line;
}

TEST_F(SlotInputStream, DeadServersCostAHealthySlotAtMostTheAttemptUnderWay)
{
  THttpTestServer http;
  TAudioEngine::SetConfig(cfNetTimeout, 2000);
  TSlotInfo& dead1 = StartSlot(0, http.URL("/hang"));
  TSlotInfo& dead2 = StartSlot(1, http.URL("/hang"));
  ASSERT_TRUE(WaitUntil([&] { return dead1.StreamStatus() == BassErrorText(ecTimeout); }, 10s));
  ASSERT_TRUE(WaitUntil([&] { return dead2.StreamStatus() == BassErrorText(ecTimeout); }, 10s));
  const auto started = std::chrono::steady_clock::now();
  TSlotInfo& healthy = StartSlot(2, fIcecast->URL("/radio.mp3"));
  ASSERT_TRUE(WaitUntil([&] { return healthy.StreamChannel() != 0; }, 10s));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s + 1500ms);
}

TEST_F(SlotInputStream, StoppingEndsAnAttemptOrATitleUpdateAtOnce)
{
  THttpTestServer http;
  TSlotInfo& hanging = StartSlot(0, http.URL("/hang"));
  ASSERT_FALSE(http.WaitForRequests(1, 5s).empty());
  auto start = std::chrono::steady_clock::now();
  hanging.StopRecording();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "the 5 s attempt under way is given up";

  TSlotInfo& slot = StartSlot(1, fIcecast->URL("/radio.mp3"));
  slot.CycleEncoder();
  for (int i = 0; i < 3; ++i)
  {
    ASSERT_TRUE(WaitUntil([&] { return slot.StreamChannel() != 0; }, 10s));
    ASSERT_TRUE(fIcecast->SetTitle("/radio.mp3", Format("Title %d", i)));
    std::this_thread::sleep_for(std::chrono::milliseconds(900 + 100 * i));
    start = std::chrono::steady_clock::now();
    slot.StartRecording(); // stops the input, then starts it again
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  }
}

TEST_F(SlotInputStream, ASourcePausedPastIcecastsTimeOutIsReconnectedAndItsGapCounted)
{
  auto source = fIcecast->StartSource("/paused.mp3", TIcecastServer::kMP3);
  ASSERT_TRUE(fIcecast->WaitForMount("/paused.mp3"));
  TSlotInfo& slot = StartSlot(0, fIcecast->URL("/paused.mp3"));
  slot.CycleEncoder();
  ASSERT_TRUE(WaitChecking(
      slot, [&] { return slot.StreamChannel() != 0; }, 10s))
      << slot.StreamStatus();
  RecordFor(slot, 2s);
  source->Signal(SIGSTOP);
  // The engine's time-out (5 s) ends the connection before Icecast drops the source (10 s).
  EXPECT_TRUE(WaitChecking(
      slot, [&] { return slot.StreamStatus() == "No data for 5 s, reconnecting..."; }, 15s))
      << slot.StreamStatus();
  ASSERT_TRUE(WaitChecking(
      slot, [&] { return fIcecast->Status().find("/paused.mp3") == std::string::npos; }, 30s))
      << "Icecast drops the paused source";
  // A source that was paused that long is dead once resumed: a new one takes the mount.
  source->Signal(SIGCONT);
  source = fIcecast->StartSource("/paused.mp3", TIcecastServer::kMP3);
  ASSERT_TRUE(fIcecast->WaitForMount("/paused.mp3"));
  EXPECT_TRUE(WaitChecking(
      slot, [&] { return slot.StreamChannel() != 0; }, 15s))
      << slot.StreamStatus();
  ExpectCountedGap(slot, 10.0);
  // Icecast may hand a listener of the paused source a moment of audio; a connection that never played is part
  // of the same outage.
  EXPECT_EQ(CountLog("Stream stalled: no data for 5 s, reconnecting"), 1u) << JoinedLog();
}

// Relays an Icecast mount (--upstream) to every listener. The first listener gets --seconds of it; then its
// connection stalls (--mode stall: kept open, nothing sent) or is closed (--mode close). Later listeners get it
// all. The folder's file "connections" counts the listeners.
const char* const kFaultyRelay = R"PY(
import argparse, os, socket, threading, time, urllib.request
p = argparse.ArgumentParser()
p.add_argument('--port', type=int); p.add_argument('--folder'); p.add_argument('--upstream')
p.add_argument('--mode'); p.add_argument('--seconds', type=float)
a, _ = p.parse_known_args()
def serve(conn, first):
    try:
        conn.recv(65536)
        upstream = urllib.request.urlopen(a.upstream, timeout=10)
        conn.sendall(b'HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n')
        start = time.monotonic()
        while not first or time.monotonic() - start < a.seconds:
            data = upstream.read1(4096)
            if not data:
                break
            conn.sendall(data)
        while first and a.mode == 'stall':
            time.sleep(3600)
    except OSError:
        pass
    conn.close()
server = socket.create_server(('127.0.0.1', a.port))
open(os.path.join(a.folder, 'ready'), 'w').close()
count = 0
while True:
    conn, _ = server.accept()
    count += 1
    with open(os.path.join(a.folder, 'connections'), 'w') as f:
        f.write(str(count))
    threading.Thread(target=serve, args=(conn, count == 1), daemon=True).start()
)PY";

TEST_F(SlotInputStream, AServerThatStallsOrClosesMidStreamIsReconnectedAndItsGapCounted)
{
  TAudioEngine::SetConfig(cfNetTimeout, 2000);
  const struct
  {
    const char* Mode;
    const char* Log;
    double Gap; // at least
  } cases[] = {
      {"stall", "Stream stalled: no data for 2 s, reconnecting", 2.0},
      {"close", "Stream ended by the server, reconnecting", 0.5},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
  {
    SCOPED_TRACE(cases[i].Mode);
    TPythonTestServer relay("relay", kFaultyRelay,
                            {"--upstream", fIcecast->URL("/radio.mp3"), "--mode", cases[i].Mode, "--seconds", "3"},
                            false);
    TSlotInfo& slot = StartSlot(int(i), "http://127.0.0.1:" + std::to_string(relay.Port()) + "/live.mp3");
    slot.CycleEncoder();
    ASSERT_TRUE(WaitChecking(
        slot, [&] { return CountLog(cases[i].Log) == 1; }, 20s));
    ASSERT_TRUE(WaitChecking(
        slot, [&] { return slot.StreamChannel() != 0 && ReadTextFile(relay.Folder() + "/connections") == "2"; }, 15s))
        << slot.StreamStatus();
    ExpectCountedGap(slot, cases[i].Gap);
    slot.StopRecording();
    EXPECT_EQ(CountLog(cases[i].Log), 1u) << JoinedLog();
  }
}

TEST_F(SlotInputStream, AHostilePlaylistNeitherHoldsItsSlotLongNorHoldsUpAHealthySlot)
{
  THttpTestServer http;
  TFileServer files;
  TAudioEngine::SetConfig(cfNetTimeout, 1000);
  std::string playlist;
  for (int i = 0; i < 60; ++i)
    playlist += http.URL("/hang") + "\n";
  files.Write("hostile.m3u", playlist);
  auto source = fIcecast->StartSource("/healthy.mp3", TIcecastServer::kMP3);
  ASSERT_TRUE(fIcecast->WaitForMount("/healthy.mp3"));
  TSlotInfo& healthy = StartSlot(1, fIcecast->URL("/healthy.mp3"));
  ASSERT_TRUE(WaitUntil([&] { return healthy.StreamChannel() != 0; }, 10s)) << healthy.StreamStatus();

  TSlotInfo& hostile = StartSlot(0, files.URL("/hostile.m3u"));
  ASSERT_FALSE(http.WaitForRequests(1, 10s).empty());
  // The healthy slot loses its station and reconnects while the hostile one works through its entries.
  source.reset();
  ASSERT_TRUE(WaitUntil([&] { return healthy.StreamChannel() == 0; }, 15s));
  source = fIcecast->StartSource("/healthy.mp3", TIcecastServer::kMP3);
  ASSERT_TRUE(fIcecast->WaitForMount("/healthy.mp3"));
  EXPECT_TRUE(WaitUntil([&] { return healthy.StreamChannel() != 0; }, 10s)) << healthy.StreamStatus();

  // One attempt of the hostile slot ends after a few time-outs, not after one per entry.
  EXPECT_TRUE(WaitUntil([&] { return hostile.StreamStatus() == BassErrorText(ecTimeout); }, 10s))
      << hostile.StreamStatus();
  hostile.StopRecording();
  EXPECT_LT(http.Requests().size(), 60u);
}
