// Reading and writing a slot's settings, its identity and its log path.

#include "lib/Errors.h"
#include "slots/SlotInfo.h"
#include "slots/SlotSettingsKeys.h"

TSlotInfo::TSlotInfo(TIniFile& iIniFile, int iIndex, bool iAlarmOnly)
    : fIniFile(iIniFile), fIndex(iIndex), fAlarmOnly(iAlarmOnly),
      fSettings(ReadSlotSettings(iIniFile, iIndex, iAlarmOnly)), fEffectiveSamplerate(fSettings.Input.Samplerate),
      fDatabaseFolder(iIniFile.ReadString("General", "DatabaseFolder", "")),
      fRecorder(Format("SlotWorker %d", iIndex), [this](const std::string& iText) { LogMessage(iText); })
{
  UpdateSilenceThreshold();
  fPlugin = std::make_unique<TSlotPlugin>([this](const std::string& iText) { LogMessage(iText); });
}

TSlotSettings TSlotInfo::Settings() const
{
  std::lock_guard lock(fSettingsCS);
  return fSettings;
}

void TSlotInfo::WriteSettings(const TSlotSettings& iSettings)
{
  TSlotSettings settings = iSettings;
  settings.Enabled = fSettings.Enabled;
  if (fAlarmOnly)
    settings.Output.Format = sfNone;
  const bool channels = settings.Input.Channels != fSettings.Input.Channels;
  const bool threshold = settings.Silence.Threshold != fSettings.Silence.Threshold;
  {
    std::lock_guard lock(fSettingsCS);
    fSettings = std::move(settings);
  }
  if (channels)
    ApplyChannelMap();
  if (threshold)
    UpdateSilenceThreshold();
}

void TSlotInfo::FlushConfig()
{
  WriteSlotSettings(fIniFile, fIndex, fSettings);
  fIniFile.UpdateFile();
}

void TSlotInfo::LogMessage(const std::string& iMessage)
{
  if (fOnLogMessage)
    fOnLogMessage(this, Settings(&TSlotSettings::Name) + ": " + iMessage);
}
