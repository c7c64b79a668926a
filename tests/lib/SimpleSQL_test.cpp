// The SQL layer against real SQLite files in a temporary folder.
#include "lib/DateTime.h"
#include "lib/Errors.h"
#include "lib/SimpleSQL.h"
#include "lib/SimpleSQLConnection.h"
#include "lib/SimpleSQLParameters.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace
{
std::string ErrorOf(const std::function<void()>& iAction)
{
  try
  {
    iAction();
  }
  catch (const ESQLError& e)
  {
    return e.what();
  }
  return "no error";
}

class SimpleSQL : public ::testing::Test
{
protected:
  void SetUp() override
  {
    std::string pattern = (std::filesystem::temp_directory_path() / "sqltest_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    fFolder = pattern;
    fConnection = Open();
  }
  void TearDown() override
  {
    fConnection.reset();
    std::filesystem::remove_all(fFolder);
  }
  // The connection string of the recordings databases.
  std::string ConnectionString() const
  {
    return Format("DriverID=SQLite;Database=\"%s\";Synchronous=ON;OpenMode=CreateUTF8;SharedCache=False;"
                  "LockingMode=Normal;StringFormat=Unicode;DateTimeFormat=String;",
                  (fFolder / "Tapevault.db").c_str());
  }
  ISQLConnectionRef Open() const { return CreateSQLConnection(ConnectionString()); }
  int Execute(const std::string& iSQL) { return fConnection->PrepareStatement(iSQL)->ExecuteUpdatePrepared(); }
  ISQLResultSetRef Query(const std::string& iSQL)
  {
    return fConnection->PrepareStatement(iSQL)->ExecuteQueryPrepared();
  }
  std::string QueryText(ISQLConnection& iConnection, const std::string& iSQL)
  {
    auto result = iConnection.PrepareStatement(iSQL)->ExecuteQueryPrepared();
    return result->First() ? result->GetString(1) : "(no row)";
  }
  void CreateRecordings()
  {
    Execute("CREATE TABLE IF NOT EXISTS recordings (id INTEGER PRIMARY KEY AUTOINCREMENT, starttime TIMESTAMP NOT "
            "NULL, duration REAL DEFAULT NULL, filename VARCHAR NOT NULL)");
  }

  std::filesystem::path fFolder;
  ISQLConnectionRef fConnection;
};

TEST(SQLConnectionString, ItemsAndQuotedValues)
{
  const auto items = ParseConnectionString("DriverID=SQLite; database = \"/a;b/\"\"c\"\".db\" ;Synchronous=ON;");
  EXPECT_EQ(items.at("DRIVERID"), "SQLite");
  EXPECT_EQ(items.at("Database"), "/a;b/\"c\".db");
  EXPECT_EQ(items.at("synchronous"), "ON");
  EXPECT_THROW(ParseConnectionString("Database=\"/x.db"), ESQLError);
  EXPECT_THROW(ParseConnectionString("Database=x;junk;"), ESQLError);
}

TEST(SQLConnectionString, RejectsWhatItCannotHonour)
{
  const std::pair<const char*, const char*> cases[] = {
      {"DriverID=MySQL;Database=x.db", "Invalid value of connection parameter DriverID: MySQL"},
      {"Database=x.db;Pooled=True", "Unknown connection parameter: Pooled"},
      {"Database=x.db;Synchronous=ON;PRAGMA x", "Invalid connection string item: PRAGMA x"},
      {"Database=x.db;LockingMode=Normal; DROP", "Invalid connection string item: DROP"},
      {"DriverID=SQLite;", "No database named in the connection string"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ErrorOf([&] { CreateSQLConnection(c.first); }), c.second) << c.first;
  EXPECT_NE(ErrorOf([] { CreateSQLConnection("Database=\"/nonexistent-folder/x.db\""); }).find("unable to open"),
            std::string::npos);
}

TEST_F(SimpleSQL, OpeningAppliesTheSettings)
{
  const std::pair<const char*, const char*> pragmas[] = {
      {"PRAGMA encoding", "UTF-8"},     {"PRAGMA cache_size", "10000"},    {"PRAGMA locking_mode", "normal"},
      {"PRAGMA synchronous", "1"},      {"PRAGMA journal_mode", "delete"}, {"PRAGMA foreign_keys", "1"},
      {"PRAGMA read_uncommitted", "0"},
  };
  for (const auto& [sql, value] : pragmas)
    EXPECT_EQ(QueryText(*fConnection, sql), value) << sql;
  EXPECT_TRUE(std::filesystem::exists(fFolder / "Tapevault.db"));
  EXPECT_TRUE(fConnection->PingServer());
}

TEST(SQLParameterScan, NamesAndPositionsOutsideLiterals)
{
  struct TCase
  {
    const char* SQL;
    std::vector<std::string> Names;
    const char* EngineText;
  };
  const TCase cases[] = {
      {"SELECT :a, ?, :A, :b_2", {"a", "", "b_2"}, "SELECT ?1, ?2, ?1, ?3"},
      {"SELECT ':x', \":y\", [:z], `:w`, 'it''s :v' -- :u\n/* :t */ :s",
       {"s"},
       "SELECT ':x', \":y\", [:z], `:w`, 'it''s :v' -- :u\n/* :t */ ?1"},
      {"SELECT a::text, :b, ? , :", {"b", ""}, "SELECT a::text, ?1, ?2 , :"},
      {"SELECT 'open :x", {}, "SELECT 'open :x"},
  };
  for (const auto& c : cases)
  {
    const auto scan = ScanSQLParameters(c.SQL);
    EXPECT_EQ(scan.Names, c.Names) << c.SQL;
    EXPECT_EQ(scan.EngineText, c.EngineText) << c.SQL;
  }
  EXPECT_THROW(ScanSQLParameters("SELECT ?1"), ESQLError);
}

TEST_F(SimpleSQL, SettersStoreTheirForms)
{
  const TDateTime moment = EncodeDateTime(2024, 3, 15, 13, 0, 0, 12);
  struct TCase
  {
    std::function<void(ISQLPreparedStatement&)> Set;
    const char* Type;
    const char* Text;
  };
  const TCase cases[] = {
      {[](auto& s) { s.SetInt(1, -7); }, "integer", "-7"},
      {[](auto& s) { s.SetIntByName("V", 7); }, "integer", "7"},
      {[](auto& s) { s.SetString(1, "\xc3\xa9t\xc3\xa9"); }, "text", "\xc3\xa9t\xc3\xa9"},
      {[](auto& s) { s.SetMemoByName("v", "memo"); }, "text", "memo"},
      {[&](auto& s) { s.SetTimestamp(1, moment); }, "text", "2024-03-15 13:00:00.012"},
      {[](auto& s) { s.SetTimestampByName("v", EncodeDate(2024, 3, 16)); }, "text", "2024-03-16"},
      {[&](auto& s) { s.SetDate(1, moment); }, "text", "2024-03-15"},
      {[&](auto& s) { s.SetTimeByName("v", moment); }, "text", "13:00:00.012"},
      {[](auto& s) { s.SetFloat(1, 2.5); }, "real", "2.5"},
      {[](auto& s) { s.SetBinaryStream(1, std::string("a\0b", 3)); }, "blob", "a\0b"},
      {[](auto& s) { s.SetNull(1, ftString); }, "null", ""},
      {[](auto& s) { s.SetValue(1, TSQLValue(int64_t{1} << 40)); }, "integer", "1099511627776"},
      {[](auto& s) { s.SetValueByName("v", TSQLValue(std::string("x"))); }, "text", "x"},
      {[](auto& s) { s.SetValue(1, TSQLValue()); }, "null", ""},
      // A number declared as a date-time type is stored in the text form.
      {[&](auto& s)
       {
         s.SetValue(1, moment);
         s.SetFieldType(1, ftTimeStamp);
       },
       "text", "2024-03-15 13:00:00.012"},
      {[&](auto& s)
       {
         s.SetValue(1, moment);
         s.SetFieldTypeByName("v", ftDate);
       },
       "text", "2024-03-15"},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
  {
    auto statement = fConnection->PrepareStatement("SELECT typeof(:v), :v");
    cases[i].Set(*statement);
    auto result = statement->ExecuteQueryPrepared();
    ASSERT_TRUE(result->First());
    EXPECT_EQ(result->GetString(1), cases[i].Type) << i;
    EXPECT_EQ(result->GetBinaryStream(2), std::string(cases[i].Text, i == 9 ? 3 : std::strlen(cases[i].Text))) << i;
  }
}

TEST_F(SimpleSQL, ParameterBindingFailures)
{
  auto statement = fConnection->PrepareStatement("SELECT :id, :id, ?");
  statement->SetIntByName("ID", 5); // names match without regard to case; a repeated name is one parameter
  statement->SetInt(2, 6);
  auto result = statement->ExecuteQueryPrepared();
  ASSERT_TRUE(result->First());
  EXPECT_EQ(result->GetInt(1) * 10 + result->GetInt(2) + result->GetInt(3), 61);
  EXPECT_EQ(ErrorOf([&] { statement->SetFloatByName("starttime", 1); }), "Invalid param: starttime");
  EXPECT_EQ(ErrorOf([&] { statement->SetStringByName("", "x"); }), "Invalid param: ");
  EXPECT_THROW(statement->SetInt(3, 1), ESQLError);
  EXPECT_THROW(statement->SetNull(0, ftInteger), ESQLError);
  // A declared size limits the characters of a text.
  statement->SetParamSize(2, 3);
  statement->SetString(2, "\xc3\xa4\x62\x63");
  EXPECT_NO_THROW(statement->ExecuteQueryPrepared());
  statement->SetString(2, "abcd");
  EXPECT_THROW(statement->ExecuteQueryPrepared(), ESQLError);
}

TEST_F(SimpleSQL, MidnightBoundsSelectByTheStoredTexts)
{
  CreateRecordings();
  auto insert = fConnection->PrepareStatement("INSERT INTO recordings (starttime, filename) VALUES (:start, :file)");
  const std::pair<TDateTime, const char*> rows[] = {
      {EncodeDateTime(2024, 3, 15, 23, 59, 59, 999), "before"},
      {EncodeDate(2024, 3, 16), "midnight"},
      {EncodeDateTime(2024, 3, 16, 0, 0, 0, 1), "after"},
  };
  for (const auto& [start, file] : rows)
  {
    insert->SetTimestampByName("start", start);
    insert->SetStringByName("file", file);
    EXPECT_EQ(insert->ExecuteUpdatePrepared(), 1);
  }
  EXPECT_EQ(fConnection->LastInsertRowID(), 3);

  auto select = fConnection->PrepareStatement(
      "SELECT id, starttime, duration, filename FROM recordings WHERE starttime >= :start AND starttime < :end");
  select->SetTimestampByName("start", EncodeDate(2024, 3, 16));
  select->SetTimestampByName("end", EncodeDate(2024, 3, 17));
  auto result = select->ExecuteQueryPrepared();
  std::string files;
  while (result->Next())
    files += result->GetString(4) + "@" + result->GetString(2) + " ";
  EXPECT_EQ(files, "midnight@2024-03-16 after@2024-03-16 00:00:00.001 ");
  select->SetTimestampByName("start", EncodeDate(2024, 3, 15));
  select->SetTimestampByName("end", EncodeDate(2024, 3, 16));
  result = select->ExecuteQueryPrepared();
  ASSERT_TRUE(result->First());
  EXPECT_EQ(result->GetString(2), "2024-03-15 23:59:59.999");
  EXPECT_FALSE(result->Next());
}

TEST_F(SimpleSQL, DateTimeGettersReadTheStoredForms)
{
  const std::pair<const char*, TDateTime> cases[] = {
      {"'2024-03-15 13:00:00.012'", EncodeDateTime(2024, 3, 15, 13, 0, 0, 12)},
      {"'2024-03-16'", EncodeDate(2024, 3, 16)},
      {"'2024-03-15T13:00'", EncodeDateTime(2024, 3, 15, 13, 0, 0, 0)},
      {"'13:00:00.5'", EncodeTime(13, 0, 0, 500)},
      {"2460385.0", EncodeDateTime(2024, 3, 15, 12, 0, 0, 0)}, // Julian day
      {"2415018.5", 0},
      {"NULL", 0},
  };
  for (const auto& [sql, expected] : cases)
  {
    auto result = Query(std::string("SELECT ") + sql);
    ASSERT_TRUE(result->First());
    EXPECT_NEAR(result->GetTimestamp(1), expected, 1e-9) << sql;
    EXPECT_NEAR(result->GetDate(1), expected, 1e-9) << sql;
    EXPECT_NEAR(result->GetTime(1), expected, 1e-9) << sql;
  }
  auto result = Query("SELECT 'yesterday'");
  result->First();
  EXPECT_EQ(ErrorOf([&] { result->GetTimestamp(1); }), "Invalid date-time value: yesterday");
}

TEST_F(SimpleSQL, NullDefaultsAndConversions)
{
  auto result = Query("SELECT NULL, '42', ' 2.5 ', 'abc', 2.5, 3.5, 3000000000, x'00ff'");
  ASSERT_TRUE(result->First());
  EXPECT_TRUE(result->IsNull(1));
  EXPECT_EQ(result->GetInt(1), 0);
  EXPECT_EQ(result->GetFloat(1), 0.0);
  EXPECT_EQ(result->GetString(1), "");
  EXPECT_EQ(result->GetMemo(1), "");
  EXPECT_EQ(result->GetBinaryStream(1), "");
  EXPECT_EQ(result->GetTimestamp(1), 0.0);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(result->GetValue(1)));
  EXPECT_FALSE(result->IsNull(2));
  EXPECT_EQ(result->GetInt(2), 42);
  EXPECT_EQ(result->GetFloat(3), 2.5);
  EXPECT_EQ(ErrorOf([&] { result->GetInt(4); }), "Cannot convert \"abc\" to a number");
  EXPECT_EQ(result->GetInt(5), 2); // ties to the even integer
  EXPECT_EQ(result->GetInt(6), 4);
  EXPECT_EQ(result->GetString(5), "2.5");
  EXPECT_THROW(result->GetInt(7), ESQLError);
  EXPECT_EQ(std::get<TSQLBlob>(result->GetValue(8)).Bytes, std::string("\0\xff", 2));
}

TEST_F(SimpleSQL, NavigationAndRangesNeverReadOutsideTheRows)
{
  CreateRecordings();
  auto empty = Query("SELECT id FROM recordings");
  EXPECT_FALSE(empty->First());
  EXPECT_FALSE(empty->Next());
  EXPECT_THROW(empty->GetInt(1), ESQLError);
  EXPECT_EQ(empty->GetColumnCount(), 1);

  auto result = Query("SELECT 1 AS one UNION ALL SELECT 2");
  EXPECT_EQ(ErrorOf([&] { result->GetInt(1); }), "No current row");
  EXPECT_TRUE(result->Next());
  EXPECT_EQ(ErrorOf([&] { result->GetInt(2); }), "Invalid column index: 2");
  EXPECT_THROW(result->GetInt(0), ESQLError);
  EXPECT_TRUE(result->Next());
  EXPECT_EQ(result->GetInt(1), 2);
  EXPECT_FALSE(result->Next());
  EXPECT_FALSE(result->Next());
  EXPECT_THROW(result->GetInt(1), ESQLError);
  EXPECT_TRUE(result->First());
  EXPECT_EQ(result->GetInt(1), 1);
  EXPECT_EQ(result->GetColumnName(1), "one");
  EXPECT_THROW(result->GetColumnName(2), ESQLError);
}

TEST_F(SimpleSQL, ResultSetOutlivesStatementAndConnection)
{
  auto statement = fConnection->PrepareStatement("SELECT 'kept'");
  auto result = statement->ExecuteQueryPrepared();
  statement.reset();
  fConnection.reset();
  ASSERT_TRUE(result->First());
  EXPECT_EQ(result->GetString(1), "kept");
}

TEST_F(SimpleSQL, ColumnFieldTypesFromDeclarations)
{
  Execute("CREATE TABLE t (a INTEGER, b BIGINT, c REAL, d VARCHAR(40), e TEXT, f BLOB, g DATE, h TIME, i DATETIME, "
          "j TIMESTAMP, k BOOLEAN, l SMALLINT, m NUMERIC(10,2), n MONEY, o MEDIUMBLOB, p FOO)");
  Execute("INSERT INTO t (a) VALUES (1)");
  auto result = Query("SELECT *, 1, 1.5, 'x', NULL FROM t");
  const TFieldType expected[] = {ftInteger, ftLargeint,   ftFloat,     ftWideString, ftWideMemo,   ftBlob,   ftDate,
                                 ftTime,    ftDateTime,   ftTimeStamp, ftBoolean,    ftSmallint,   ftBCD,    ftCurrency,
                                 ftBlob,    ftWideString, ftLargeint,  ftFloat,      ftWideString, ftUnknown};
  ASSERT_EQ(result->GetColumnCount(), static_cast<int>(std::size(expected)));
  for (int i = 0; i < result->GetColumnCount(); ++i)
    EXPECT_EQ(result->GetColumnFieldType(i + 1), expected[i]) << i;
}

TEST_F(SimpleSQL, ChangedRowsAndReexecution)
{
  CreateRecordings();
  EXPECT_EQ(Execute("CREATE TABLE IF NOT EXISTS recordings (x)"), 0);
  auto insert = fConnection->PrepareStatement("INSERT INTO recordings (starttime, filename) VALUES (?, ?)");
  for (int i = 0; i < 3; ++i)
  {
    insert->SetTimestamp(1, EncodeDate(2024, 1, 1 + i));
    insert->SetString(2, "f" + std::to_string(i));
    insert->ExecuteUpdatePrepared();
  }
  auto update = fConnection->PrepareStatement("UPDATE recordings SET duration = :d WHERE id >= :id");
  update->SetFloatByName("d", 3599.5);
  update->SetIntByName("id", 2);
  EXPECT_EQ(update->ExecuteUpdatePrepared(), 2);
  EXPECT_EQ(Execute("SELECT * FROM recordings"), 0);
  EXPECT_EQ(QueryText(*fConnection, "SELECT sum(duration) FROM recordings"), "7199");
}

TEST_F(SimpleSQL, EngineErrorsCarryTheEngineMessage)
{
  CreateRecordings();
  EXPECT_EQ(ErrorOf([&] { Execute("SELEC 1"); }), "near \"SELEC\": syntax error");
  EXPECT_EQ(ErrorOf([&] { Execute("INSERT INTO recordings (filename) VALUES ('x')"); }),
            "NOT NULL constraint failed: recordings.starttime");
  EXPECT_EQ(ErrorOf([&] { Execute("SELECT 1; DROP TABLE recordings"); }),
            "Only one SQL statement allowed: SELECT 1; DROP TABLE recordings");
  EXPECT_EQ(ErrorOf([&] { Execute("  -- nothing"); }), "Empty SQL statement");
  EXPECT_EQ(Execute("SELECT 1; -- trailing comment"), 0);
}

TEST_F(SimpleSQL, TransactionsCommitRollBackAndEndWithTheConnection)
{
  CreateRecordings();
  const char* insert = "INSERT INTO recordings (starttime, filename) VALUES ('2024-01-01', 'x')";
  fConnection->BeginTransaction();
  Execute(insert);
  fConnection->RollbackTransaction();
  EXPECT_EQ(QueryText(*fConnection, "SELECT count(*) FROM recordings"), "0");
  fConnection->SetIsolationLevel(static_cast<TSQLIsolationLevel>(17)); // ignored
  fConnection->SetIsolationLevel(ilDirtyRead);
  fConnection->BeginTransaction();
  EXPECT_EQ(QueryText(*fConnection, "PRAGMA read_uncommitted"), "1");
  Execute(insert);
  fConnection->CommitTransaction();
  EXPECT_EQ(QueryText(*fConnection, "SELECT count(*) FROM recordings"), "1");
  EXPECT_THROW(fConnection->CommitTransaction(), ESQLError);

  // Released inside a transaction: rolled back, and the file is free for others at once.
  fConnection->SetIsolationLevel(ilSnapshot);
  fConnection->BeginTransaction();
  Execute(insert);
  auto keptStatement = fConnection->PrepareStatement("SELECT 1");
  fConnection = Open();
  EXPECT_EQ(QueryText(*fConnection, "SELECT count(*) FROM recordings"), "1");
}

TEST_F(SimpleSQL, ALockedFileIsAwaitedNotFailed)
{
  CreateRecordings();
  auto writer = Open();
  writer->SetIsolationLevel(ilSerializable);
  writer->BeginTransaction(); // exclusive: readers must wait
  writer->PrepareStatement("INSERT INTO recordings (starttime, filename) VALUES ('2024-01-01', 'x')")
      ->ExecuteUpdatePrepared();
  std::thread committer(
      [&]
      {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        writer->CommitTransaction();
      });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QueryText(*fConnection, "SELECT count(*) FROM recordings"), "1");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  committer.join();
}
} // namespace
