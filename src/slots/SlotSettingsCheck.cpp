#include "slots/SlotSettingsCheck.h"

#include "lib/Errors.h"
#include "slots/SlotInfo.h"

#include <algorithm>
#include <charconv>

TSlotEdit ReadSlotEdit(const TSlotInfo& iSlot)
{
  TSlotEdit e;
  e.Name = iSlot.Name();
  e.RecordSource = iSlot.RecordSource();
  e.Device = iSlot.Device();
  e.StreamURL = iSlot.StreamURL();
  e.NominalLevel = iSlot.NominalLevel();
  e.RecordDelay = iSlot.RecordDelay();
  e.Record16bit = iSlot.Record16bit();
  e.RecordChannels = iSlot.RecordChannels();
  e.WinampPlugin = iSlot.WinampPlugin();
  e.WinampPluginStreamOnly = iSlot.WinampPluginStreamOnly();
  e.WinampPluginControls = iSlot.WinampPluginControls();

  e.Folder = iSlot.Folder();
  e.SecondaryFolder = iSlot.SecondaryFolder();
  e.FilenamePrefix = iSlot.FilenamePrefix();
  e.CustomFilename = iSlot.CustomFilename();
  e.FlatFilenames = iSlot.FlatFilenames();
  e.CueSheet = iSlot.CueSheet();
  e.NoAutoRotate = iSlot.NoAutoRotate();
  e.TimeSlotLength = iSlot.TimeSlotLength();
  e.TimeSlotAlign = iSlot.TimeSlotAlign();
  e.TimeSlotOffset = iSlot.TimeSlotOffset();
  e.AudioFormat = iSlot.AudioFormat();
  e.FileExtension = iSlot.FileExtension();
  e.Mode = iSlot.Mode();
  e.Bitrate = iSlot.Bitrate();
  e.Samplerate = iSlot.Samplerate();
  e.EncoderFilename = iSlot.EncoderFilename();
  e.EncoderOptions = iSlot.EncoderOptions();

  e.CleanupDaysEnabled = iSlot.CleanupDaysEnabled();
  e.CleanupDays = iSlot.CleanupDays();
  e.CleanupSpaceEnabled = iSlot.CleanupSpaceEnabled();
  e.CleanupSpace = iSlot.CleanupSpace();

  e.StreamingEnabled = iSlot.StreamingEnabled();
  e.StreamingOnly = iSlot.StreamingOnly();
  e.StreamingHost = iSlot.StreamingHost();
  e.StreamingPort = iSlot.StreamingPort();
  e.StreamingServerMode = iSlot.StreamingServerMode();
  e.StreamingMountPoint = iSlot.StreamingMountPoint();
  e.StreamingStreamID = iSlot.StreamingStreamID();
  e.StreamingPassword = iSlot.StreamingPassword();
  e.StreamingMimeType = iSlot.StreamingMimeType();
  e.StreamingTitle = iSlot.StreamingTitle();
  e.StreamingURL = iSlot.StreamingURL();
  e.StreamingGenre = iSlot.StreamingGenre();
  e.StreamingAIM = iSlot.StreamingAIM();
  e.StreamingIRC = iSlot.StreamingIRC();
  e.StreamingICQ = iSlot.StreamingICQ();
  e.StreamingDescription = iSlot.StreamingDescription();
  e.StreamingPublic = iSlot.StreamingPublic();
  e.StreamingForwardMetadata = iSlot.StreamingForwardMetadata();

  e.SilenceThreshold = iSlot.SilenceThreshold();
  e.SilenceDetection = iSlot.SilenceDetection();
  e.SilenceDetectionIfInactive = iSlot.SilenceDetectionIfInactive();
  e.SendEmailSilenceDetected = iSlot.SendEmailSilenceDetected();
  e.SendEmailSilenceOK = iSlot.SendEmailSilenceOK();
  e.HTTPAlarmSilenceDetected = iSlot.HTTPAlarmSilenceDetected();
  e.HTTPAlarmSilenceOK = iSlot.HTTPAlarmSilenceOK();
  return e;
}

std::optional<std::string> CheckSlotEdit(const TSlotEdit& iEdit)
{
  if (iEdit.Folder.empty())
    return std::string(EmptyFolderMessage);
  return std::nullopt;
}

