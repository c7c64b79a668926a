// The web API under load. Two uses:
//   web_server_bench                 handler timings in-process (Google Benchmark)
//   web_server_bench --serve [PORT]  serves the same fixture over HTTP until SIGINT/SIGTERM, for wrk
//                                    (bench/web_bench.sh); prints "port N" once it listens.
// Fixture: 16 slots; slot 0 holds 50,000 hourly recordings (almost six years) for the calendar.

#include "../tests/support/WebTestController.h"
#include "lib/DateTime.h"
#include "web/StaticContent.h"
#include "web/WebDispatcher.h"
#include "web/WebResources.h"
#include "web/WebServer.h"

#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace
{
const char cCalendarWeek[] = "/ws/slots/0/calendarevents?start=2024-06-03T00:00:00Z&end=2024-06-10T00:00:00Z";

void FillFixture(TWebTestController& ioController)
{
  for (int i = 0; i < 16; ++i)
    ioController.AddSlot("Slot " + std::to_string(i + 1), i % 2 ? rsStream : rsDisabled,
                         "http://radio.example/stream" + std::to_string(i));
  const ISQLConnectionRef connection = ioController.Slot(0).GetDatabaseConnection();
  connection->BeginTransaction();
  const auto insert = connection->PrepareStatement(
      "INSERT INTO recordings (starttime, duration, filename) VALUES (:start, :duration, :file)");
  // 50,000 hourly recordings (almost six years), the week asked for among them.
  const TDateTime first = EncodeDate(2020, 1, 1);
  for (int hour = 0; hour < 50000; ++hour)
  {
    const TDateTime start = first + hour / 24.0;
    insert->SetTimestampByName("start", start);
    insert->SetFloatByName("duration", 3599.98);
    insert->SetStringByName("file", "news" + FormatTimestampFull(start) + ".mp3");
    insert->ExecuteUpdatePrepared();
  }
  connection->CommitTransaction();
}

TWebRequest Get(const std::string& iPathAndQuery)
{
  TWebRequest request;
  request.Method = "GET";
  const size_t question = iPathAndQuery.find('?');
  request.Path = iPathAndQuery.substr(0, question);
  if (question != std::string::npos)
  {
    const std::string query = iPathAndQuery.substr(question + 1);
    for (size_t start = 0; start <= query.size();)
    {
      const size_t end = std::min(query.find('&', start), query.size());
      const std::string pair = query.substr(start, end - start);
      const size_t equals = pair.find('=');
      request.Params.emplace_back(pair.substr(0, equals), equals == std::string::npos ? "" : pair.substr(equals + 1));
      start = end + 1;
    }
  }
  return request;
}

struct TFixture
{
  TFixture()
      : Dispatcher(Controller, AccessOnly({"", "", "", "", alReadOnly}),
                   TStaticContent(TStaticContent::DefaultFolder(), TWebResources::Instance()))
  {
    FillFixture(Controller);
  }
  TWebTestController Controller;
  TWebDispatcher Dispatcher;
};

TFixture& Fixture()
{
  static TFixture fixture;
  return fixture;
}

void RunRequest(benchmark::State& ioState, const std::string& iPath)
{
  const TWebRequest request = Get(iPath);
  for (auto _ : ioState)
  {
    TWebResponse response = Fixture().Dispatcher.CommandGet(request);
    if (response.Status != 200)
      ioState.SkipWithError("request failed");
    benchmark::DoNotOptimize(response);
  }
}

void BM_SlotList(benchmark::State& ioState)
{
  RunRequest(ioState, "/ws/slots");
}
BENCHMARK(BM_SlotList);

void BM_CalendarWeek(benchmark::State& ioState)
{
  RunRequest(ioState, cCalendarWeek);
}
BENCHMARK(BM_CalendarWeek)->Unit(benchmark::kMillisecond);

int Serve(const std::string& iPort)
{
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr); // inherited by the server's threads
  TWebTestController controller;
  FillFixture(controller);
  controller.Settings.Port = "127.0.0.1:" + iPort;
  controller.Settings.Access.AnonymousAccess = alReadOnly;
  TWebServer server(controller, TStaticContent::DefaultFolder());
  std::string error;
  if (!server.Start(error))
    return 1;
  std::printf("port %u\n", server.Port());
  std::fflush(stdout);
  int signal = 0;
  sigwait(&signals, &signal);
  server.Stop();
  return 0;
}
} // namespace

int main(int argc, char** argv)
{
  if (argc >= 2 && std::strcmp(argv[1], "--serve") == 0)
    return Serve(argc >= 3 ? argv[2] : "0");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
