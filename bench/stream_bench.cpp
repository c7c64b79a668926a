// A stream slot recording an internet stream into a WAV file: the CPU time of the whole process (connection,
// download, decoding, drift control and resampling, mixer pull, levels, encoder queue, file writing) per hour
// of recorded audio. STREAM_BENCH_URL names the stream (bench/stream_bench.sh starts a local Icecast with a
// 128 kbit/s MP3 source); STREAM_BENCH_SECONDS sets the recording time (default 60).

#include "BenchProcess.h"
#include "lib/IniFile.h"
#include "slots/SlotInfo.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace
{
void BM_StreamSlotRecordingWav(benchmark::State& state)
{
  const double seconds = std::stod(Environment("STREAM_BENCH_SECONDS", "60"));
  const std::string url = Environment("STREAM_BENCH_URL", "");
  if (url.empty())
  {
    state.SkipWithError("STREAM_BENCH_URL is not set");
    return;
  }
  const std::filesystem::path folder = MakeTempFolder("streambench_");
  if (folder.empty())
  {
    state.SkipWithError("no temporary folder");
    return;
  }
  std::ofstream(folder / "Tapevault.ini")
      << "[Slot0]\nSource=Stream\nStreamURL=" << url
      << "\nFormat=wav16\nFlatFilenames=on\nFolder=" << (folder / "rec").string() << "\n";
  TIniFile ini((folder / "Tapevault.ini").string());
  for (auto _ : state)
  {
    TSlotInfo slot(ini, 0, false);
    slot.Initialize();
    slot.StartRecording();
    slot.CycleEncoder();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    for (const auto& [name, used] : ThreadCPUSeconds())
      state.counters["cpu_s[" + name + "]"] = used;
    const double audio = slot.CurrentRecordingDuration();
    const bool connected = slot.StreamChannel() != 0;
    const float level = slot.LevelLeft();
    slot.Destroy();
    const double cpu = ProcessCPUSeconds();
    state.counters["audio_s"] = audio;
    state.counters["cpu_s"] = cpu;
    state.counters["cpu_s_per_audio_hour"] = cpu / audio * 3600;
    state.counters["peak_level"] = level;
    if (!connected)
      state.SkipWithError("the stream was not connected at the end");
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_StreamSlotRecordingWav)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
} // namespace

BENCHMARK_MAIN();
