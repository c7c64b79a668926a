// A slot's stream input and incoming titles: attaching the stream, the titles it brings, its status.

#include "lib/Errors.h"
#include "slots/SlotInfo.h"

void TSlotInfo::AttachStream()
{
  StopRecording();
  fTitles.ClearTitle();
  const std::string url = fSettings.Input.StreamURL;
  fInput.SetStreamURL(url);
  if (fMixer == 0)
  {
    LockedAssign(fErrorMessage, UnsupportedRateText());
    LogMessage(Format("Recording error: %s", UnsupportedRateText().c_str()));
    return;
  }
  LockedAssign(fErrorMessage, "");
  LogMessage(Format("Recording from %s", url.c_str()));
  TInputStream::TEvents events;
  events.Metadata = [this](const std::string& iMetadata) { UpdateIncomingStreamTitle(iMetadata); };
  events.Connected = [this, url](bool iFirst)
  {
    if (iFirst)
      LogMessage(Format("Stream connected: %s", url.c_str()));
    else
      ++fCounters.InputReconnects;
  };
  events.Lost = [this](const std::string& iWhy) { LogMessage(iWhy); };
  fInput.AttachStream(fIndex, fMixer, url, std::move(events));
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
