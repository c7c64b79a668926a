// A slot recording a WAV file from a real PulseAudio source: the CPU time of the whole process (capture,
// mixer pull, levels, encoder queue and file writing) per hour of recorded audio. Needs a PulseAudio server
// whose source SLOT_BENCH_DEVICE (default the default source's monitor "bench.monitor") carries a signal;
// bench/slot_bench.sh starts one. SLOT_BENCH_SECONDS sets the recording time (default 60).

#include "BenchProcess.h"
#include "audio/AudioDevices.h"
#include "lib/IniFile.h"
#include "slots/SlotInfo.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace
{
void BM_SlotRecordingWav(benchmark::State& state)
{
  const double seconds = std::stod(Environment("SLOT_BENCH_SECONDS", "60"));
  const std::filesystem::path folder = MakeTempFolder("slotbench_");
  if (folder.empty())
  {
    state.SkipWithError("no temporary folder");
    return;
  }
  for (const std::string& problem : EnumerateDevices())
    std::cerr << problem << "\n";
  std::ofstream(folder / "Tapevault.ini")
      << "[Slot0]\nSource=Soundcard\nFormat=wav16\nFlatFilenames=on\nDevice=PULSE:"
      << Environment("SLOT_BENCH_DEVICE", "bench.monitor") << "\nFolder=" << (folder / "rec").string() << "\n";
  TIniFile ini((folder / "Tapevault.ini").string());
  for (auto _ : state)
  {
    TSlotInfo slot(ini, 0, false);
    slot.Initialize();
    slot.StartRecording();
    slot.CycleEncoder();
    if (slot.Encoder() == 0)
    {
      state.SkipWithError(("not recording: " + slot.ErrorMessage()).c_str());
      break;
    }
    const double start = ProcessCPUSeconds();
    const std::map<std::string, double> threadsBefore = ThreadCPUSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = ProcessCPUSeconds() - start;
    for (const auto& [name, used] : ThreadCPUSeconds())
    {
      const auto before = threadsBefore.find(name);
      state.counters["cpu_s[" + name + "]"] = used - (before == threadsBefore.end() ? 0 : before->second);
    }
    const double audio = slot.CurrentRecordingDuration();
    state.counters["audio_s"] = audio;
    state.counters["cpu_s"] = cpu;
    state.counters["cpu_s_per_audio_hour"] = cpu / audio * 3600;
    state.counters["peak_level"] = slot.LevelLeft();
    slot.Destroy();
  }
  FreeDevices();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SlotRecordingWav)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
} // namespace

BENCHMARK_MAIN();
