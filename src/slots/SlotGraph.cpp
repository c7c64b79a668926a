// The slot's audio graph: the slot mixer with its effects and measuring callbacks, what paces it, attaching
// and detaching the input, switching the slot on and off, and tearing it down.

#include "audio/AudioDevices.h"
#include "audio/engine/AudioEngine.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "slots/ClockSource.h"
#include "slots/SlotErrors.h"
#include "slots/SlotInfo.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <memory>
#include <pthread.h>
#include <sched.h>

namespace
{
// Chain priorities on the slot mixer: delay, channel map, then the measuring callbacks, all before the
// plug-in and the encoders.
constexpr int32_t kDelayPriority = 100;
constexpr int32_t kChannelMapPriority = 1;
constexpr int32_t kMeasurePriority = 0;
// A pass every 100 ms: waking the thread costs more than the audio of a pass, so this halves the pull thread's
// load against 50 ms; levels and byte counter still move as often as the 100 ms checks of the controller look.
constexpr unsigned kPullPauseMilliseconds = 100;
// At most this much per pass after a stall, read in pieces of a few passes' audio: the buffer stays small and
// only what is read in it is ever touched.
constexpr double kPullChunkSeconds = 2.0;
constexpr double kPullPieceSeconds = 0.25;

// The pull thread runs at the highest priority it may get; without the right to it, it runs as it is.
void RaiseToTimeCritical()
{
  sched_param parameter{};
  parameter.sched_priority = sched_get_priority_max(SCHED_FIFO);
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameter);
}
} // namespace

TSlotInfo::~TSlotInfo()
{
  TearDown(std::chrono::steady_clock::now() + kFinishTime);
}

void TSlotInfo::Initialize()
{
  const int64_t now = static_cast<int64_t>(MillisecondClock());
  fLastOverSilenceTickCount = now;
  if (BuildMixer(now))
  {
    ReloadWinampPlugin();
    StartPacing();
    StartOutputStream();
  }
  // Once the outgoing stream exists, which the passes read.
  StartStatusPasses();
  PublishStatus();
}

bool TSlotInfo::BuildMixer(int64_t iNow)
{
  fTitles.SetLastMetadataTickCount(iNow);
  // Process-wide: callbacks see float samples, stream URLs may name playlists.
  TAudioEngine::SetConfig(cfFloatDSP, 1);
  TAudioEngine::SetConfig(cfNetPlaylist, 1);
  const uint32_t rate = static_cast<uint32_t>(fEffectiveSamplerate);
  fMixer = TAudioEngine::MixerCreate(rate, 2, chDecode | chNonStop | chFloat);
  if (fMixer == 0)
  {
    // Nothing can be built on a rate the engine refuses; say which, instead of every later step's "invalid
    // handle".
    LockedAssign(fErrorMessage, UnsupportedRateText());
    return false;
  }
  fDownmixFX = TAudioEngine::ChannelSetFX(fMixer, fxChannelMap, kChannelMapPriority);
  ApplyChannelMap();
  TAudioEngine::ChannelSetDSP(
      fMixer, [this](float* ioBuffer, uint32_t iLength) { DoLevelDSP(ioBuffer, iLength); }, kMeasurePriority);
  TAudioEngine::ChannelSetDSP(
      fMixer, [this](float*, uint32_t iLength) { DoCounterDSP(iLength); }, kMeasurePriority);
  if (const int seconds = fSettings.Input.RecordDelay; seconds > 0)
  {
    const uint32_t delay = TAudioEngine::ChannelSetFX(fMixer, fxDelay, kDelayPriority);
    TAudioEngine::FXSetParameters(delay, TDelayParameters{0.0f, 1.0f, static_cast<float>(seconds), -1});
  }
  return true;
}

std::string TSlotInfo::UnsupportedRateText() const
{
  return Format("Unsupported sample rate %d", fEffectiveSamplerate);
}

void TSlotInfo::StartPacing()
{
  const std::string& clockSource = fSettings.Input.ClockSource;
  if (const std::optional<uint32_t> device = ClockSourceDevice(clockSource))
  {
    const uint32_t rate = static_cast<uint32_t>(fEffectiveSamplerate);
    fPullMixer = TAudioEngine::MixerCreate(rate, 2, chFloat, *device);
    if (fPullMixer && TAudioEngine::ChannelSetAttribute(fPullMixer, atVolume, 0.0f) &&
        TAudioEngine::MixerAddChannel(fPullMixer, fMixer, 0) && TAudioEngine::ChannelPlay(fPullMixer))
      return;
    // Without a working output device nothing would pull the mixer and the slot would record nothing.
    LogMessage(Format("Clock source %s not available (%s), the slot runs on the system clock", clockSource.c_str(),
                      BassErrorText(TAudioEngine::ErrorGetCode()).c_str()));
    if (fPullMixer)
      TAudioEngine::StreamFree(fPullMixer);
    fPullMixer = 0;
  }
  fPullThread = std::make_unique<TSimpleThread>(
      true, [this](TSimpleThread& iThread) { PullLoop(iThread); }, Format("PullThread Slot %d", fIndex));
  fPullThread->Start();
}

