// The outgoing stream in the running service: a stream slot re-sends what it records to a real Icecast, the
// controller's title timer sends the title file's line whenever the file changes, and the JSON interface shows
// the stream's state.

#include "ServiceTestRoot.h"
#include "support/IcecastServer.h"
#include "support/Wait.h"
#include "support/WebClient.h"

#include <csignal>
#include <gtest/gtest.h>
#include <regex>

namespace
{
using namespace servicetest;

TEST(ServiceStreaming, AStreamSlotCastsWithTheTitleFileAndShowsItsState)
{
  TIcecastServer icecast;
  const auto source = icecast.StartSource("/radio.mp3", TIcecastServer::kMP3);
  ASSERT_TRUE(icecast.WaitForMount("/radio.mp3"));
  const int port = FreeLoopbackPort();
  TServiceRoot root;
  const std::string titleFile = root / "title.txt";
  TSettingsTempFolder::WriteFile(titleFile, "Morning - Show\n");
  root.WriteConfig("[General]\nSlotCount=1\n\n[Webserver]\nEnabled=on\nAnonymousAccess=ReadOnly\nPort=127.0.0.1:" +
                   std::to_string(port) + "\n\n[Slot0]\nSource=Stream\nStreamURL=" + icecast.URL("/radio.mp3") +
                   "\nFormat=mp3\nStreamingOnly=on\nStreamingEnabled=on\nStreamingHost=127.0.0.1\nStreamingPort=" +
                   std::to_string(icecast.Port()) +
                   "\nStreamingMountPoint=/out.mp3\nStreamingPassword=" + TIcecastServer::kSourcePassword +
                   "\nStreamingTitleFilename=" + titleFile + "\nFolder=" + root / "Slot0" + "\n");
  const auto program = root.Start();
  const std::string address = "127.0.0.1:" + std::to_string(icecast.Port()) + "/out.mp3";
  ASSERT_TRUE(program->WaitForLine("Slot 1: Encoder connected to " + address, StartTimeout)) << program->Output();

  const auto outgoingTitle = [&](const std::string& iTitle)
  {
    const std::regex title("\"listenurl\":\"[^\"]*/out\\.mp3\"[^{}]*\"title\":\"" + iTitle + "\"");
    return WaitUntil([&] { return std::regex_search(icecast.Status(), title); }, 15s);
  };
  EXPECT_TRUE(outgoingTitle("Morning - Show")) << icecast.Status();
  TSettingsTempFolder::WriteFile(titleFile, "Evening - News\n");
  EXPECT_TRUE(outgoingTitle("Evening - News")) << icecast.Status();

  const std::string slots = WebGet(uint16_t(port), "/ws/slots").Body;
  EXPECT_NE(slots.find("\"Streaming\": \"connected\""), std::string::npos) << slots;
  EXPECT_NE(slots.find("\"StreamingMessage\": \"127.0.0.1:" + std::to_string(icecast.Port()) + "\\/out.mp3\""),
            std::string::npos)
      << slots;

  program->Signal(SIGTERM);
  ASSERT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();
}
} // namespace
