// JSON text of a week's calendar answer: an array of 1,000 event objects (id, title, start, end, duration).
#include "lib/PersistentStorage.h"

#include <benchmark/benchmark.h>
#include <string>

namespace
{
IPersistentArrayRef BuildEvents()
{
  auto events = std::make_shared<TPersistentArray>();
  for (int i = 0; i < 1000; ++i)
  {
    const int day = 15 + i / 24, hour = i % 24;
    const std::string date = "2024-03-" + std::to_string(day) + "T" + (hour < 10 ? "0" : "") + std::to_string(hour);
    events->AddObject()
        ->SetNumber("id", 100000 + i)
        ->SetString("title", "Recording \xc3\xa9t\xc3\xa9 / " + std::to_string(i))
        ->SetString("start", date + ":00:00")
        ->SetString("end", date + ":59:59")
        ->SetNumber("duration", 3599.9836734693877 - i / 7.0);
  }
  return events;
}

void BM_JsonBuildAndWrite(benchmark::State& ioState)
{
  size_t bytes = 0;
  for (auto _ : ioState)
  {
    const std::string text = BuildEvents()->AsJSon(true, true);
    bytes += text.size();
    benchmark::DoNotOptimize(text.data());
  }
  ioState.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_JsonBuildAndWrite)->Unit(benchmark::kMicrosecond);

void BM_JsonWrite(benchmark::State& ioState)
{
  const auto events = BuildEvents();
  size_t bytes = 0;
  for (auto _ : ioState)
  {
    const std::string text = events->AsJSon(true, true);
    bytes += text.size();
    benchmark::DoNotOptimize(text.data());
  }
  ioState.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_JsonWrite)->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
