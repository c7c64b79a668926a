// A slot recording MP3 and streaming MP3 to an Icecast server at the same time, from a real PulseAudio source:
// the CPU time of the process itself and of its encoder programs per hour of audio. Needs a PulseAudio source
// STREAMING_BENCH_DEVICE (default "bench.monitor") with a signal and an Icecast server at
// STREAMING_BENCH_PORT on 127.0.0.1 with the source password STREAMING_BENCH_PASSWORD (default "bench");
// bench/streaming_bench.sh starts both. STREAMING_BENCH_SECONDS sets the time (default 60).

#include "BenchProcess.h"
#include "audio/AudioDevices.h"
#include "lib/IniFile.h"
#include "slots/SlotInfo.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace
{
// CPU seconds of this process's children (the encoder programs), while they run.
double ChildrenCPUSeconds()
{
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  const std::string self = std::to_string(getpid());
  double seconds = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc"))
  {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos)
      continue; // not a process
    std::ifstream in(entry.path() / "stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
      continue;
    std::istringstream fields(stat.substr(close + 2));
    std::string state, parent;
    fields >> state >> parent;
    if (parent != self)
      continue;
    std::string skip;
    for (int i = 0; i < 9; ++i)
      fields >> skip;
    unsigned long user = 0, system = 0;
    fields >> user >> system;
    seconds += static_cast<double>(user + system) / tick;
  }
  return seconds;
}

void BM_SlotRecordingAndStreamingMP3(benchmark::State& state)
{
  const double seconds = std::stod(Environment("STREAMING_BENCH_SECONDS", "60"));
  const std::filesystem::path folder = MakeTempFolder("streamingbench_");
  if (folder.empty())
  {
    state.SkipWithError("no temporary folder");
    return;
  }
  for (const std::string& problem : EnumerateDevices())
    std::cerr << problem << "\n";
  std::ofstream(folder / "Tapevault.ini")
      << "[Slot0]\nSource=Soundcard\nFormat=mp3\nBitrate=128\nFlatFilenames=on\nDevice=PULSE:"
      << Environment("STREAMING_BENCH_DEVICE", "bench.monitor") << "\nFolder=" << (folder / "rec").string()
      << "\nStreamingEnabled=on\nStreamingHost=127.0.0.1\nStreamingPort=" << Environment("STREAMING_BENCH_PORT", "8000")
      << "\nStreamingMountPoint=/tapevault.mp3\nStreamingPassword=" << Environment("STREAMING_BENCH_PASSWORD", "bench")
      << "\n";
  TIniFile ini((folder / "Tapevault.ini").string());
  for (auto _ : state)
  {
    TSlotInfo slot(ini, 0, false);
    slot.Initialize();
    slot.StartRecording();
    slot.CycleEncoder();
    for (int i = 0; i < 100 && slot.StreamingStatus() != ssConnected; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (slot.Encoder() == 0 || slot.StreamingStatus() != ssConnected)
    {
      state.SkipWithError(
          ("not recording or not streaming: " + slot.ErrorMessage() + " / " + slot.StreamingMessage()).c_str());
      break;
    }
    const double start = ProcessCPUSeconds();
    const double childrenStart = ChildrenCPUSeconds();
    const std::map<std::string, double> threadsBefore = ThreadCPUSeconds();
    const float audioStart = slot.CurrentRecordingDuration();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = ProcessCPUSeconds() - start;
    const double encoders = ChildrenCPUSeconds() - childrenStart;
    for (const auto& [name, used] : ThreadCPUSeconds())
    {
      const auto before = threadsBefore.find(name);
      state.counters["cpu_s[" + name + "]"] = used - (before == threadsBefore.end() ? 0 : before->second);
    }
    const double audio = slot.CurrentRecordingDuration() - audioStart;
    state.counters["audio_s"] = audio;
    state.counters["cpu_s_per_audio_hour"] = cpu / audio * 3600;
    state.counters["encoders_cpu_s_per_audio_hour"] = encoders / audio * 3600;
    state.counters["total_cpu_s_per_audio_hour"] = (cpu + encoders) / audio * 3600;
    state.counters["streaming_connected"] = slot.StreamingStatus() == ssConnected;
    slot.Destroy();
  }
  FreeDevices();
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SlotRecordingAndStreamingMP3)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
} // namespace

BENCHMARK_MAIN();
