// The cell of real stream slots against a real Icecast: an open stream shows its title or URL and the state of the
// slot's outgoing stream; a stream that cannot be opened shows the slot's stream status in red.

#include "lib/Errors.h"
#include "lib/IniFile.h"
#include "slots/SlotInfo.h"
#include "support/IcecastServer.h"
#include "support/PythonTestServer.h"
#include "support/SettingsTempFolder.h"
#include "support/Wait.h"
#include "ui/SlotCellSource.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <regex>
#include <thread>

using namespace std::chrono_literals;

namespace
{
TEST(SlotCellSourceTest, StreamInputOpenAndFailing)
{
  TIcecastServer icecast;
  auto source = icecast.StartSource("/radio.mp3", TIcecastServer::kMP3);
  ASSERT_TRUE(icecast.WaitForMount("/radio.mp3"));
  const std::string open = icecast.URL("/radio.mp3");
  const std::string closed = Format("http://127.0.0.1:%d/radio.mp3", FreeLoopbackPort());

  TSettingsTempFolder folder;
  std::string configuration;
  // Slot 0 sends what it receives on to another mount point, without recording.
  const std::string relay = Format("127.0.0.1:%d/relay.mp3", icecast.Port());
  configuration += Format("[Slot0]\nSource=Stream\nStreamURL=%s\nFormat=mp3\nStreamingOnly=on\nStreamingEnabled=on\n"
                          "StreamingHost=127.0.0.1\nStreamingPort=%d\nStreamingPassword=%s\n"
                          "StreamingMountPoint=/relay.mp3\nFolder=%s\n",
                          open.c_str(), icecast.Port(), TIcecastServer::kSourcePassword, (folder / "rec").c_str());
  configuration += Format("[Slot1]\nSource=Stream\nStreamURL=%s\nFormat=none\nFolder=%s\n", closed.c_str(),
                          (folder / "rec").c_str());
  TSettingsTempFolder::WriteFile(folder / "Tapevault.ini", configuration);
  TIniFile ini(folder / "Tapevault.ini");
  std::vector<std::unique_ptr<TSlotInfo>> recorders;
  for (int index = 0; index < 2; ++index)
  {
    recorders.push_back(std::make_unique<TSlotInfo>(ini, index, false));
    recorders.back()->Initialize();
    recorders.back()->StartRecording();
  }

  ASSERT_TRUE(WaitUntil([&] { return recorders[0]->StreamChannel() != 0; }, 10s)) << recorders[0]->StreamStatus();
  ASSERT_TRUE(WaitUntil([&] { return recorders[0]->StreamingStatus() == ssConnected; }, 15s))
      << recorders[0]->StreamingMessage();
  std::this_thread::sleep_for(1100ms);
  const TSlotCellData playing = SnapshotSlot(*recorders[0], 1.0f);
  EXPECT_TRUE(playing.StreamOpen);
  EXPECT_GE(playing.StreamingActiveMilliseconds, 1000);
  const TCellContent playingCell = BuildCellContent(playing, false);
  ASSERT_EQ(playingCell.Texts.size(), 4u);
  EXPECT_EQ(playingCell.Texts[1].Text.toStdString(), playing.StreamTitle.empty() ? open : playing.StreamTitle);
  EXPECT_NE(playingCell.Texts[1].Colour, QColor(255, 0, 0));
  EXPECT_EQ(playingCell.Texts[2].Text, "No recording");
  EXPECT_TRUE(std::regex_match(playingCell.Texts[3].Text.toStdString(),
                               std::regex("Stream online - " + relay + R"( \[00:00:0[1-9]\])")))
      << playingCell.Texts[3].Text.toStdString();
  EXPECT_EQ(playingCell.State, csOK);

  ASSERT_TRUE(WaitUntil([&] { return !recorders[1]->StreamStatus().empty(); }, 10s));
  const TSlotCellData failing = SnapshotSlot(*recorders[1], 1.0f);
  EXPECT_FALSE(failing.StreamOpen);
  EXPECT_FALSE(failing.StreamStatus.empty());
  const TCellContent failingCell = BuildCellContent(failing, false);
  ASSERT_EQ(failingCell.Texts.size(), 2u);
  EXPECT_EQ(failingCell.Texts[1].Text.toStdString(), failing.StreamStatus);
  EXPECT_EQ(failingCell.Texts[1].Colour, QColor(255, 0, 0));
  EXPECT_EQ(failingCell.State, csError);
  for (auto& recorder : recorders)
    recorder->Destroy();
}
} // namespace
