// The built-in stream server under load: a tone encoded by lame at 128 kbit/s, served to BENCH_LISTENERS
// (default 100, the server's limit) curl listeners on loopback, from as many loopback addresses as the server's
// per-address limit asks, half of them asking for ICY titles, for BENCH_SECONDS (default 30).
// The same span is first measured without listeners; prints this process's CPU per listener-hour, gross and
// above that baseline (the tone's feeding and reading the encoder), and how many listeners were dropped.
//
//   build/release/bench/stream_server_bench

#include "BenchProcess.h"
#include "audio/engine/AudioEngine.h"
#include "audio/engine/StreamServer.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace
{
using namespace std::chrono;

// CPU seconds of this process during iSeconds of wall time, and the wall time it really took.
std::pair<double, double> Measure(int iSeconds)
{
  const double cpu = ProcessCPUSeconds();
  const auto start = steady_clock::now();
  std::this_thread::sleep_for(seconds(iSeconds));
  return {ProcessCPUSeconds() - cpu, duration<double>(steady_clock::now() - start).count()};
}

// iFrom: the loopback address the listener connects from; the server takes only so many from one address.
pid_t StartListener(const std::string& iURL, bool iTitles, int iMaxSeconds, const std::string& iFrom)
{
  std::vector<std::string> arguments{"curl",        "-s", "-o", "/dev/null", "--max-time", std::to_string(iMaxSeconds),
                                     "--interface", iFrom};
  if (iTitles)
    arguments.insert(arguments.end(), {"-H", "Icy-MetaData: 1"});
  arguments.push_back(iURL);
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0)
    return -1;
  return pid;
}
} // namespace

int main()
{
  const int listeners = std::stoi(Environment("BENCH_LISTENERS", "100"));
  const int span = std::stoi(Environment("BENCH_SECONDS", "30"));
  const uint32_t mixer = TAudioEngine::MixerCreate(44100, 2, chDecode | chNonStop | chFloat);
  const uint32_t push = TAudioEngine::StreamCreatePush(44100, 2, chDecode | chFloat);
  TAudioEngine::MixerAddChannel(mixer, push, 0);
  const uint32_t encoder =
      TAudioEngine::EncodeStart(mixer, "lame --flush -r -s 44100 -b 128 -m s - -", efNoHeader | ef16Bit | efQueue);
  const uint32_t port = TAudioEngine::EncodeServerInit(encoder, "127.0.0.1:0", 40000, 4000, esfSendTitles, {});
  if (!encoder || !port)
  {
    std::fprintf(stderr, "cannot start the encoder or the server: error %d\n", TAudioEngine::ErrorGetCode());
    return 1;
  }
  TAudioEngine::EncodeCastSetTitle(encoder, "Artist - Song", "");

  // The tone in real time, 10 ms at a time, as a slot's pull thread would.
  std::atomic<bool> stop{false};
  std::thread feeder(
      [&]
      {
        std::vector<float> tone(441 * 2), out(441 * 2);
        auto next = steady_clock::now();
        for (uint64_t frame = 0; !stop; frame += 441)
        {
          for (uint32_t i = 0; i < 441; ++i)
            tone[2 * i] = tone[2 * i + 1] = 0.5f * float(std::sin(2 * M_PI * 440.0 * double(frame + i) / 44100));
          TAudioEngine::StreamPutData(push, tone.data(), 441 * 8);
          TAudioEngine::ChannelGetData(mixer, out.data(), 441 * 8);
          next += milliseconds(10);
          std::this_thread::sleep_until(next);
        }
      });

  std::this_thread::sleep_for(seconds(2));
  const auto [baseCPU, baseWall] = Measure(span);

  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
  std::vector<pid_t> pids;
  for (int i = 0; i < listeners; ++i)
    pids.push_back(StartListener(url, i % 2 == 1, span + 60,
                                 "127.0.0." + std::to_string(2 + i / int(TStreamServer::kMaxListenersPerAddress))));
  std::this_thread::sleep_for(seconds(2));
  const auto [loadCPU, loadWall] = Measure(span);
  int dropped = 0;
  for (pid_t pid : pids)
  {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, WNOHANG) != 0)
      ++dropped; // ended before its time: the server let it go
  }
  for (pid_t pid : pids)
    if (pid > 0)
      kill(pid, SIGTERM);
  for (pid_t pid : pids)
    if (pid > 0)
      waitpid(pid, nullptr, 0);
  stop = true;
  feeder.join();
  TAudioEngine::EncodeStop(encoder);
  TAudioEngine::StreamFree(mixer);
  TAudioEngine::StreamFree(push);

  const double listenerHours = listeners * loadWall / 3600.0;
  const double baseline = baseCPU * loadWall / baseWall;
  std::printf("listeners %d, %d s each; dropped %d\n", listeners, span, dropped);
  std::printf("process CPU without listeners: %.3f s in %.1f s\n", baseCPU, baseWall);
  std::printf("process CPU with listeners:    %.3f s in %.1f s\n", loadCPU, loadWall);
  if (listeners > 0)
  {
    std::printf("CPU per listener-hour: %.3f s gross, %.3f s above the baseline (goal <= 2 s)\n",
                loadCPU / listenerHours, (loadCPU - baseline) / listenerHours);
  }
  return 0;
}