TSlotEditChanges CompareSlotEdits(const TSlotEdit& iOld, const TSlotEdit& iNew)
{
  TSlotEditChanges result;
  result.Input =
      iOld.RecordSource != iNew.RecordSource || iOld.Device != iNew.Device || iOld.StreamURL != iNew.StreamURL;
  result.Output = iOld.Folder != iNew.Folder || iOld.FlatFilenames != iNew.FlatFilenames ||
                  iOld.AudioFormat != iNew.AudioFormat || iOld.Bitrate != iNew.Bitrate || iOld.Mode != iNew.Mode ||
                  iOld.EncoderOptions != iNew.EncoderOptions || iOld.EncoderFilename != iNew.EncoderFilename;
  return result;
}

void ApplySlotEdit(TSlotInfo& iSlot, const TSlotEdit& iEdit)
{
  const auto lock = iSlot.LockSettings();
  iSlot.SetName(iEdit.Name);
  iSlot.SetRecordSource(iEdit.RecordSource);
  iSlot.SetDevice(iEdit.Device);
  iSlot.SetStreamURL(iEdit.StreamURL);
  iSlot.SetNominalLevel(static_cast<int16_t>(LimitToRange(iEdit.NominalLevel, NominalLevelRange)));
  iSlot.SetRecordDelay(LimitToRange(iEdit.RecordDelay, RecordDelayRange));
  iSlot.SetRecord16bit(iEdit.Record16bit);
  iSlot.SetRecordChannels(iEdit.RecordChannels);
  iSlot.SetWinampPlugin(iEdit.WinampPlugin);
  iSlot.SetWinampPluginStreamOnly(iEdit.WinampPluginStreamOnly);
  iSlot.SetWinampPluginControls(iEdit.WinampPluginControls);

  iSlot.SetFolder(iEdit.Folder);
  iSlot.SetSecondaryFolder(iEdit.SecondaryFolder);
  iSlot.SetFilenamePrefix(iEdit.FilenamePrefix);
  iSlot.SetCustomFilename(iEdit.CustomFilename);
  iSlot.SetFlatFilenames(iEdit.FlatFilenames);
  iSlot.SetCueSheet(iEdit.CueSheet);
  iSlot.SetNoAutoRotate(iEdit.NoAutoRotate);
  iSlot.SetTimeSlotLength(iEdit.TimeSlotLength);
  iSlot.SetTimeSlotAlign(iEdit.TimeSlotAlign);
  iSlot.SetTimeSlotOffset(iEdit.TimeSlotOffset);
  iSlot.SetAudioFormat(iSlot.AlarmOnly() ? sfNone : iEdit.AudioFormat);
  iSlot.SetFileExtension(iEdit.FileExtension);
  iSlot.SetMode(iEdit.Mode);
  iSlot.SetBitrate(iEdit.Bitrate);
  iSlot.SetSamplerate(iEdit.Samplerate);
  iSlot.SetEncoderFilename(iEdit.EncoderFilename);
  iSlot.SetEncoderOptions(iEdit.EncoderOptions);

  iSlot.SetCleanupDaysEnabled(iEdit.CleanupDaysEnabled);
  iSlot.SetCleanupDays(LimitToRange(iEdit.CleanupDays, CleanupDaysRange));
  iSlot.SetCleanupSpaceEnabled(iEdit.CleanupSpaceEnabled);
  iSlot.SetCleanupSpace(LimitToRange(iEdit.CleanupSpace, CleanupSpaceRange));

  iSlot.SetStreamingEnabled(iEdit.StreamingEnabled);
  iSlot.SetStreamingOnly(iEdit.StreamingOnly);
  iSlot.SetStreamingHost(iEdit.StreamingHost);
  iSlot.SetStreamingPort(iEdit.StreamingPort);
  iSlot.SetStreamingServerMode(iEdit.StreamingServerMode);
  iSlot.SetStreamingMountPoint(iEdit.StreamingMountPoint);
  iSlot.SetStreamingStreamID(iEdit.StreamingStreamID);
  iSlot.SetStreamingPassword(iEdit.StreamingPassword);
  iSlot.SetStreamingMimeType(iEdit.StreamingMimeType);
  iSlot.SetStreamingTitle(iEdit.StreamingTitle);
  iSlot.SetStreamingURL(iEdit.StreamingURL);
  iSlot.SetStreamingGenre(iEdit.StreamingGenre);
  iSlot.SetStreamingAIM(iEdit.StreamingAIM);
  iSlot.SetStreamingIRC(iEdit.StreamingIRC);
  iSlot.SetStreamingICQ(iEdit.StreamingICQ);
  iSlot.SetStreamingDescription(iEdit.StreamingDescription);
  iSlot.SetStreamingPublic(iEdit.StreamingPublic);
  iSlot.SetStreamingForwardMetadata(iEdit.StreamingForwardMetadata);

  iSlot.SetSilenceThreshold(LimitToRange(iEdit.SilenceThreshold, SilenceThresholdRange));
  iSlot.SetSilenceDetection(LimitToRange(iEdit.SilenceDetection, SilenceDetectionRange));
  iSlot.SetSilenceDetectionIfInactive(iEdit.SilenceDetectionIfInactive);
  iSlot.SetSendEmailSilenceDetected(iEdit.SendEmailSilenceDetected);
  iSlot.SetSendEmailSilenceOK(iEdit.SendEmailSilenceOK);
  iSlot.SetHTTPAlarmSilenceDetected(iEdit.HTTPAlarmSilenceDetected);
  iSlot.SetHTTPAlarmSilenceOK(iEdit.HTTPAlarmSilenceOK);
}

