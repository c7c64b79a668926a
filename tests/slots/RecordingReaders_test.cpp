#include "lib/SimpleSQL.h"
#include "slots/RecordingReaders.h"
#include "slots/SlotDatabase.h"
#include "support/SettingsTempFolder.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace
{
int RowCount(ISQLConnection& iConnection)
{
  const auto rows = iConnection.PrepareStatement("SELECT COUNT(*) FROM recordings")->ExecuteQueryPrepared();
  return rows->First() ? rows->GetInt(1) : -1;
}

void AddRow(const std::string& iPath)
{
  OpenSlotDatabase(iPath)
      ->PrepareStatement("INSERT INTO recordings (starttime, filename) VALUES ('2024-01-01 00:00:00.000', 'a.wav')")
      ->ExecuteUpdatePrepared();
}
} // namespace

TEST(RecordingReaders, ConnectionsAreReusedWhileTheyNameTheSameFile)
{
  TSettingsTempFolder folder;
  const std::string path = folder / "one/Tapevault.db";
  int opened = 0;
  const auto readers = std::make_shared<TRecordingReaders>(
      [&opened](const std::string& iPath)
      {
        ++opened;
        return OpenSlotDatabase(iPath);
      });

  ISQLConnection* first = nullptr;
  {
    const ISQLConnectionRef connection = readers->Take(path);
    first = connection.get();
    EXPECT_EQ(RowCount(*connection), 0);
  }
  AddRow(path);
  {
    const ISQLConnectionRef again = readers->Take(path);
    EXPECT_EQ(again.get(), first) << "given back and taken again";
    EXPECT_EQ(RowCount(*again), 1) << "sees what others wrote since";
    const ISQLConnectionRef second = readers->Take(path);
    EXPECT_NE(second.get(), first) << "two requests at once get two connections";
  }
  EXPECT_EQ(opened, 2);

  // A database replaced by another file, and another path, get connections of their own.
  const std::string other = folder / "two/Tapevault.db";
  AddRow(other);
  AddRow(other);
  ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
  EXPECT_EQ(RowCount(*readers->Take(path)), 2);
  EXPECT_EQ(RowCount(*readers->Take(folder / "three/Tapevault.db")), 0);
  EXPECT_EQ(opened, 4);
}

TEST(RecordingReaders, NewDatabasesGetTheStartTimeIndex)
{
  TSettingsTempFolder folder;
  const ISQLConnectionRef connection = OpenSlotDatabase(folder / "Tapevault.db");
  const auto plan = connection
                        ->PrepareStatement("EXPLAIN QUERY PLAN SELECT id FROM recordings WHERE starttime >= "
                                           "'2024-01-01' AND starttime < '2024-01-08'")
                        ->ExecuteQueryPrepared();
  ASSERT_TRUE(plan->First());
  EXPECT_NE(plan->GetString(4).find("recordings_starttime"), std::string::npos) << plan->GetString(4);
}
