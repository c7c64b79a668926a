// Engine cost of one slot: a 48 kHz stereo 16-bit capture ring feeding a 44.1 kHz mixer (resampling and drift
// control), the slot's two measuring DSP callbacks (peak level, byte counter), and a 16-bit WAV writer fed
// through its queue, or no encoder. Runs faster than real time and reports the process's CPU seconds
// (all threads, the WAV writer's included) per hour of audio.
//
//   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
//   cmake --build build/release -j2 --target engine_bench && build/release/bench/engine_bench

#include "audio/engine/AudioEngine.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
constexpr uint32_t kCaptureRate = 48000, kSlotRate = 44100;
constexpr uint32_t kCapturePeriod = kCaptureRate / 100; // 10 ms capture buffers
constexpr uint32_t kPull = kSlotRate / 20;              // 50 ms pulls, as the pull thread reads
constexpr double kAudioSeconds = 120;

double ProcessCpuSeconds()
{
  timespec Time;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Time);
  return double(Time.tv_sec) + double(Time.tv_nsec) * 1e-9;
}

void SlotChain(benchmark::State& ioState)
{
  const bool WithWav = ioState.range(0) != 0;
  std::string Folder = std::filesystem::temp_directory_path() / "engine_bench_XXXXXX";
  if (!mkdtemp(Folder.data()))
  {
    ioState.SkipWithError("no temporary folder");
    return;
  }
  uint32_t Mixer = TAudioEngine::MixerCreate(kSlotRate, 2, chDecode | chNonStop | chFloat);
  uint32_t Capture = TAudioEngine::StreamCreatePush(kCaptureRate, 2, chDecode);
  TAudioEngine::MixerAddChannel(Mixer, Capture, 0);
  std::atomic<float> Left{0}, Right{0};
  std::atomic<int64_t> Counter{0};
  TAudioEngine::ChannelSetDSP(
      Mixer,
      [&](float* ioBuffer, uint32_t iLength)
      {
        float PeakLeft = 0, PeakRight = 0;
        for (uint32_t Frame = 0; Frame < iLength / 8; ++Frame)
        {
          PeakLeft = std::max(PeakLeft, std::fabs(ioBuffer[2 * Frame]));
          PeakRight = std::max(PeakRight, std::fabs(ioBuffer[2 * Frame + 1]));
        }
        Left = PeakLeft;
        Right = PeakRight;
      },
      0);
  TAudioEngine::ChannelSetDSP(
      Mixer, [&](float*, uint32_t iLength) { Counter += iLength; }, 0);

  std::vector<int16_t> Period(kCapturePeriod * 2);
  for (uint32_t Frame = 0; Frame < kCapturePeriod; ++Frame)
    Period[2 * Frame] = Period[2 * Frame + 1] = int16_t(10000 * std::sin(2 * M_PI * 1000 * Frame / kCaptureRate));
  std::vector<float> Out(kPull * 2);
  double CpuSeconds = 0, AudioSeconds = 0;
  for (auto _ : ioState)
  {
    double Start = ProcessCpuSeconds();
    uint32_t Encoder = 0;
    if (WithWav)
      Encoder = TAudioEngine::EncodeStart(Mixer, Folder + "/slot.wav", efWAVFile | ef16Bit | efQueue);
    // Per 50 ms: five capture periods in, one pull out.
    for (int Pull = 0; Pull < int(kAudioSeconds * 20); ++Pull)
    {
      for (int Piece = 0; Piece < 5; ++Piece)
        TAudioEngine::StreamPutData(Capture, Period.data(), uint32_t(Period.size() * 2));
      benchmark::DoNotOptimize(TAudioEngine::ChannelGetData(Mixer, Out.data(), kPull * 8));
    }
    if (Encoder)
      TAudioEngine::EncodeStop(Encoder);
    CpuSeconds += ProcessCpuSeconds() - Start;
    AudioSeconds += kAudioSeconds;
  }
  ioState.counters["cpu_s_per_audio_hour"] = CpuSeconds / AudioSeconds * 3600;
  ioState.counters["realtime_factor"] = AudioSeconds / CpuSeconds;
  TAudioEngine::StreamFree(Mixer);
  TAudioEngine::StreamFree(Capture);
  std::filesystem::remove_all(Folder);
}
BENCHMARK(SlotChain)->Arg(0)->Arg(1)->ArgNames({"wav"})->Unit(benchmark::kMillisecond)->Iterations(3);
} // namespace

BENCHMARK_MAIN();