void TSlotInfo::PullLoop(TSimpleThread& iThread)
{
  RaiseToTimeCritical();
  const int64_t chunk = TAudioEngine::ChannelSeconds2Bytes(fMixer, kPullChunkSeconds);
  const int64_t piece = TAudioEngine::ChannelSeconds2Bytes(fMixer, kPullPieceSeconds);
  if (chunk <= 0 || piece <= 0)
    return;
  const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(piece));
  const uint64_t start = MillisecondClock();
  while (!iThread.Terminated())
  {
    // Never ahead of the wall clock; after a stall at most one chunk per pass.
    const double elapsed = static_cast<double>(MillisecondClock() - start) / 1000.0;
    const int64_t target = TAudioEngine::ChannelSeconds2Bytes(fMixer, elapsed);
    const int64_t position = TAudioEngine::ChannelGetPosition(fMixer);
    if (position >= 0 && position < target)
    {
      try
      {
        for (int64_t wanted = std::min(target - position, chunk); wanted > 0;)
        {
          const int64_t got =
              TAudioEngine::ChannelGetData(fMixer, buffer.get(), static_cast<uint32_t>(std::min(wanted, piece)));
          if (got <= 0)
            break;
          wanted -= got;
        }
      }
      catch (...)
      {
        // A failing read must not end the pacing of the slot.
      }
    }
    iThread.WaitForEvent(kPullPauseMilliseconds);
  }
}

void TSlotInfo::ApplyChannelMap()
{
  TChannelMapParameters map;
  switch (fSettings.Input.Channels)
  {
  case rcLeft:
    map.Channels[0] = map.Channels[1] = 1;
    break;
  case rcRight:
    map.Channels[0] = map.Channels[1] = 2;
    break;
  default:
    map.Channels[0] = 1;
    map.Channels[1] = 2;
    break;
  }
  TAudioEngine::FXSetParameters(fDownmixFX, map);
}

void TSlotInfo::SetEnabled(bool iValue)
{
  if (iValue == fSettings.Enabled)
    return;
  {
    std::lock_guard settings(fSettingsCS);
    fSettings.Enabled = iValue;
  }
  CycleEncoder();
  WakeOutputStream();
}

void TSlotInfo::ReloadWinampPlugin()
{
  const TSlotSettings::TPlugin& plugin = fSettings.Plugin;
  fPlugin->Reload(plugin.Library, plugin.StreamOnly, plugin.Controls, fMixer);
}

void TSlotInfo::StartRecording()
{
  switch (fSettings.Input.Source)
  {
  case rsSoundcard:
    AttachDevice();
    break;
  case rsStream:
    AttachStream();
    break;
  default:
    StopRecording();
    break;
  }
  PublishStatus();
  WakeOutputStream();
}

void TSlotInfo::AttachDevice()
{
  const TSlotSettings::TInput& input = fSettings.Input;
  TDeviceInfoWithClients* device = nullptr;
  try
  {
    if (input.Device.empty())
      throw ESlotError("No device selected");
    if (input.Device == fInput.DeviceID())
      return;
    if (fMixer == 0)
      throw ESlotError(UnsupportedRateText());
    device = dynamic_cast<TDeviceInfoWithClients*>(DeviceList().Find(input.Device));
    if (!device)
      throw ESlotError("Invalid device");
    StopRecording();
    fInput.AttachDevice(
        *device, input.Device, fMixer,
        {static_cast<uint32_t>(fEffectiveSamplerate), input.Record16bit, input.ASIOWorkaround, input.ExtraSleep});
    fTitles.ClearTitle();
    LockedAssign(fErrorMessage, "");
    LogMessage(Format("Recording from %s", device->Name().c_str()));
  }
  catch (const std::exception& e)
  {
    LockedAssign(fErrorMessage, e.what());
    if (device)
      LogMessage(Format("Error recording from \"%s\": %s", device->Name().c_str(), e.what()));
    else
      LogMessage(Format("Recording error: %s", e.what()));
  }
}

void TSlotInfo::StopRecording()
{
  fInput.Detach();
  fLevelLeft = 0;
  fLevelRight = 0;
  PublishStatus();
  WakeOutputStream();
}

void TSlotInfo::Destroy(std::chrono::steady_clock::time_point iDeadline)
{
  TearDown(iDeadline);
  FlushConfig();
}

void TSlotInfo::EndRecording()
{
  FinishRecording();
  StopRecording();
  // Nothing is left to pull: with many slots, their pull threads would take the processor from the end itself.
  if (fPullThread)
    fPullThread->Terminate();
}

void TSlotInfo::TearDown(std::chrono::steady_clock::time_point iDeadline)
{
  if (fDeleting.exchange(true))
    return;
  EndRecording();
  // Before the outgoing stream goes, which its passes read; the last status is published below.
  StopStatusPasses();
  // Its encoder leaves the chain before the mixer goes; no title can reach it any more (the input is gone).
  fOutputStream.reset();
  // The worker stops the last encoder (the program finishes its file) and stores the last rows; what it could
  // not store by the deadline is in the journal.
  const TSlotWorker::TFinishOutcome outcome = fRecorder.Worker().Finish(iDeadline);
  if (outcome.Kept > 0)
    LogMessage(Format("%zu index %s kept in the journal and stored at the next start", outcome.Kept,
                      outcome.Kept == 1 ? "change is" : "changes are"));
  if (!outcome.Ended)
  {
    // Its job (a database that does not answer, an encoder program that does not end) may still use the graph.
    fLeftBehind = true;
    LogMessage("The slot's worker did not end in time; it is left behind");
    return;
  }
  fPlugin->Release();
  fPullThread.reset();
  if (fPullMixer)
    TAudioEngine::StreamFree(fPullMixer);
  fPullMixer = 0;
  if (fMixer)
    TAudioEngine::StreamFree(fMixer);
  fMixer = 0;
  PublishStatus();
}

std::string TSlotInfo::ErrorMessage() const
{
  std::string text = LockedCopy(fErrorMessage);
  if (const TDeviceInfoWithClients* input = fInput.Device(); text.empty() && input != nullptr)
    text = input->LastError();
  return text;
}
