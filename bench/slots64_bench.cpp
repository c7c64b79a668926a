// Many slots recording in real time from one capture input: every slot has its own decode mixer (44.1 kHz
// stereo float) fed by its client stream of the same PulseAudio source, a peak-level and a byte-counting DSP
// callback, and a 16-bit WAV writer fed through its queue; its own pull thread reads the mixer at the pace of
// the wall clock, 50 ms apart, like a slot's pull loop. At the end it reports, per slot and in total, the
// audio the client streams dropped (overflow), the silence the mixers inserted after the first second
// (underrun), the frames the encoders' queues dropped, the length of every WAV file, and the process's CPU
// time per hour of audio and slot. Exit code 0 only when nothing was lost and every file has its length.
//
// It needs a PulseAudio source that delivers in real time; slots64_bench.sh starts a private server with a
// null sink, plays a tone into it and runs this program against its monitor.
//
//   slots64_bench [seconds] [--slots N] [--device ID] [--folder DIR] [--expect-signal]
//
// seconds: measured time after the first second (default 60); ID: a device identifier of the registry
// (default "PULSE:nullsink.monitor"); DIR: where the WAV files go and stay (default: a temporary folder that
// is removed); --expect-signal: also fail when a slot heard nothing (peak below 0.1).

#include "audio/AudioDevices.h"
#include "audio/engine/AudioEngine.h"
#include "support/WavFile.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <pthread.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint32_t kSlotRate = 44100;
constexpr uint32_t kFrameBytes = 2 * sizeof(float);
constexpr auto kPullPause = 50ms;
// The pull loop catches up at most this much audio per pass after a stall.
constexpr double kMaxPullSeconds = 2;
// Silence before this is the mixers gathering their first backlog, not an underrun.
constexpr auto kWarmUp = 1s;
constexpr double kLengthToleranceSeconds = 0.5;
constexpr float kSignalPeak = 0.1f;

struct TOptions
{
  double Seconds = 60;
  int Slots = 64;
  std::string Device = "PULSE:nullsink.monitor";
  std::string Folder;
  bool ExpectSignal = false;
};

double Seconds(TClock::duration iDuration)
{
  return std::chrono::duration<double>(iDuration).count();
}

double ProcessCpuSeconds()
{
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  auto ToSeconds = [](const timeval& iTime) { return double(iTime.tv_sec) + double(iTime.tv_usec) * 1e-6; };
  return ToSeconds(Usage.ru_utime) + ToSeconds(Usage.ru_stime);
}

// CPU clock ticks of every thread of this process by thread id, with the thread's name.
struct TThreadTicks
{
  std::string Name;
  uint64_t Ticks = 0;
};

