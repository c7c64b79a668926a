// Cleanup by age over a year of hourly recordings: 8,760 rows and files, of which the oldest 30 days (720
// recordings) are past the limit at every pass. Each pass deletes the 720 files and rows and prunes their
// folders; the same recordings are put back, untimed, before the next pass.

#include "lib/DateTime.h"
#include "lib/Errors.h"
#include "slots/SlotInfo.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace
{
constexpr int HoursPerYear = 8760;
constexpr int CleanupDays = 365;
constexpr int DaysPastLimit = 30;
constexpr int ExpiredCount = DaysPastLimit * 24;

class TYearOfRecordings
{
public:
  TYearOfRecordings()
  {
    // The age compares the local start with the UTC clock; in UTC the limit falls exactly between two hours.
    setenv("TZ", "UTC", 1);
    tzset();
    // On the disk, not in memory: the cost of the deletions is the point.
    std::string pattern = (std::filesystem::temp_directory_path() / "tapevault-cleanup-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error("Cannot create a temporary folder");
    fRoot = pattern;
    std::ofstream(fRoot + "/Tapevault.ini")
        << "[Slot0]\nFolder=" << fRoot << "/rec\nCleanupDays=" << CleanupDays << "\nCleanupSpaceEnabled=off\n";
    fIni = std::make_unique<TIniFile>(fRoot + "/Tapevault.ini");
    fSlot = std::make_unique<TSlotInfo>(*fIni, 0, false);
    fSlot->SetOnLogMessage([this](TSlotInfo*, const std::string&) { ++fLogLines; });
    // Hour k starts (CleanupDays + DaysPastLimit) days minus k and a half hours ago, so exactly the first
    // ExpiredCount are past the limit.
    const TDateTime oldest = Now() - (CleanupDays + DaysPastLimit);
    for (int hour = 0; hour < HoursPerYear; ++hour)
      fStarts.push_back(oldest + (hour + 0.5) / 24);
    AddRecordings(0, HoursPerYear);
  }
  ~TYearOfRecordings()
  {
    std::error_code ignored;
    std::filesystem::remove_all(fRoot, ignored);
  }

  // Adds the recordings [iFirst, iFirst + iCount) of the year: rows in one transaction, then their files.
  void AddRecordings(int iFirst, int iCount)
  {
    const ISQLConnectionRef connection = fSlot->GetDatabaseConnection();
    connection->SetIsolationLevel(ilReadCommitted);
    connection->BeginTransaction();
    const auto insert =
        connection->PrepareStatement("INSERT INTO recordings (starttime, filename) VALUES (:starttime, :filename)");
    for (int i = iFirst; i < iFirst + iCount; ++i)
    {
      const TDateTimeParts parts = DecodeDateTime(fStarts[i]);
      const std::string name = Format("%.4d/%.2d/%.2d/news%.2d.mp3", parts.Year, parts.Month, parts.Day, parts.Hour);
      insert->SetTimestampByName("starttime", fStarts[i]);
      insert->SetStringByName("filename", name);
      insert->ExecuteUpdatePrepared();
      const std::string path = fRoot + "/rec/" + name;
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      std::ofstream(path) << "mp3";
    }
    connection->CommitTransaction();
  }

  TSlotInfo& Slot() { return *fSlot; }
  int64_t LogLines() const { return fLogLines; }

private:
  std::string fRoot;
  std::unique_ptr<TIniFile> fIni;
  std::unique_ptr<TSlotInfo> fSlot;
  std::vector<TDateTime> fStarts;
  int64_t fLogLines = 0;
};

void BM_CleanUpByAge(benchmark::State& state)
{
  TYearOfRecordings year;
  for (auto _ : state)
  {
    year.Slot().CleanUpByAge();
    state.PauseTiming();
    year.AddRecordings(0, ExpiredCount);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * ExpiredCount);
  // One "Deleted" line per expired recording shows that every pass did the whole work.
  state.counters["log_lines_per_pass"] = static_cast<double>(year.LogLines()) / state.iterations();
}
BENCHMARK(BM_CleanUpByAge)->Unit(benchmark::kMillisecond)->Iterations(5);
} // namespace

BENCHMARK_MAIN();