std::optional<int> ParseInteger(const std::string& iText)
{
  size_t begin = iText.find_first_not_of(" \t");
  if (begin == std::string::npos)
    return std::nullopt;
  const size_t end = iText.find_last_not_of(" \t") + 1;
  // from_chars takes no plus sign.
  if (iText[begin] == '+' && begin + 1 < end && iText[begin + 1] != '-')
    ++begin;
  int value = 0;
  const auto [stop, error] = std::from_chars(iText.data() + begin, iText.data() + end, value);
  if (error != std::errc() || stop != iText.data() + end)
    return std::nullopt;
  return value;
}

int IntegerOr(const std::string& iText, int iFallback)
{
  return ParseInteger(iText).value_or(iFallback);
}

int LimitToRange(int64_t iValue, TValueRange iRange)
{
  return static_cast<int>(std::clamp<int64_t>(iValue, iRange.Min, iRange.Max));
}

int UpDownPosition(const std::string& iText, int iCurrent, TValueRange iRange)
{
  const std::optional<int> typed = ParseInteger(iText);
  return typed ? LimitToRange(*typed, iRange) : iCurrent;
}

bool IsCustomFormat(TBassStreamingFormat iFormat)
{
  return iFormat == sfCustomWAV || iFormat == sfCustomRaw;
}

TBitrateListRule BitrateListRule(TBassStreamingFormat iFormat)
{
  switch (iFormat)
  {
  case sfMP3:
  case sfOggVorbis:
    return brOfferRates;
  case sfWAV16:
  case sfWAV32:
  case sfCustomWAV:
  case sfCustomRaw:
    return brClear;
  default:
    return brKeep;
  }
}

const std::vector<std::string>& BitrateChoices()
{
  static const std::vector<std::string> choices{"32",  "40",  "48",  "56",  "64",  "80",  "96",
                                                "112", "128", "160", "192", "224", "256", "320"};
  return choices;
}

const std::vector<std::string>& SamplerateChoices()
{
  static const std::vector<std::string> choices{"16000", "22050", "24000", "32000", "44100", "48000", "96000"};
  return choices;
}

std::string StorageEstimateText(const std::string& iBitrate, const std::string& iDays, TBassStreamingFormat iFormat)
{
  const int64_t bitrate = IntegerOr(iBitrate, 0);
  if (bitrate == 0 || IsCustomFormat(iFormat))
    return "days";
  const int64_t days = IntegerOr(iDays, 0);
  return Format("days (~%lld GB)", static_cast<long long>(bitrate * 128 * 86400 * days / (int64_t(1) << 30)));
}
