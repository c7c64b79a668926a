#include "lib/DateTime.h"
#include "lib/Errors.h"
#include "lib/SimpleSQL.h"
#include "web/RecordingQueries.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace
{
// A recordings table as the slot engine keeps it, filled with exact stored texts.
class TRecordingsDatabase
{
public:
  TRecordingsDatabase()
  {
    char pattern[] = "/tmp/tapevault-queries-XXXXXX";
    fFolder = ::mkdtemp(pattern);
    fConnection = CreateSQLConnection("DriverID=SQLite;Database=\"" + (fFolder / "Tapevault.db").string() +
                                      "\";Synchronous=ON;OpenMode=CreateUTF8;SharedCache=False;"
                                      "LockingMode=Normal;StringFormat=Unicode;DateTimeFormat=String;");
    fConnection
        ->PrepareStatement("CREATE TABLE IF NOT EXISTS recordings (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                           "starttime TIMESTAMP NOT NULL, duration REAL DEFAULT NULL, filename VARCHAR NOT NULL, "
                           "dropouts REAL DEFAULT 0, dropoutcount INTEGER DEFAULT 0, dropoutmarks TEXT DEFAULT NULL)")
        ->ExecuteUpdatePrepared();
  }
  ~TRecordingsDatabase()
  {
    fConnection.reset();
    fs::remove_all(fFolder);
  }

  int Add(const std::string& iStart, std::optional<double> iDuration, const std::string& iFile = "a.mp3")
  {
    const auto insert = fConnection->PrepareStatement(
        "INSERT INTO recordings (starttime, duration, filename) VALUES (:start, :duration, :file)");
    insert->SetStringByName("start", iStart);
    if (iDuration)
      insert->SetFloatByName("duration", *iDuration);
    else
      insert->SetNullByName("duration", ftFloat);
    insert->SetStringByName("file", iFile);
    insert->ExecuteUpdatePrepared();
    return static_cast<int>(fConnection->LastInsertRowID());
  }

  ISQLConnection& Connection() { return *fConnection; }

private:
  fs::path fFolder;
  ISQLConnectionRef fConnection;
};
} // namespace

TEST(RecordingQueries, StatsOfAnEmptyTable)
{
  TRecordingsDatabase database;
  EXPECT_EQ(StatsJSON(database.Connection()), "{\r\n \"count\": 0\r\n}");
}

TEST(RecordingQueries, StatsOfAFilledTable)
{
  TRecordingsDatabase database;
  database.Add("2024-03-15 13:00:00.012", 3600);
  database.Add("2024-03-16", 10);
  database.Add("2023-12-31 23:59:59.999", std::nullopt);
  EXPECT_EQ(StatsJSON(database.Connection()),
            "{\r\n \"oldest\": \"12\\/31\\/2023 23:59:59\",\r\n \"newest\": \"03\\/16\\/2024 00:00:00\",\r\n"
            " \"count\": 3\r\n}");
}

TEST(RecordingQueries, CalendarEventsAcrossDaylightSavingChanges)
{
  ASSERT_STREQ(std::getenv("TZ"), "Europe/Berlin");
  TRecordingsDatabase database;
  database.Add("2024-03-31 01:00:00.000", 3600, "2024\\03\\31\\news2024-03-31-01-00-00.mp3");
  database.Add("2024-03-31 02:30:00.000", 1800, "skipped-hour.mp3");
  database.Add("2024-03-31 03:00:00.000", 3599.98367346939, "2024/03/31/summer.mp3");
  database.Add("2024-10-27 02:30:00.000", 1800, "repeated-hour.mp3");
  database.Add("2024-10-27 05:00:00.000", std::nullopt, "abandoned.mp3");
  const int current = database.Add("2024-10-27 06:00:00.500", std::nullopt, "current.mp3");
  database.Add("2024-11-01", 60, "outside.mp3");

  const std::string json =
      CalendarEventsJSON(database.Connection(), EncodeDateTime(2024, 3, 1, 0, 0, 0, 0),
                         EncodeDateTime(2024, 11, 1, 0, 0, 0, 0), TCurrentRecording{current, 1234.5f}, "News");
  auto event = [](int iID, const char* iStart, const char* iEnd, const char* iFile)
  {
    return std::string("{\r\n  \"end\": \"") + iEnd + "\",\r\n  \"filename\": \"" + iFile +
           "\",\r\n  \"id\": " + std::to_string(iID) + ",\r\n  \"title\": \"News\",\r\n  \"start\": \"" + iStart +
           "\"\r\n }";
  };
  EXPECT_EQ(json, "[\r\n " +
                      event(1, "2024-03-31T00:00:00.000Z", "2024-03-31T01:00:00.000Z", "news2024-03-31-01-00-00.mp3") +
                      "," + event(3, "2024-03-31T01:00:00.000Z", "2024-03-31T01:59:59.984Z", "summer.mp3") + "," +
                      event(4, "2024-10-27T01:30:00.000Z", "2024-10-27T02:00:00.000Z", "repeated-hour.mp3") + "," +
                      event(current, "2024-10-27T05:00:00.500Z", "2024-10-27T05:20:35.000Z", "current.mp3") + "]");
}