std::map<int, TThreadTicks> ThreadTicks()
{
  std::map<int, TThreadTicks> Threads;
  for (const auto& Entry : std::filesystem::directory_iterator("/proc/self/task"))
  {
    std::ifstream File(Entry.path() / "stat");
    std::string Stat((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
    const size_t Open = Stat.find('('), Close = Stat.rfind(')');
    if (Open == std::string::npos || Close == std::string::npos)
      continue;
    // After the name: state, then 10 fields, then utime and stime.
    std::istringstream Fields(Stat.substr(Close + 2));
    std::string Field;
    uint64_t UserTicks = 0, SystemTicks = 0;
    for (int Index = 0; Index < 11; ++Index)
      Fields >> Field;
    Fields >> UserTicks >> SystemTicks;
    Threads[std::stoi(Entry.path().filename())] = {Stat.substr(Open + 1, Close - Open - 1), UserTicks + SystemTicks};
  }
  return Threads;
}

// CPU seconds between two snapshots per kind of thread (the name without its number).
void PrintThreadCpu(const std::map<int, TThreadTicks>& iBefore, const std::map<int, TThreadTicks>& iAfter,
                    double iWallSeconds)
{
  std::map<std::string, std::pair<int, uint64_t>> Kinds;
  for (const auto& [Id, Thread] : iAfter)
  {
    const auto Before = iBefore.find(Id);
    std::string Kind = Thread.Name.substr(0, Thread.Name.find_last_not_of("0123456789 ") + 1);
    auto& [Count, Ticks] = Kinds[Kind];
    ++Count;
    Ticks += Thread.Ticks - (Before == iBefore.end() ? 0 : Before->second.Ticks);
  }
  const double TicksPerSecond = double(sysconf(_SC_CLK_TCK));
  for (const auto& [Kind, CountAndTicks] : Kinds)
    std::printf("  %-20s x%-4d %7.2f s (%.3f cores)\n", Kind.c_str(), CountAndTicks.first,
                double(CountAndTicks.second) / TicksPerSecond,
                double(CountAndTicks.second) / TicksPerSecond / iWallSeconds);
}

std::string EngineError(const char* iStep)
{
  return std::string(iStep) + " failed, engine error " + std::to_string(TAudioEngine::ErrorGetCode());
}

// Frames of 16-bit stereo audio in a WAV file's data chunk; -1 when the file is no such WAV file or its header
// does not match its size.
int64_t WavFrames(const std::string& iPath)
{
  const TWavFile file = ReadWavFile(iPath);
  return file.Valid && file.DataOffset + file.DataSize == file.FileSize ? file.DataSize / 4 : -1;
}

// One slot: mixer, client stream, measuring callbacks, WAV encoder and pull thread.
class TBenchSlot
{
public:
  TBenchSlot(int iNumber, const std::string& iFolder) : fNumber(iNumber), fPath(WavPath(iFolder, iNumber))
  {
    fMixer = TAudioEngine::MixerCreate(kSlotRate, 2, chDecode | chNonStop | chFloat);
    if (!fMixer)
      throw std::runtime_error(EngineError("MixerCreate"));
    if (!TAudioEngine::ChannelSetDSP(
            fMixer, [this](float* ioBuffer, uint32_t iLength) { Level(ioBuffer, iLength); }, 0) ||
        !TAudioEngine::ChannelSetDSP(
            fMixer, [this](float*, uint32_t iLength) { fCountedBytes.fetch_add(iLength, std::memory_order_relaxed); },
            0))
      throw std::runtime_error(EngineError("ChannelSetDSP"));
    fPullThread = std::thread(&TBenchSlot::PullLoop, this);
  }

  ~TBenchSlot()
  {
    StopPulling();
    if (fEncoder)
      TAudioEngine::EncodeStop(fEncoder);
    if (fMixer)
      TAudioEngine::StreamFree(fMixer);
  }

  TBenchSlot(const TBenchSlot&) = delete;
  TBenchSlot& operator=(const TBenchSlot&) = delete;

  void Attach(TDeviceInfoWithClients& iDevice)
  {
    fDevice = &iDevice;
    fClient = iDevice.AddClient(kSlotRate, false, false);
    if (!fClient)
      throw std::runtime_error(EngineError("AddClient"));
    if (!TAudioEngine::MixerAddChannel(fMixer, fClient, 0))
      throw std::runtime_error(EngineError("MixerAddChannel"));
  }

  void StartEncoder()
  {
    auto Lock = TAudioEngine::LockEncoderSetup();
    fEncoder = TAudioEngine::EncodeStart(fMixer, fPath, efWAVFile | ef16Bit | efQueue);
    if (!fEncoder)
      throw std::runtime_error(EngineError("EncodeStart"));
    fEncoderStart = TClock::now();
  }

  // Counts the silence so far as start-up.
  void EndWarmUp() { fWarmUpSilence = SourceInfo().SilenceFrames; }

  // Asks the pull thread to end after its current pass.
  void RequestStop() { fStop.store(true); }
  // Ends the pull thread; the encoder then gets no more audio.
  void StopPulling()
  {
    RequestStop();
    if (fPullThread.joinable())
      fPullThread.join();
  }

  // Stops the encoder after the pull thread, frees the client stream.
  void Finish()
  {
    fDropped = 0;
    TChannelInfo Info;
    if (TAudioEngine::ChannelGetInfo(fClient, Info))
      fDropped = Info.DroppedBytes;
    fUnderrun = SourceInfo().SilenceFrames - fWarmUpSilence;
    fCounterOk = fCountedBytes.load() == TAudioEngine::ChannelGetPosition(fMixer);
    fRatio = SourceInfo().Ratio;
    TEncodeSpan Span;
    TAudioEngine::EncodeGetSpan(fEncoder, Span);
    fEncoderDropped = Span.DroppedFrames;
    fSpanFrames = Span.EndFrame - Span.FirstFrame;
    fEncodedSeconds = Seconds(fPullEnd - fEncoderStart);
    TAudioEngine::EncodeStop(fEncoder);
    fEncoder = 0;
    fDevice->RemoveClient(fClient);
    TAudioEngine::StreamFree(fClient);
    fWavFrames = WavFrames(fPath);
  }

  bool LengthOk() const
  {
    const double WavSeconds = double(fWavFrames) / kSlotRate;
    return fWavFrames >= 0 && uint64_t(fWavFrames) == fSpanFrames - fEncoderDropped &&
           std::fabs(WavSeconds - fEncodedSeconds) <= kLengthToleranceSeconds;
  }
  // The byte-counting callback saw every byte the mixer delivered.
  bool CounterOk() const { return fCounterOk; }

  void Print() const
  {
    std::printf("%4d %12llu %12llu %12llu %9.3f %9.3f %4s %8.1f %6.3f %10.6f\n", fNumber, (unsigned long long)fDropped,
                (unsigned long long)fUnderrun, (unsigned long long)fEncoderDropped, double(fWavFrames) / kSlotRate,
                fEncodedSeconds, LengthOk() ? "ok" : "BAD", fMaxLagSeconds * 1000, fMaxPeak.load(), fRatio);
  }

  uint64_t Dropped() const { return fDropped; }
  uint64_t Underrun() const { return fUnderrun; }
  uint64_t EncoderDropped() const { return fEncoderDropped; }
  double MaxLagSeconds() const { return fMaxLagSeconds; }
  float MaxPeak() const { return fMaxPeak.load(); }
  const std::string& Path() const { return fPath; }

private:
  static std::string WavPath(const std::string& iFolder, int iNumber)
  {
    return iFolder + "/slot" + std::to_string(iNumber) + ".wav";
  }

  TMixerSourceInfo SourceInfo() const
  {
    TMixerSourceInfo Info;
    TAudioEngine::MixerGetSourceInfo(fClient, Info);
    return Info;
  }

  // Reads what the wall clock says is due, up to kMaxPullSeconds at a time, then sleeps.
  void PullLoop()
  {
    const std::string Name = "Pull slot " + std::to_string(fNumber);
    pthread_setname_np(pthread_self(), Name.c_str());
    const int64_t Chunk = TAudioEngine::ChannelSeconds2Bytes(fMixer, kMaxPullSeconds);
    std::unique_ptr<uint8_t[]> Buffer(new uint8_t[size_t(Chunk)]);
    const TClock::time_point Start = TClock::now();
    while (!fStop.load())
    {
      const double Elapsed = Seconds(TClock::now() - Start);
      const int64_t Target = TAudioEngine::ChannelSeconds2Bytes(fMixer, Elapsed);
      const int64_t Position = TAudioEngine::ChannelGetPosition(fMixer);
      if (Position < Target)
        TAudioEngine::ChannelGetData(fMixer, Buffer.get(), uint32_t(std::min(Target - Position, Chunk)));
      const double Lag =
          Seconds(TClock::now() - Start) - double(TAudioEngine::ChannelGetPosition(fMixer)) / (kSlotRate * kFrameBytes);
      fMaxLagSeconds = std::max(fMaxLagSeconds, Lag);
      std::this_thread::sleep_for(kPullPause);
    }
    fPullEnd = TClock::now();
  }

  void Level(const float* iBuffer, uint32_t iLength)
  {
    float Left = 0, Right = 0;
    for (uint32_t Frame = 0; Frame < iLength / kFrameBytes; ++Frame)
    {
      Left = std::max(Left, std::fabs(iBuffer[2 * Frame]));
      Right = std::max(Right, std::fabs(iBuffer[2 * Frame + 1]));
    }
    fMaxPeak.store(std::max({fMaxPeak.load(std::memory_order_relaxed), Left, Right}), std::memory_order_relaxed);
  }

  const int fNumber;
  const std::string fPath;
  TDeviceInfoWithClients* fDevice = nullptr;
  uint32_t fMixer = 0;
  uint32_t fClient = 0;
  uint32_t fEncoder = 0;
  std::thread fPullThread;
  std::atomic<bool> fStop{false};

  // Written by the pull thread's callbacks.
  std::atomic<float> fMaxPeak{0};
  std::atomic<int64_t> fCountedBytes{0};
  // Pull thread's own; read after it ended.
  double fMaxLagSeconds = 0;
  TClock::time_point fPullEnd;

  TClock::time_point fEncoderStart;
  uint64_t fWarmUpSilence = 0;
  uint64_t fDropped = 0, fUnderrun = 0, fEncoderDropped = 0, fSpanFrames = 0;
  double fEncodedSeconds = 0, fRatio = 1;
  bool fCounterOk = false;
  int64_t fWavFrames = -1;
};

TOptions ParseOptions(int iArgc, char** iArgv)
{
  TOptions Options;
  for (int Index = 1; Index < iArgc; ++Index)
  {
    const std::string Argument = iArgv[Index];
    const bool HasValue = Index + 1 < iArgc;
    if (Argument == "--slots" && HasValue)
      Options.Slots = std::atoi(iArgv[++Index]);
    else if (Argument == "--device" && HasValue)
      Options.Device = iArgv[++Index];
    else if (Argument == "--folder" && HasValue)
      Options.Folder = iArgv[++Index];
    else if (Argument == "--expect-signal")
      Options.ExpectSignal = true;
    else if (Argument[0] != '-' && std::atof(Argument.c_str()) > 0)
      Options.Seconds = std::atof(Argument.c_str());
    else
      throw std::invalid_argument("unknown argument " + Argument +
                                  "; usage: slots64_bench [seconds] [--slots N] [--device ID] [--folder DIR] "
                                  "[--expect-signal]");
  }
  if (Options.Slots < 1)
    throw std::invalid_argument("--slots needs a positive number");
  return Options;
}

TDeviceInfoWithClients& FindDevice(const std::string& iIdentifier)
{
  for (const std::string& Problem : EnumerateDevices())
    std::fprintf(stderr, "%s\n", Problem.c_str());
  auto* Device = dynamic_cast<TDeviceInfoWithClients*>(DeviceList().Find(iIdentifier));
  if (!Device)
  {
    std::string Known;
    for (const TDeviceListEntry& Entry : DeviceList().Entries())
      Known += " " + Entry.Identifier;
    throw std::runtime_error("no capture device " + iIdentifier + "; found:" + (Known.empty() ? " none" : Known));
  }
  return *Device;
}

// The folder the WAV files go to: the one asked for, kept; else a temporary one, removed with this object.
class TWavFolder
{
public:
  explicit TWavFolder(const std::string& iPath) : fPath(iPath), fOwned(iPath.empty())
  {
    if (fOwned)
    {
      fPath = (std::filesystem::temp_directory_path() / "slots64_bench_XXXXXX").string();
      if (!mkdtemp(fPath.data()))
        throw std::runtime_error("cannot create a temporary folder");
    }
    std::filesystem::create_directories(fPath);
  }
  ~TWavFolder()
  {
    std::error_code Ignored;
    if (fOwned)
      std::filesystem::remove_all(fPath, Ignored);
  }
  TWavFolder(const TWavFolder&) = delete;
  TWavFolder& operator=(const TWavFolder&) = delete;

  const std::string& Path() const { return fPath; }

private:
  std::string fPath;
  const bool fOwned;
};

int Run(const TOptions& iOptions)
{
  TDeviceInfoWithClients& Device = FindDevice(iOptions.Device);
  // Before the slots: their encoders write into it until they are destroyed.
  const TWavFolder Folder(iOptions.Folder);
  std::vector<std::unique_ptr<TBenchSlot>> Slots;
  for (int Number = 1; Number <= iOptions.Slots; ++Number)
    Slots.push_back(std::make_unique<TBenchSlot>(Number, Folder.Path()));
  for (auto& Slot : Slots)
    Slot->Attach(Device);
  for (auto& Slot : Slots)
    Slot->StartEncoder();
  std::this_thread::sleep_for(kWarmUp);
  for (auto& Slot : Slots)
    Slot->EndWarmUp();

  const std::map<int, TThreadTicks> ThreadsBefore = ThreadTicks();
  const double CpuStart = ProcessCpuSeconds();
  const TClock::time_point Start = TClock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(iOptions.Seconds));
  const double CpuSeconds = ProcessCpuSeconds() - CpuStart;
  const double WallSeconds = Seconds(TClock::now() - Start);
  const std::map<int, TThreadTicks> ThreadsAfter = ThreadTicks();
  const std::string DeviceError = Device.LastError();

  for (auto& Slot : Slots)
    Slot->RequestStop();
  for (auto& Slot : Slots)
    Slot->StopPulling();
  for (auto& Slot : Slots)
    Slot->Finish();

  std::printf("slot  dropped_in_B silence_fr   enc_drop_fr     wav_s  expect_s  len  lag_ms   peak  ratio\n");
  uint64_t Dropped = 0, Underrun = 0, EncoderDropped = 0;
  int BadLengths = 0, Silent = 0, BadCounters = 0;
  double MaxLag = 0;
  for (auto& Slot : Slots)
  {
    Slot->Print();
    Dropped += Slot->Dropped();
    Underrun += Slot->Underrun();
    EncoderDropped += Slot->EncoderDropped();
    BadLengths += Slot->LengthOk() ? 0 : 1;
    BadCounters += Slot->CounterOk() ? 0 : 1;
    Silent += Slot->MaxPeak() < kSignalPeak ? 1 : 0;
    MaxLag = std::max(MaxLag, Slot->MaxLagSeconds());
  }
  const double AudioHours = double(iOptions.Slots) * WallSeconds / 3600;
  std::printf("\nslots %d, measured %.1f s after a %.0f s start-up, device %s\n", iOptions.Slots, WallSeconds,
              Seconds(kWarmUp), iOptions.Device.c_str());
  std::printf("overflow (client streams dropped): %llu bytes\n", (unsigned long long)Dropped);
  std::printf("underrun (mixer silence after start-up): %llu frames\n", (unsigned long long)Underrun);
  std::printf("encoder queues dropped: %llu frames\n", (unsigned long long)EncoderDropped);
  std::printf("WAV files off their length (> %.1f s) or inconsistent: %d\n", kLengthToleranceSeconds, BadLengths);
  std::printf("byte counters that missed audio: %d\n", BadCounters);
  std::printf("slots without signal (peak < %.1f): %d\n", double(kSignalPeak), Silent);
  std::printf("largest pull lag behind the wall clock: %.1f ms\n", MaxLag * 1000);
  std::printf("process CPU: %.2f s in %.1f s (%.2f cores), %.2f s per hour of audio per slot\n", CpuSeconds,
              WallSeconds, CpuSeconds / WallSeconds, CpuSeconds / AudioHours);
  std::printf("by thread:\n");
  PrintThreadCpu(ThreadsBefore, ThreadsAfter, WallSeconds);
  if (!DeviceError.empty())
    std::printf("capture device error: %s\n", DeviceError.c_str());

  Slots.clear();
  FreeDevices();
  const bool Failed = Dropped || Underrun || EncoderDropped || BadLengths || BadCounters || !DeviceError.empty() ||
                      (iOptions.ExpectSignal && Silent);
  std::printf("%s\n", Failed ? "FAILED" : "PASSED");
  return Failed ? 1 : 0;
}
} // namespace

int main(int iArgc, char** iArgv)
{
  try
  {
    return Run(ParseOptions(iArgc, iArgv));
  }
  catch (const std::exception& e)
  {
    std::fprintf(stderr, "slots64_bench: %s\n", e.what());
    return 2;
  }
}
