// The cell of a real stream slot: an open stream shows its title or URL, a stream that cannot be opened shows
// the slot's stream status in red.

#include "lib/Errors.h"
#include "lib/IniFile.h"
#include "slots/SlotInfo.h"
#include "support/IcecastServer.h"
#include "support/PythonTestServer.h"
#include "support/SettingsTempFolder.h"
#include "ui/SlotCellSource.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>

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
  for (int index = 0; index < 2; ++index)
    configuration += Format("[Slot%d]\nSource=Stream\nStreamURL=%s\nFormat=none\nFolder=%s\n", index,
                            (index == 0 ? open : closed).c_str(), (folder / "rec").c_str());
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
  const TSlotCellData playing = SnapshotSlot(*recorders[0], 1.0f);
  EXPECT_TRUE(playing.StreamOpen);
  const TCellContent playingCell = BuildCellContent(playing, false);
  ASSERT_GE(playingCell.Texts.size(), 3u);
  EXPECT_EQ(playingCell.Texts[1].Text.toStdString(), playing.StreamTitle.empty() ? open : playing.StreamTitle);
  EXPECT_NE(playingCell.Texts[1].Colour, QColor(255, 0, 0));
  EXPECT_EQ(playingCell.Texts[2].Text, "No recording");
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
