#include "lib/DateTime.h"
#include "lib/TimeZoneScope.h"
#include "slots/SlotInfo.h"
#include "support/SettingsTempFolder.h"
#include "support/SlotSettingsEdit.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace
{
constexpr int64_t GiB = 1024LL * 1024 * 1024;

class SlotCleanupTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    // The database lies outside the recordings folder, so that the folder can become empty.
    TSettingsTempFolder::WriteFile(fFile, "[General]\nDatabaseFolder=" + fFolder / "db" +
                                              "\n[Slot0]\nFolder=" + fRecordings + "\n");
    fIni = std::make_unique<TIniFile>(fFile);
    fSlot = std::make_unique<TSlotInfo>(*fIni, 0, false);
    fSlot->SetOnLogMessage([this](TSlotInfo*, const std::string& iMessage) { fLog.push_back(iMessage); });
    fSlot->SetFreeSpaceFunction([this](const std::string&) { return fFree; });
  }
  // Adds a row started iAgeDays ago (local time), with a file of that name unless iCreateFile is false.
  void AddRecording(const std::string& iStoredName, double iAgeDays, bool iCreateFile = true)
  {
    AddRow(iStoredName, Now() - iAgeDays);
    if (iCreateFile)
      TSettingsTempFolder::WriteFile(fRecordings + "/" + iStoredName, "audio");
  }
  void AddRow(const std::string& iStoredName, TDateTime iStart)
  {
    const auto insert = fSlot->GetDatabaseConnection()->PrepareStatement(
        "INSERT INTO recordings (starttime, filename) VALUES (:starttime, :filename)");
    insert->SetTimestampByName("starttime", iStart);
    insert->SetStringByName("filename", iStoredName);
    insert->ExecuteUpdatePrepared();
  }
  std::vector<std::string> StoredNames()
  {
    const auto rows = fSlot->GetDatabaseConnection()
                          ->PrepareStatement("SELECT filename FROM recordings ORDER BY id")
                          ->ExecuteQueryPrepared();
    std::vector<std::string> result;
    while (rows->Next())
      result.push_back(rows->GetString(1));
    return result;
  }
  std::string Full(const std::string& iName) const { return fRecordings + "/" + iName; }

  TSettingsTempFolder fFolder;
  std::string fFile = fFolder / "Tapevault.ini";
  std::string fRecordings = fFolder / "rec";
  std::unique_ptr<TIniFile> fIni;
  std::unique_ptr<TSlotInfo> fSlot;
  std::vector<std::string> fLog;
  int64_t fFree = 100 * GiB;
};

using ::testing::ElementsAre;

TEST_F(SlotCleanupTest, ByAgeComparesTheLocalStartWithTheUTCClock)
{
  // Three hours east of UTC the effective limit is three hours longer.
  const TTimeZoneScope zone("<+03>-3");
  EditSlotSettings(*fSlot, [&](TSlotSettings& ioSettings) { ioSettings.Cleanup.SpaceEnabled = false; });
  AddRecording("2023/01/01/kept.mp3", 365 + 2.0 / 24);
  AddRecording("2022/12/31/deleted.mp3", 365 + 4.0 / 24);
  AddRecording("recent.mp3", 1);
  AddRow("midnight.mp3", EncodeDate(2020, 1, 1));
  TSettingsTempFolder::WriteFile(Full("midnight.mp3"), "audio");
  const auto stored = fSlot->GetDatabaseConnection()
                          ->PrepareStatement("SELECT starttime FROM recordings WHERE filename='midnight.mp3'")
                          ->ExecuteQueryPrepared();
  ASSERT_TRUE(stored->First());
  EXPECT_EQ(stored->GetString(1), "2020-01-01") << "midnight is stored as the date alone";

  EXPECT_TRUE(fSlot->CleanUpByAge());
  EXPECT_THAT(StoredNames(), ElementsAre("2023/01/01/kept.mp3", "recent.mp3"));
  EXPECT_THAT(fLog, ElementsAre("Slot 1: Deleted " + Full("2022/12/31/deleted.mp3"),
                                "Slot 1: Deleted " + Full("midnight.mp3")));
  EXPECT_FALSE(TSettingsTempFolder::Exists(fRecordings + "/2022")) << "empty date folders are pruned";
  EXPECT_TRUE(TSettingsTempFolder::Exists(Full("2023/01/01/kept.mp3")));
  EXPECT_FALSE(fSlot->CleanUpByAge());
}

TEST_F(SlotCleanupTest, TheSlotFolderItselfIsNeverPruned)
{
  AddRecording("2024/05/17/a.mp3", 400);
  EXPECT_TRUE(fSlot->CleanUpByAge());
  EXPECT_FALSE(TSettingsTempFolder::Exists(fRecordings + "/2024"));
  EXPECT_TRUE(std::filesystem::is_directory(fRecordings));
}

TEST_F(SlotCleanupTest, BySpaceDeletesOneRecordingPerPassOldestFirst)
{
  struct TCase
  {
    int64_t Free;
    int Limit;
    bool Deletes;
  };
  const TCase cases[] = {
      {49 * GiB / 10, 5, true}, {5 * GiB, 5, false}, {5 * GiB - 1, 5, true}, {-1, 5, false}, {0, 0, false}};
  for (const TCase& c : cases)
  {
    AddRecording("new.mp3", 1);
    AddRecording("old.mp3", 2); // younger id, so deleted second although its start is older
    fFree = c.Free;
    EditSlotSettings(*fSlot, [&](TSlotSettings& ioSettings) { ioSettings.Cleanup.Space = c.Limit; });
    EXPECT_EQ(fSlot->CleanupBySpace(), c.Deletes) << c.Free;
    EXPECT_EQ(StoredNames().size(), c.Deletes ? 1u : 2u) << c.Free;
    EXPECT_EQ(StoredNames().back(), "old.mp3");
    fSlot->GetDatabaseConnection()->PrepareStatement("DELETE FROM recordings")->ExecuteUpdatePrepared();
  }
}