TEST(RecordingQueries, CalendarEventsTellTheDropoutsOfAFile)
{
  TRecordingsDatabase database;
  const int id = database.Add("2024-05-17 14:00:00.000", 3600, "gaps.mp3");
  database.Connection()
      .PrepareStatement("UPDATE recordings SET dropouts=12.35, dropoutcount=2, "
                        "dropoutmarks='60.00+12.00,nonsense,1e999+1,3000.50+0.35'")
      ->ExecuteUpdatePrepared();
  const std::string json = CalendarEventsJSON(database.Connection(), EncodeDateTime(2024, 5, 17, 0, 0, 0, 0),
                                              EncodeDateTime(2024, 5, 18, 0, 0, 0, 0), {}, "News");
  EXPECT_NE(json.find("\"dropouts\": 12.35"), std::string::npos) << json;
  EXPECT_NE(json.find("\"dropoutcount\": 2"), std::string::npos) << json;
  EXPECT_NE(json.find("\"id\": " + std::to_string(id)), std::string::npos) << json;
  // Marks that do not read as two finite numbers are left out.
  EXPECT_NE(json.find("\"dropoutmarks\": [\r\n   [\r\n    60,12],[\r\n    3000.5,0.35]]"), std::string::npos) << json;
}

TEST(RecordingQueries, CalendarWithoutRowsIsAnEmptyArray)
{
  TRecordingsDatabase database;
  EXPECT_EQ(CalendarEventsJSON(database.Connection(), 0, 1, {}, "x"), "[]");
}

TEST(RecordingQueries, DayListSelectsOneLocalDay)
{
  TRecordingsDatabase database;
  database.Add("2024-03-14 23:59:59.999", 1);
  const int midnight = database.Add("2024-03-15", 3600.5);
  const int abandoned = database.Add("2024-03-15 12:00:00.000", std::nullopt);
  const int current = database.Add("2024-03-15 23:59:59.999", std::nullopt);
  database.Add("2024-03-16", 1);
  const std::string json =
      DayListJSON(database.Connection(), EncodeDate(2024, 3, 15), TCurrentRecording{current, 12.25f});
  auto entry = [](int iID, const char* iTime, const char* iDuration)
  {
    return std::string("{\r\n  \"Duration\": ") + iDuration + ",\r\n  \"ID\": " + std::to_string(iID) +
           ",\r\n  \"Time\": \"" + iTime + "\"\r\n }";
  };
  EXPECT_EQ(json, "[\r\n " + entry(midnight, "2024-03-15T00:00:00", "3600.5") + "," +
                      entry(abandoned, "2024-03-15T12:00:00", "null") + "," +
                      entry(current, "2024-03-15T23:59:59", "12.25") + "]");
}

TEST(RecordingQueries, FileNameOfARecording)
{
  TRecordingsDatabase database;
  const int id = database.Add("2024-03-15 10:00:00.000", 1, "2024\\03\\15\\x.mp3");
  EXPECT_EQ(RecordingFileName(database.Connection(), id), "2024\\03\\15\\x.mp3");
  EXPECT_EQ(RecordingFileName(database.Connection(), id + 1), std::nullopt);
  EXPECT_EQ(StoredFileNamePart("2024\\03\\15\\x.mp3"), "x.mp3");
  EXPECT_EQ(StoredFileNamePart("2024/03/15/y.mp3"), "y.mp3");
  EXPECT_EQ(StoredFileNamePart("C:z.mp3"), "z.mp3");
  EXPECT_EQ(StoredFileNamePart("plain.mp3"), "plain.mp3");
}
