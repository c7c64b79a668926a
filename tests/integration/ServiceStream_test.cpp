// Stream slots in the running service: three stations (one healthy on a real Icecast, one that never answers, one
// that refuses) record side by side; the healthy one's titles reach the JSON interface, the others show their
// errors there without a word in the log, and the program ends promptly with all three.

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
} // namespace
