// A slot's outgoing stream as the slot sees it: the streaming thread's settings, its wake-ups, the title file.

#include "slots/SlotInfo.h"

void TSlotInfo::StartOutputStream()
{
  TOutputStream::TEvents events;
  events.Settings = [this] { return StreamingSettings(); };
  events.IncomingTitle = [this] { return fTitles.Title(); };
  events.Log = [this](const std::string& iMessage) { LogMessage(iMessage); };
  fOutputStream = std::make_unique<TOutputStream>(fIndex, fMixer, std::move(events));
}

TOutputStreamSettings TSlotInfo::StreamingSettings()
{
  const TSlotSettings slot = Settings();
  TOutputStreamSettings settings;
  // An alarm-only slot has no audio to send.
  settings.Active = slot.Enabled && slot.OutputStream.Enabled && !fAlarmOnly;
  settings.Stream = slot.OutputStream;
  settings.Encoder = EncoderSettings(slot.Output);
  settings.EncoderQueueLength = slot.Output.EncoderQueueLength;
  return settings;
}

void TSlotInfo::WakeOutputStream()
{
  if (fOutputStream)
    fOutputStream->Wake();
}

void TSlotInfo::UpdateOutgoingStreamTitle()
{
  const TSlotSettings::TOutputStream& stream = fSettings.OutputStream;
  if (!fOutputStream || !stream.Enabled || stream.ForwardMetadata)
    return;
  fOutputStream->UpdateTitleFromFile(stream.TitleFilename);
}

void TSlotInfo::SendStreamingTitle()
{
  if (fOutputStream)
    fOutputStream->SendStreamingTitle();
}
