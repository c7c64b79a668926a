#include "lib/Errors.h"
#include "lib/SimpleSQL.h"
#include "slots/SlotDatabase.h"
#include "slots/SlotInfo.h"
#include "support/SettingsTempFolder.h"
#include "support/SlotSettingsEdit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

namespace
{
class SlotDatabaseTest : public ::testing::Test
{
protected:
  std::unique_ptr<TSlotInfo> MakeSlot(int iIndex, const std::string& iGeneral = "", const std::string& iSlot = "")
  {
    TSettingsTempFolder::WriteFile(fFile, "[General]\n" + iGeneral + "[Slot" + std::to_string(iIndex) + "]\n" +
                                              "Folder=" + fFolder / "rec" + "\n" + iSlot);
    fIni = std::make_unique<TIniFile>(fFile);
    auto slot = std::make_unique<TSlotInfo>(*fIni, iIndex, false);
    slot->SetOnLogMessage([this](TSlotInfo*, const std::string& iMessage) { fLog.push_back(iMessage); });
    return slot;
  }
  // Every row as "id|starttime|duration|filename", NULL shown as "NULL".
  std::vector<std::string> Rows(TSlotInfo& iSlot)
  {
    const auto rows = iSlot.GetDatabaseConnection()
                          ->PrepareStatement("SELECT id, starttime, duration, filename FROM recordings ORDER BY id")
                          ->ExecuteQueryPrepared();
    std::vector<std::string> result;
    while (rows->Next())
    {
      std::ostringstream duration;
      if (rows->IsNull(3))
        duration << "NULL";
      else
        duration << rows->GetFloat(3);
      result.push_back(rows->GetString(1) + "|" + rows->GetString(2) + "|" + duration.str() + "|" + rows->GetString(4));
    }
    return result;
  }

  TSettingsTempFolder fFolder;
  std::string fFile = fFolder / "Tapevault.ini";
  std::unique_ptr<TIniFile> fIni;
  std::vector<std::string> fLog;
};

TEST_F(SlotDatabaseTest, TheThreeLocations)
{
  struct TCase
  {
    int Index;
    std::string General;
    std::string Slot;
    std::string Expected;
  };
  const TCase cases[] = {
      {2, "", "", fFolder / "rec/Tapevault.db"},
      {0, "DatabaseFolder=" + fFolder / "db" + "\n", "", fFolder / "db/Tapevault_0.db"},
      {1, "DatabaseFolder=" + fFolder / "db/" + "\n", "", fFolder / "db/Tapevault_1.db"},
      {1, "DatabaseFolder=" + fFolder / "db" + "\n", "DatabaseFile=" + fFolder / "own/slot.db" + "\n",
       fFolder / "own/slot.db"},
  };
  for (const TCase& c : cases)
  {
    const auto slot = MakeSlot(c.Index, c.General, c.Slot);
    EXPECT_EQ(slot->DatabasePath(), c.Expected);
    slot->GetDatabaseConnection();
    EXPECT_TRUE(TSettingsTempFolder::Exists(c.Expected)) << "folders and file created: " << c.Expected;
  }
  EXPECT_EQ(DatabaseConnectionText("/x/y.db"),
            "DriverID=SQLite;Database=\"/x/y.db\";Synchronous=ON;OpenMode=CreateUTF8;SharedCache=False;"
            "LockingMode=Normal;StringFormat=Unicode;DateTimeFormat=String;");
}

TEST_F(SlotDatabaseTest, AFileIsRegisteredAndFinished)
{
  const auto slot = MakeSlot(0);
  slot->RegisterRecording("2024\\05\\17\\news2024-05-17-14-00-00.mp3");
  EXPECT_EQ(slot->CurrentRecordingID(), 1);
  auto rows = Rows(*slot);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_THAT(rows[0], ::testing::MatchesRegex(
                           "1\\|[0-9]{4}-[0-9]{2}-[0-9]{2}( [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3})?\\|NULL\\|"
                           "2024/05/17/news2024-05-17-14-00-00\\.mp3"));
  slot->StoreRecordingEnd(slot->CurrentRecordingID(), 3599.75, 0, 0, "");
  rows = Rows(*slot);
  EXPECT_THAT(rows[0], ::testing::EndsWith("|3599.75|2024/05/17/news2024-05-17-14-00-00.mp3"));
  EXPECT_TRUE(fLog.empty());
}

TEST_F(SlotDatabaseTest, IdsAreNeverReused)
{
  const auto slot = MakeSlot(0);
  for (const char* name : {"a.mp3", "b.mp3", "c.mp3"})
    slot->RegisterRecording(name);
  EXPECT_EQ(slot->CurrentRecordingID(), 3);
  slot->GetDatabaseConnection()->PrepareStatement("DELETE FROM recordings WHERE id >= 2")->ExecuteUpdatePrepared();
  slot->RegisterRecording("d.mp3");
  EXPECT_EQ(slot->CurrentRecordingID(), 4);
}

TEST_F(SlotDatabaseTest, AnOlderDatabaseGetsTheDropoutColumnsAndKeepsItsRows)
{
  const std::string database = fFolder / "old.db";
  const auto old = CreateSQLConnection(DatabaseConnectionText(database));
  old->PrepareStatement("CREATE TABLE recordings (id INTEGER PRIMARY KEY AUTOINCREMENT, starttime TIMESTAMP NOT "
                        "NULL, duration REAL DEFAULT NULL, filename VARCHAR NOT NULL)")
      ->ExecuteUpdatePrepared();
  old->PrepareStatement("INSERT INTO recordings (starttime, duration, filename) VALUES ('2024-05-17', 60, 'a.mp3')")
      ->ExecuteUpdatePrepared();
  const auto slot = MakeSlot(0, "", "DatabaseFile=" + database + "\n");
  slot->RegisterRecording("b.mp3");
  slot->StoreRecordingEnd(slot->CurrentRecordingID(), 30.5, 0.35, 2, "12.00+0.20,20.50+0.15");
  const auto rows = slot->GetDatabaseConnection()
                        ->PrepareStatement("SELECT filename, duration, dropouts, dropoutcount, "
                                           "IFNULL(dropoutmarks, 'none') FROM recordings ORDER BY id")
                        ->ExecuteQueryPrepared();
  std::vector<std::string> text;
  while (rows->Next())
    text.push_back(rows->GetString(1) + " " + rows->GetString(2) + " " + rows->GetString(3) + " " + rows->GetString(4) +
                   " " + rows->GetString(5));
  EXPECT_THAT(text, ::testing::ElementsAre("a.mp3 60 0 0 none", "b.mp3 30.5 0.35 2 12.00+0.20,20.50+0.15"));
}

TEST_F(SlotDatabaseTest, OpeningErrorsReachTheCaller)
{
  const std::string notADatabase = fFolder / "text.db";
  TSettingsTempFolder::WriteFile(notADatabase, "this is no database, just some text that fills the header page");
  const auto slot = MakeSlot(0, "", "DatabaseFile=" + notADatabase + "\n");
  EXPECT_THROW(slot->RegisterRecording("a.mp3"), std::exception);
  EXPECT_EQ(slot->CurrentRecordingID(), 0);
  EditSlotSettings(*slot, [&](TSlotSettings& ioSettings) { ioSettings.Output.DatabaseFile = "bare.db"; });
  EXPECT_THROW(slot->GetDatabaseConnection(), ESQLError) << "a path without a folder";
  EXPECT_FALSE(TSettingsTempFolder::Exists("bare.db"));
}
} // namespace
