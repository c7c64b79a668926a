// A slot's stream input and incoming titles: attaching the stream, the titles it brings, its status.

#include "lib/Errors.h"
#include "slots/SlotInfo.h"

void TSlotInfo::AttachStream()
{
  StopRecording();
  fTitles.ClearTitle();
  fCurrentStreamURL = fSettings.Input.StreamURL;
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
  // The stream input's thread: the two switches are copied under the settings lock.
  bool cueSheet = false;
  bool forward = false;
  {
    std::lock_guard lock(fSettingsCS);
    cueSheet = fSettings.Output.CueSheet;
    forward = fSettings.OutputStream.ForwardMetadata;
  }
  const std::optional<std::string> title = fTitles.Update(iMetadata, cueSheet);
  if (title && forward && fOutputStream)
    fOutputStream->ForwardTitle(*title);
}

std::string TSlotInfo::StreamStatus()
{
  std::lock_guard lock(fCS);
  return fInputStream && fInputStream->Channel() == 0 ? fInputStream->Status() : std::string();
}

uint32_t TSlotInfo::StreamChannel()
{
  std::lock_guard lock(fCS);
  return fInputStream ? fInputStream->Channel() : 0;
}
