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
  std::lock_guard lock(fSettingsCS);
  TOutputStreamSettings settings;
  // An alarm-only slot has no audio to send.
  settings.Active = fEnabled && fStreamingEnabled && !fAlarmOnly;
  settings.Address = {fStreamingServerMode, fStreamingHost, fStreamingPort, fStreamingMountPoint, fStreamingStreamID};
  settings.Password = fStreamingPassword;
  settings.MimeType = fStreamingMimeType;
  settings.Name = fStreamingTitle;
  settings.URL = fStreamingURL;
  settings.Genre = fStreamingGenre;
  settings.AIM = fStreamingAIM;
  settings.IRC = fStreamingIRC;
  settings.ICQ = fStreamingICQ;
  settings.Description = fStreamingDescription;
  settings.Public = fStreamingPublic;
  settings.ForwardMetadata = fStreamingForwardMetadata;
  settings.ConnectDelay = fStreamingConnectDelay;
  settings.Encoder = {fAudioFormat, fMode, fEffectiveSamplerate, fBitrate, fEncoderOptions, fEncoderFilename};
  settings.EncoderQueueLength = fEncoderQueueLength;
  return settings;
}

void TSlotInfo::WakeOutputStream()
{
  if (fOutputStream)
    fOutputStream->Wake();
}

void TSlotInfo::UpdateOutgoingStreamTitle()
{
  if (!fOutputStream || !fStreamingEnabled || fStreamingForwardMetadata)
    return;
  fOutputStream->UpdateTitleFromFile(fStreamingCurrentTitleFilename);
}

void TSlotInfo::SendStreamingTitle()
{
  if (fOutputStream)
    fOutputStream->SendStreamingTitle();
}
