// Input health: the engine counts in its real-time paths what went wrong with a slot's input (the device
// failed, the push stream had to drop audio, the mixer filled in silence for audio that did not come); the
// controller's 100 ms pass turns every change into a log line, the current file's dropouts and the counters.

#include "audio/AudioDevicesBase.h"
#include "audio/engine/AudioEngine.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"

#include <utility>

namespace
{
// Bytes per frame that the encoder programs receive (16-bit stereo).
constexpr uint64_t kProgramFrameBytes = 4;
} // namespace

void TSlotInfo::CheckInput()
{
  JournalDropouts();
  TInputWatch& watch = fInputWatch;
  TChannelInfo channel;
  TMixerSourceInfo source;
  const TSlotInput::TSource input = fInput.Source();
  const int64_t now = static_cast<int64_t>(MillisecondClock());
  const int64_t elapsed = watch.CheckedAt != 0 ? now - watch.CheckedAt : 0;
  watch.CheckedAt = now;
  if (watch.Attachment != input.Attachment)
    watch = {input.Attachment, 0, now};
  if (input.Channel == 0 || !TAudioEngine::ChannelGetInfo(input.Channel, channel) ||
      !TAudioEngine::MixerGetSourceInfo(input.Channel, source))
  {
    // A stream between connections records silence: part of the gap once it had delivered.
    if (watch.Delivered)
      watch.PendingSeconds += static_cast<double>(elapsed) / 1000.0;
    watch.Channel = 0;
    return;
  }
  const TDeviceInfoWithClients* device = fInput.Device();
  if (watch.Channel != input.Channel)
  {
    // A new input: its counts start from what it has now. A reconnected stream's silence until its first audio
    // belongs to the gap under way.
    watch.Channel = input.Channel;
    watch.DroppedBytes = channel.DroppedBytes;
    watch.SilenceFrames = watch.Delivered ? 0 : source.SilenceFrames;
    watch.ConsumedFrames = watch.Delivered ? 0 : source.ConsumedFrames;
    watch.Xruns = device ? device->Xruns() : 0;
  }
  const std::string error = device ? device->LastError() : "";
  if (!error.empty() && !watch.Lost)
  {
    watch.Lost = true;
    watch.LostSince = now;
    LogMessage("input lost: " + error);
  }
  else if (error.empty() && watch.Lost)
  {
    watch.Lost = false;
    ++fCounters.InputReconnects;
    LogMessage(Format("input back after %.1f s", static_cast<double>(now - watch.LostSince) / 1000.0));
  }

  // A new client of the server (after it was lost) counts from 0 again.
  const uint64_t xruns = device ? device->Xruns() : 0;
  fCounters.InputXruns += xruns >= watch.Xruns ? xruns - watch.Xruns : xruns;
  watch.Xruns = xruns;

  if (channel.DroppedBytes > watch.DroppedBytes)
  {
    const double seconds = TAudioEngine::ChannelBytes2Seconds(
        input.Channel, static_cast<int64_t>(channel.DroppedBytes - watch.DroppedBytes));
    watch.DroppedBytes = channel.DroppedBytes;
    AddDropout(seconds, "the input queue was full");
  }

  // Silence before the input's first audio is its start, not a dropout. A gap is reported once it has ended:
  // audio came and no more silence, which a check between two passes of the mixer alone does not show.
  watch.Delivered = watch.Delivered || source.ConsumedFrames > 0;
  const uint64_t silence = source.SilenceFrames - watch.SilenceFrames;
  const bool flowing = source.ConsumedFrames > watch.ConsumedFrames;
  watch.SilenceFrames = source.SilenceFrames;
  watch.ConsumedFrames = source.ConsumedFrames;
  if (!watch.Delivered)
    return;
  if (silence > 0)
    watch.PendingSeconds += static_cast<double>(silence) / fEffectiveSamplerate;
  else if (watch.PendingSeconds > 0 && flowing)
  {
    AddDropout(std::exchange(watch.PendingSeconds, 0.0), "the input delivered nothing");
  }
}

void TSlotInfo::AddDropout(double iSeconds, const char* iReason)
{
  fCounters.DropoutSeconds.fetch_add(iSeconds, std::memory_order_relaxed);
  ++fCounters.DropoutCount;
  // Reported when the gap has ended: it began that long before the file's present end.
  if (const std::shared_ptr<TRecordingFile> file = fRecorder.CurrentFile())
    file->AddDropout(static_cast<double>(CurrentRecordingDuration()) - iSeconds, iSeconds);
  LogMessage(Format("%.2f s of audio dropped: %s", iSeconds, iReason));
}

TSlotCounters TSlotInfo::GetCounters() const
{
  TSlotCounters counters;
  const double current = static_cast<double>(CurrentRecordingDuration()) * fEffectiveSamplerate;
  counters.BytesWritten =
      fCounters.FinishedBytes.load(std::memory_order_relaxed) + static_cast<uint64_t>(current) * kProgramFrameBytes;
  counters.DropoutSeconds = fCounters.DropoutSeconds.load(std::memory_order_relaxed);
  counters.DropoutCount = fCounters.DropoutCount.load(std::memory_order_relaxed);
  counters.EncoderRestarts = fCounters.EncoderRestarts.load(std::memory_order_relaxed);
  counters.InputReconnects = fCounters.InputReconnects.load(std::memory_order_relaxed);
  counters.InputXruns = fCounters.InputXruns.load(std::memory_order_relaxed);
  counters.EncoderDroppedSeconds = fCounters.EncoderDroppedSeconds.load(std::memory_order_relaxed);
  return counters;
}
