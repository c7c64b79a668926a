// Titles and the cue sheet of the current file: tracks only while a file is written and cue sheets are on,
// the whole sheet rewritten at each title, nothing carried into the next file.

#include "lib/TapevaultTools.h"
#include "slots/InputStreamTitles.h"
#include "support/SettingsTempFolder.h"

#include <gtest/gtest.h>

TEST(InputStreamTitles, TracksOnlyWhileAFileIsWrittenWithCueSheetsOn)
{
  TSettingsTempFolder folder;
  const std::string file = folder / "r.mp3";
  TInputStreamTitles titles(0);
  const int64_t now = static_cast<int64_t>(MillisecondClock());

  EXPECT_EQ(titles.Update("StreamTitle='Before';", true), "Before");
  EXPECT_EQ(titles.Title(), "Before");
  EXPECT_GE(titles.LastMetadataTickCount(), now);
  EXPECT_FALSE(titles.Update("StreamUrl='x';", true));
  EXPECT_EQ(titles.Title(), "Before") << "metadata without a title changes nothing";

  titles.FileStarted(file, now - 61500);
  titles.Update("StreamTitle='Off';", false);
  EXPECT_FALSE(TSettingsTempFolder::Exists(file + ".cue")) << "cue sheets off";
  titles.Update("StreamTitle='A - B';", true);
  titles.Update("StreamTitle='C';", true);
  const std::string sheet = TSettingsTempFolder::ReadFile(file + ".cue");
  EXPECT_EQ(sheet.substr(0, sheet.find("    INDEX")),
            "FILE \"r.mp3\" MP3\r\n  TRACK 01 AUDIO\r\n    TITLE \"A - B\"\r\n");
  EXPECT_NE(sheet.find("    INDEX 01 01:01:"), std::string::npos) << sheet;
  EXPECT_NE(sheet.find("  TRACK 02 AUDIO\r\n    TITLE \"C\"\r\n"), std::string::npos) << sheet;

  titles.FileEnded();
  titles.Update("StreamTitle='After';", true);
  EXPECT_EQ(TSettingsTempFolder::ReadFile(file + ".cue"), sheet) << "a title after the file ended adds no track";
  EXPECT_EQ(titles.Title(), "After");
  titles.ClearTitle();
  EXPECT_EQ(titles.Title(), "");
}
