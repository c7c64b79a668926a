// One database operation as the system runs it: open a connection (file open and the six settings), create
// the table when missing, insert a row, select one day's rows, release the connection.
#include "lib/DateTime.h"
#include "lib/Errors.h"
#include "lib/SimpleSQL.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>

namespace
{
class TTempDatabase
{
public:
  TTempDatabase()
  {
    std::string pattern = (std::filesystem::temp_directory_path() / "sqlbench_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
      std::abort();
    fFolder = pattern;
  }
  ~TTempDatabase() { std::filesystem::remove_all(fFolder); }
  std::string ConnectionString() const
  {
    return Format("DriverID=SQLite;Database=\"%s\";Synchronous=ON;OpenMode=CreateUTF8;SharedCache=False;"
                  "LockingMode=Normal;StringFormat=Unicode;DateTimeFormat=String;",
                  (fFolder / "Tapevault.db").c_str());
  }

private:
  std::filesystem::path fFolder;
};

ISQLConnectionRef OpenWithTable(const std::string& iConnectionString)
{
  auto connection = CreateSQLConnection(iConnectionString);
  connection
      ->PrepareStatement("CREATE TABLE IF NOT EXISTS recordings (id INTEGER PRIMARY KEY AUTOINCREMENT, starttime "
                         "TIMESTAMP NOT NULL, duration REAL DEFAULT NULL, filename VARCHAR NOT NULL)")
      ->ExecuteUpdatePrepared();
  return connection;
}

void BM_SQLOpenClose(benchmark::State& ioState)
{
  TTempDatabase database;
  OpenWithTable(database.ConnectionString());
  for (auto _ : ioState)
    benchmark::DoNotOptimize(OpenWithTable(database.ConnectionString()));
}
BENCHMARK(BM_SQLOpenClose)->Unit(benchmark::kMicrosecond);

void BM_SQLRoundTrip(benchmark::State& ioState)
{
  TTempDatabase database;
  const TDateTime day = EncodeDate(2024, 3, 15);
  int hour = 0;
  for (auto _ : ioState)
  {
    auto connection = OpenWithTable(database.ConnectionString());
    auto insert =
        connection->PrepareStatement("INSERT INTO recordings (starttime, filename) VALUES (:starttime, :filename)");
    insert->SetTimestampByName("starttime", day + (hour++ % 24) / 24.0);
    insert->SetStringByName("filename", "2024/03/15/rec-2024-03-15-13-00-00.mp3");
    insert->ExecuteUpdatePrepared();
    auto select = connection->PrepareStatement(
        "SELECT id, starttime, duration FROM recordings WHERE starttime >= :start AND starttime < :end");
    select->SetTimestampByName("start", day);
    select->SetTimestampByName("end", day + 1);
    auto result = select->ExecuteQueryPrepared();
    int rows = 0;
    while (result->Next())
      rows += result->GetInt(1) > 0;
    benchmark::DoNotOptimize(rows);
  }
}
BENCHMARK(BM_SQLRoundTrip)->Unit(benchmark::kMicrosecond)->Iterations(500);
} // namespace

BENCHMARK_MAIN();
