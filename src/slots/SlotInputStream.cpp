// A slot's stream input and incoming titles: attaching the stream, the titles it brings, its status.

#include "lib/Errors.h"
#include "slots/SlotInfo.h"

void TSlotInfo::AttachStream()
{
  StopRecording();
  fTitles.ClearTitle();
  fCurrentStreamURL = fStreamURL;
  if (fMixer == 0)
  {
    LockedAssign(fErrorMessage, UnsupportedRateText());
    LogMessage(Format("Recording error: %s", UnsupportedRateText().c_str()));
    return;
  }
  LockedAssign(fErrorMessage, "");
  LogMessage(Format("Recording from %s", fCurrentStreamURL.c_str()));
  TInputStream::TEvents events;
  events.Metadata = [this](const std::string& iMetadata) { UpdateIncomingStreamTitle(iMetadata); };
  events.Connected = [this, url = fCurrentStreamURL](bool iFirst)
  {
    if (iFirst)
      LogMessage(Format("Stream connected: %s", url.c_str()));
    else
      ++fCounters.InputReconnects;
  };
  fInputStream = std::make_unique<TInputStream>(fIndex, fMixer, fCurrentStreamURL, std::move(events));
}

void TSlotInfo::UpdateIncomingStreamTitle(const std::string& iMetadata)
{
  const std::optional<std::string> title = fTitles.Update(iMetadata, fCueSheet);
  if (title && fStreamingForwardMetadata && fOutputStream)
    fOutputStream->ForwardTitle(*title);
}

uint32_t TSlotInfo::StreamChannel()
{
  std::lock_guard lock(fCS);
  return fInputStream ? fInputStream->Channel() : 0;
}
