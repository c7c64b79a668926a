// Cost of handing one captured buffer to every client of an input (the capture thread's share of the work):
// 20 ms of 48 kHz stereo float into 1 to 64 push streams.

#include "audio/AudioDevicesBase.h"
#include "audio/engine/AudioEngine.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace
{
constexpr uint32_t cRate = 48000;
constexpr uint32_t cBufferBytes = cRate / 50 * 2 * sizeof(float);

// An input whose buffers come from the benchmark loop instead of a device.
class TLoopInput final : public TDeviceInfoWithClients
{
public:
  TLoopInput() : TDeviceInfoWithClients(0, "loop") {}

private:
  class TNoCapture final : public ICaptureInput
  {
  public:
    uint32_t SampleRate() const override { return cRate; }
    std::string LastError() const override { return {}; }
  };

  std::unique_ptr<ICaptureInput> OpenCapture(uint32_t, bool& i16bit, bool) override
  {
    i16bit = false;
    return std::make_unique<TNoCapture>();
  }
};

void BM_HandleInput(benchmark::State& state)
{
  TLoopInput input;
  std::vector<uint32_t> clients;
  for (int64_t i = 0; i < state.range(0); ++i)
    clients.push_back(input.AddClient(cRate, false, false));
  std::vector<unsigned char> buffer(cBufferBytes, 1);
  std::vector<unsigned char> drain(cBufferBytes);
  for (auto _ : state)
  {
    input.HandleInput(buffer.data(), cBufferBytes);
    // The slots' mixers read as fast as the capture writes; reading is their cost, not the capture thread's.
    state.PauseTiming();
    for (const uint32_t client : clients)
      TAudioEngine::ChannelGetData(client, drain.data(), cBufferBytes);
    state.ResumeTiming();
  }
  for (const uint32_t client : clients)
  {
    input.RemoveClient(client);
    TAudioEngine::StreamFree(client);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * cBufferBytes * state.range(0));
}
BENCHMARK(BM_HandleInput)->Arg(1)->Arg(4)->Arg(16)->Arg(64);
} // namespace

BENCHMARK_MAIN();