TEST_F(SlotCleanupTest, AnUndeletableRecordingKeepsItsRowAndTheNextOneGoes)
{
  // Tests run as root, so a non-empty folder in the file's place stands for a file that cannot be deleted.
  TSettingsTempFolder::WriteFile(Full("2024/01/01/stuck.mp3/inside"), "x");
  AddRecording("2024/01/01/stuck.mp3", 400, false);
  AddRecording("2024/01/02/next.mp3", 399);
  fFree = GiB;
  EXPECT_TRUE(fSlot->CleanupBySpace());
  EXPECT_THAT(StoredNames(), ElementsAre("2024/01/01/stuck.mp3"));
  EXPECT_THAT(fLog, ElementsAre("Slot 1: Error deleting " + Full("2024/01/01/stuck.mp3") + ": Error code 21",
                                "Slot 1: Deleted " + Full("2024/01/02/next.mp3")));
  EXPECT_FALSE(fSlot->CleanupBySpace());

  fLog.clear();
  EXPECT_TRUE(fSlot->CleanUpByAge()) << "found again at every pass";
  EXPECT_TRUE(fSlot->CleanUpByAge());
  EXPECT_EQ(fLog.size(), 2u);
  EXPECT_THAT(StoredNames(), ElementsAre("2024/01/01/stuck.mp3"));
}

TEST_F(SlotCleanupTest, MissingFilesLoseTheirRows)
{
  TSettingsTempFolder::WriteFile(Full("plain.mp3"), "a file where a folder is expected");
  AddRecording("gone.mp3", 400, false);
  AddRecording("plain.mp3/under.mp3", 400, false);
  AddRecording("2024\\05\\17\\backslashes.mp3", 400, false);
  TSettingsTempFolder::WriteFile(Full("2024/05/17/backslashes.mp3"), "audio");
  EXPECT_TRUE(fSlot->CleanUpByAge());
  EXPECT_TRUE(StoredNames().empty());
  EXPECT_THAT(fLog,
              ElementsAre("Slot 1: Warning: File was missing, deleted from database: " + Full("gone.mp3"),
                          "Slot 1: Warning: File was missing, deleted from database: " + Full("plain.mp3/under.mp3"),
                          "Slot 1: Deleted " + Full("2024/05/17/backslashes.mp3")));
}

TEST_F(SlotCleanupTest, NamesLeavingTheFolderAreNeverDeleted)
{
  const std::string outside = fFolder / "outside.mp3";
  TSettingsTempFolder::WriteFile(outside, "not ours");
  const char* names[] = {"", "./", "../outside.mp3", "2024/../../outside.mp3", "..\\outside.mp3", "/etc/passwd"};
  for (const char* name : names)
    AddRecording(name, 400, false);
  AddRow(outside, Now() - 400);
  EXPECT_TRUE(fSlot->CleanUpByAge());
  EXPECT_TRUE(StoredNames().empty());
  EXPECT_TRUE(TSettingsTempFolder::Exists(outside));
  EXPECT_TRUE(TSettingsTempFolder::Exists("/etc/passwd"));
  ASSERT_EQ(fLog.size(), std::size(names) + 1);
  EXPECT_EQ(fLog[2], "Slot 1: Warning: Invalid file name, deleted from database: ../outside.mp3");
}

TEST_F(SlotCleanupTest, BothRulesOffDeleteNothing)
{
  AddRecording("old.mp3", 400);
  fFree = 0;
  EditSlotSettings(*fSlot, [&](TSlotSettings& ioSettings) { ioSettings.Cleanup.DaysEnabled = false; });
  EditSlotSettings(*fSlot, [&](TSlotSettings& ioSettings) { ioSettings.Cleanup.SpaceEnabled = false; });
  EXPECT_FALSE(fSlot->CleanUpByAge());
  EXPECT_FALSE(fSlot->CleanupBySpace());
  EXPECT_EQ(StoredNames().size(), 1u);
}

TEST_F(SlotCleanupTest, TheRealMeasurementOfTheFreeSpace)
{
  EXPECT_GT(AvailableBytes(fFolder.Path()), 0);
  EXPECT_EQ(AvailableBytes(fFolder / "missing"), -1);
  fSlot->SetFreeSpaceFunction(AvailableBytes);
  EditSlotSettings(*fSlot, [&](TSlotSettings& ioSettings)
                   { ioSettings.Cleanup.Space = INT32_MAX; }); // far more GiB than any disk has free
  AddRecording("first.mp3", 3);
  AddRecording("second.mp3", 2);
  EXPECT_TRUE(fSlot->CleanupBySpace());
  EXPECT_THAT(StoredNames(), ElementsAre("second.mp3"));
  EXPECT_FALSE(TSettingsTempFolder::Exists(Full("first.mp3")));
  EXPECT_TRUE(fSlot->CleanupBySpace());
  EXPECT_FALSE(fSlot->CleanupBySpace());
  EditSlotSettings(*fSlot, [&](TSlotSettings& ioSettings) { ioSettings.Output.Folder = fFolder / "missing"; });
  AddRecording("third.mp3", 1, false);
  EXPECT_FALSE(fSlot->CleanupBySpace()) << "a folder that cannot be measured skips the rule";
}
} // namespace
