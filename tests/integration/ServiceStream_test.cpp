// Stream slots in the running service: three stations (one healthy on a real Icecast, one that never answers, one
// that refuses) record side by side; the healthy one's titles reach the JSON interface, the others show their
// errors there without a word in the log, and the program ends promptly with all three. A station whose source
// stalls is shown, logged once, reconnected, and its gap counted in the metrics.

#include "ServiceTestRoot.h"
#include "support/HttpTestServer.h"
#include "support/IcecastServer.h"
#include "support/Wait.h"
#include "support/WebClient.h"

#include <csignal>
#include <gtest/gtest.h>

namespace
{
using namespace servicetest;

TEST(ServiceStream, ThreeStreamSlotsRecordShowTheirStateAndEndPromptly)
{
  TIcecastServer icecast;
  const auto source = icecast.StartSource("/radio.mp3", TIcecastServer::kMP3);
  ASSERT_TRUE(icecast.WaitForMount("/radio.mp3"));
  ASSERT_TRUE(icecast.SetTitle("/radio.mp3", "Morning - Show"));
  THttpTestServer silent;
  const std::string refused = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/";
  const std::vector<std::string> urls{icecast.URL("/radio.mp3"), silent.URL("/hang"), refused};
  const int port = FreeLoopbackPort();
  TServiceRoot root;
  std::string config = "[General]\nSlotCount=3\n\n[Webserver]\nEnabled=on\nAnonymousAccess=ReadOnly\nPort=127.0.0.1:" +
                       std::to_string(port) + "\n";
  for (size_t i = 0; i < urls.size(); ++i)
    config += "\n[Slot" + std::to_string(i) + "]\nSource=Stream\nStreamURL=" + urls[i] +
              "\nFormat=wav16\nCueSheet=on\nFolder=" + root / ("Slot" + std::to_string(i)) + "\n";
  root.WriteConfig(config);
  const auto program = root.Start();
  ASSERT_TRUE(program->WaitForLine("Slot 1: Stream connected: " + urls[0], StartTimeout)) << program->Output();
  for (const std::string& url : urls)
    EXPECT_FALSE(program->MatchingLines("Recording from " + url).empty()) << program->Output();

  const auto text = [&](const std::string& iPath) { return WebGet(uint16_t(port), iPath).Body; };
  ASSERT_TRUE(WaitUntil([&] { return text("/ws/slots/0/currenttitle") == "Morning - Show"; }, 15s));
  ASSERT_TRUE(icecast.SetTitle("/radio.mp3", "Evening - News"));
  ASSERT_TRUE(WaitUntil([&] { return text("/ws/slots/0/currenttitle") == "Evening - News"; }, 15s));
  EXPECT_LE(std::stoi(text("/ws/slots/0/lastmetadata")), 1);
  ASSERT_TRUE(WaitUntil(
      [&] {
        return text("/ws/slots").find("\"no internet connection could be opened (BASS error 32)\"") !=
               std::string::npos;
      },
      10s))
      << text("/ws/slots");
  EXPECT_TRUE(program->MatchingLines("BASS error").empty()) << "failed attempts are not logged";

  const auto stopping = std::chrono::steady_clock::now();
  program->Signal(SIGTERM);
  ASSERT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, 10s);
}

TEST(ServiceStream, AStalledSourceIsShownLoggedOnceReconnectedAndItsGapCounted)
{
  TIcecastServer icecast;
  auto source = icecast.StartSource("/radio.mp3", TIcecastServer::kMP3);
  ASSERT_TRUE(icecast.WaitForMount("/radio.mp3"));
  TServiceRoot root;
  root.WriteConfig("[General]\nSlotCount=1\n\n[Webserver]\nEnabled=on\nAnonymousAccess=ReadOnly\nPort=127.0.0.1:0\n\n"
                   "[Slot0]\nSource=Stream\nStreamURL=" +
                   icecast.URL("/radio.mp3") + "\nFormat=wav16\nFolder=" + root / "Slot0" + "\n");
  const auto program = root.Start();
  const uint16_t port = program->WebServerPort(StartTimeout);
  ASSERT_NE(port, 0) << program->Output();
  ASSERT_TRUE(program->WaitForLine("Slot 1: Stream connected: ", StartTimeout)) << program->Output();
  const auto text = [&](const std::string& iPath) { return WebGet(port, iPath).Body; };
  // A sample of the metrics, -1 when it is missing.
  const auto sample = [&](const std::string& iSeries)
  {
    const std::string metrics = text("/metrics");
    const size_t at = metrics.find("\n" + iSeries + " ");
    return at == std::string::npos ? -1.0 : std::stod(metrics.substr(at + iSeries.size() + 2));
  };
  const std::string dropoutSeconds = "tapevault_slot_dropout_seconds_total{slot=\"0\"}";
  // The tone (-21.5 dBFS) is recorded: silence before the stream's first audio would be no dropout.
  ASSERT_TRUE(WaitUntil([&] { return sample("tapevault_slot_level{slot=\"0\",channel=\"left\"}") > 0.05; }, 15s))
      << text("/metrics");
  EXPECT_EQ(sample(dropoutSeconds), 0) << text("/metrics");

  // Icecast drops a paused source after 10 s; the program gives up on it after its own 5 s time-out.
  source->Signal(SIGSTOP);
  EXPECT_TRUE(WaitUntil(
      [&] { return text("/ws/slots").find("\"No data for 5 s, reconnecting...\"") != std::string::npos; }, 15s))
      << text("/ws/slots");
  ASSERT_TRUE(WaitUntil([&] { return icecast.Status().find("/radio.mp3") == std::string::npos; }, 30s));
  source->Signal(SIGCONT);
  source = icecast.StartSource("/radio.mp3", TIcecastServer::kMP3);
  ASSERT_TRUE(icecast.WaitForMount("/radio.mp3"));
  EXPECT_TRUE(WaitUntil([&] { return sample(dropoutSeconds) > 10; }, 20s)) << text("/metrics");
  EXPECT_TRUE(program->WaitForLine("Slot 1: .* s of audio dropped: the input delivered nothing", 1s))
      << program->Output();
  EXPECT_EQ(program->MatchingLines("Slot 1: Stream stalled: no data for 5 s, reconnecting").size(), 1u)
      << program->Output();

  program->Signal(SIGTERM);
  EXPECT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();
}
} // namespace
