#include "slots/InputStream.h"

#include "audio/engine/AudioEngine.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"

#include <mutex>
#include <utility>

namespace
{
constexpr unsigned kRetryMilliseconds = 1000;
constexpr uint32_t kStreamFlags = chUnicode | chDecode | chRestrictRate | chFloat;

// Every slot's status text.
std::mutex& StatusLock()
{
  static std::mutex lock;
  return lock;
}

struct TLoss
{
  std::string Status;
  std::string Log;
};

// What the slot shows and logs when its connected stream ended with iEndCode (TAudioEngine::StreamGetEndCode).
TLoss LossOf(int iEndCode)
{
  const double seconds = TAudioEngine::GetConfig(cfNetTimeout) / 1000.0;
  switch (iEndCode)
  {
  case ecTimeout:
    return {Format("No data for %g s, reconnecting...", seconds),
            Format("Stream stalled: no data for %g s, reconnecting", seconds)};
  case ecNotPlaying:
    return {"Reconnecting...", Format("Stream dropped: its audio was not taken for %g s, reconnecting", seconds)};
  default:
    return {"Reconnecting...", "Stream ended by the server, reconnecting"};
  }
}
} // namespace

TInputStream::TInputStream(int iSlotIndex, uint32_t iMixer, std::string iURL, TEvents iEvents)
    : fMixer(iMixer), fURL(std::move(iURL)), fEvents(std::move(iEvents))
{
  fThread = std::make_unique<TSimpleThread>(
      true, [this](TSimpleThread& iThread) { Loop(iThread); }, Format("StreamThread Slot %d", iSlotIndex));
  fThread->Start();
}

TInputStream::~TInputStream()
{
  // Ends an attempt under way and a wait for the turn at once.
  fStopping = true;
  fThread.reset();
}

std::string TInputStream::Status() const
{
  std::lock_guard lock(StatusLock());
  return fStatus;
}

void TInputStream::SetStatus(const std::string& iStatus)
{
  std::lock_guard lock(StatusLock());
  fStatus = iStatus;
}

void TInputStream::Loop(TSimpleThread& iThread)
{
  SetStatus("Connecting...");
  while (!iThread.Terminated() && !fStopping)
  {
    if (fDownloadEnded && fChannel)
    {
      const TLoss loss = LossOf(TAudioEngine::StreamGetEndCode(fChannel));
      // A connection whose audio never reached the recording was a failed attempt within the same outage.
      TMixerSourceInfo source;
      const bool played = TAudioEngine::MixerGetSourceInfo(fChannel, source) && source.ConsumedFrames > 0;
      FreeChannel();
      SetStatus(loss.Status);
      if (played)
        fEvents.Lost(loss.Log);
    }
    if (!fChannel && !Connect())
      break;
    iThread.WaitForEvent(kRetryMilliseconds);
  }
  FreeChannel();
}

bool TInputStream::Connect()
{
  fDownloadEnded = false;
  // Every slot connects on its own: the attempt is bounded by the engine, and nothing is held meanwhile.
  const uint32_t channel = TAudioEngine::StreamCreateURL(
      fURL, 0, kStreamFlags,
      [this](const void* iBuffer, uint32_t)
      {
        if (!iBuffer)
          fDownloadEnded = true;
      },
      &fStopping);
  const int error = TAudioEngine::ErrorGetCode();
  if (fStopping)
  {
    if (channel)
      TAudioEngine::StreamFree(channel);
    return false;
  }
  if (!channel)
  {
    SetStatus(BassErrorText(error));
    return true;
  }
  TAudioEngine::ChannelSetSync(channel, syMeta,
                               [this](uint32_t, uint32_t iChannel)
                               { fEvents.Metadata(TAudioEngine::ChannelGetTags(iChannel, tgMeta)); });
  TAudioEngine::ChannelSetSync(channel, syEnd, [this](uint32_t, uint32_t) { fDownloadEnded = true; });
  if (!TAudioEngine::MixerAddChannel(fMixer, channel, 0))
  {
    SetStatus(BassErrorText(TAudioEngine::ErrorGetCode()));
    TAudioEngine::StreamFree(channel);
    return true;
  }
  fChannel = channel;
  fEvents.Connected(!std::exchange(fConnectedOnce, true));
  // The title sent with the connection counts at once.
  fEvents.Metadata(TAudioEngine::ChannelGetTags(channel, tgMeta));
  return true;
}

void TInputStream::FreeChannel()
{
  // Freeing waits for the stream's reader, which may be in a metadata callback: no lock is held here.
  if (const uint32_t channel = fChannel.exchange(0))
    TAudioEngine::StreamFree(channel);
}
