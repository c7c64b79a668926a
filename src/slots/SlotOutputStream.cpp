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
  const TSlotSettings::TOutputStream& stream = slot.OutputStream;
  TOutputStreamSettings settings;
  // An alarm-only slot has no audio to send.
  settings.Active = slot.Enabled && stream.Enabled && !fAlarmOnly;
  settings.Address = {stream.ServerMode, stream.Host, stream.Port, stream.MountPoint, stream.StreamID};
  settings.Password = stream.Password;
  settings.MimeType = stream.MimeType;
  settings.Name = stream.Title;
  settings.URL = stream.URL;
  settings.Genre = stream.Genre;
  settings.AIM = stream.AIM;
  settings.IRC = stream.IRC;
  settings.ICQ = stream.ICQ;
  settings.Description = stream.Description;
  settings.Public = stream.Public;
  settings.ForwardMetadata = stream.ForwardMetadata;
  settings.ConnectDelay = stream.ConnectDelay;
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
