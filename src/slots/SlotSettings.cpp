// Reading and writing a slot's settings, its identity and its log path.

#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"

#include <algorithm>
#include <limits>

namespace
{
const std::string General = "General";

std::string WithDelimiter(const std::string& iFolder)
{
  return iFolder.empty() || iFolder.back() == '/' ? iFolder : iFolder + "/";
}
} // namespace

TSlotInfo::TSlotInfo(TIniFile& iIniFile, int iIndex, bool iAlarmOnly)
    : fIniFile(iIniFile), fSection(Format("Slot%d", iIndex)), fIndex(iIndex), fAlarmOnly(iAlarmOnly),
      fRecorder(Format("SlotWorker %d", iIndex), [this](const std::string& iText) { LogMessage(iText); })
{
  // Identity and input
  fName = ReadText("Name", Format("Slot %d", iIndex + 1));
  fEnabled = ReadSwitch("Enabled", true);
  fRecordSource = RecordSourceFromText(ReadText("Source", ""));
  fDevice = ReadText("Device", "");
  fStreamURL = ReadText("StreamURL", "");
  fRecordChannels = RecordChannelsFromText(ReadText("Channels", ""));
  fRecord16Bit = ReadSwitch("16bit", false);
  fASIOWorkaround = ReadSwitch("ASIOWorkaround", false);
  fExtraSleep = ReadNumber("ExtraSleep", 0);
  fRecordDelay = ReadNumber("RecordDelay", 0);
  // Kept in 16 bits: a value outside that range is clamped rather than wrapped.
  fNominalLevel = static_cast<int16_t>(std::clamp<int>(
      ReadNumber("NominalLevel", 0), std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
  fClockSource = ReadText("ClockSource", fIniFile.ReadString(General, "DefaultClockSource", ""));
  fSampleRate = ReadNumber("Samplerate", 44100);
  fEffectiveSamplerate = fSampleRate;

  // Output format; an alarm-only slot never records.
  fAudioFormat = fAlarmOnly ? sfNone : StreamingFormatFromText(ReadText("Format", "mp3"));
  fFileExtension = ReadText("FileExtension", "");
  fBitrate = ReadNumber("Bitrate", 128);
  fMode = StreamingModeFromText(ReadText("Mode", "stereo"));
  fEncoderOptions = ReadText("EncoderOptions", "");
  fEncoderFilename = ReadText("EncoderFilename", "");
  fEncoderQueueLength = ReadNumber("EncoderQueueLength", 6000);

  // Files and rotation; the default folder uses the name just read.
  fFolder = ReadText("Folder", WithDelimiter(SpecialFolderPath(CSIDL_MYMUSIC)) + "Tapevault/" + fName);
  fSecondaryFolder = ReadText("SecondaryFolder", "");
  fFilenamePrefix = ReadText("FilenamePrefix", "");
  fCustomFilename = ReadText("CustomFilename", "");
  fFlatFilenames = ReadSwitch("FlatFilenames", false);
  fNoAutoRotate = ReadSwitch("NoAutoRotate", false);
  fTimeSlotLength = ReadNumber("TimeSlotLength", fIniFile.ReadInteger(General, "TimeSlotLength", 60));
  fTimeSlotAlign = ReadSwitch("TimeSlotAlign", true);
  fTimeSlotOffset = ReadNumber("TimeSlotOffset", fIniFile.ReadInteger(General, "TimeSlotOffset", 0));
  fCueSheet = ReadSwitch("CueSheet", false);

  // Database and cleanup; the common database folder is only read from "General".
  fDatabaseFile = ReadText("DatabaseFile", "");
  fDatabaseFolder = fIniFile.ReadString(General, "DatabaseFolder", "");
  fCleanupDaysEnabled = ReadSwitch("CleanupDaysEnabled", true);
  fCleanupDays = ReadNumber("CleanupDays", 365);
  fCleanupSpaceEnabled = ReadSwitch("CleanupSpaceEnabled", true);
  fCleanupSpace = ReadNumber("CleanupSpace", 5);

  // Silence detection and alarms
  SetSilenceThreshold(ReadNumber("SilenceThreshold", -30));
  fSilenceDection = ReadNumber("SilenceDetection", 0);
  fSilenceDetectionIfInactive = ReadSwitch("SilenceDetectionIfInactive", false);
  fSendEmailSilenceDetected = ReadSwitch("SendEmailSilenceDetected", false);
  fSendEmailSilenceOK = ReadSwitch("SendEmailSilenceOK", false);
  fHTTPAlarmSilenceDetected = ReadText("HTTPAlarmSilenceDetected", "");
  fHTTPAlarmSilenceOK = ReadText("HTTPAlarmSilenceOK", "");

  // Streaming output; the default title file lies in the folder just read.
  fStreamingEnabled = ReadSwitch("StreamingEnabled", false);
  fStreamingOnly = ReadSwitch("StreamingOnly", false);
  fStreamingHost = ReadText("StreamingHost", "");
  fStreamingServerMode = ReadSwitch("StreamingServerMode", false);
  fStreamingPort = ReadNumber("StreamingPort", 8000);
  fStreamingMountPoint = ReadText("StreamingMountPoint", "");
  fStreamingStreamID = ReadText("StreamingStreamID", "");
  fStreamingPassword = ReadText("StreamingPassword", "");
  fStreamingMimeType = ReadText("StreamingMimeType", "");
  fStreamingTitle = ReadText("StreamingTitle", "");
  fStreamingURL = ReadText("StreamingURL", "");
  fStreamingGenre = ReadText("StreamingGenre", "");
  fStreamingAIM = ReadText("StreamingAIM", "");
  fStreamingIRC = ReadText("StreamingIRC", "");
  fStreamingICQ = ReadText("StreamingICQ", "");
  fStreamingDescription = ReadText("StreamingDescription", "");
  fStreamingPublic = ReadSwitch("StreamingPublic", false);
  fStreamingForwardMetadata = ReadSwitch("StreamingForwardMetadata", false);
  fStreamingCurrentTitleFilename = ReadText("StreamingTitleFilename", WithDelimiter(fFolder) + "streamtitle.txt");
  fStreamingConnectDelay =
      ReadNumber("StreamingConnectDelay", fIniFile.ReadInteger(General, "StreamingConnectDelay", 0));

  // Sound-processing plug-in
  fWinampPlugin = ReadText("WinampPlugin", "");
  fWinampPluginStreamOnly = ReadSwitch("WinampPluginStreamOnly", false);
  fWinampPluginControls = ReadText("WinampPluginControls", "");
  fPlugin = std::make_unique<TSlotPlugin>([this](const std::string& iText) { LogMessage(iText); });
}

std::string TSlotInfo::ReadText(const std::string& iKey, const std::string& iDefault)
{
  return fIniFile.ReadString(fSection, iKey, iDefault);
}

int TSlotInfo::ReadNumber(const std::string& iKey, int iDefault)
{
  return fIniFile.ReadInteger(fSection, iKey, iDefault);
}

bool TSlotInfo::ReadSwitch(const std::string& iKey, bool iDefault)
{
  // A switch is on exactly for "on"; "On", "1" and anything else are off.
  return ReadText(iKey, iDefault ? "on" : "off") == "on";
}

void TSlotInfo::WriteSwitch(const std::string& iKey, bool iValue)
{
  fIniFile.WriteString(fSection, iKey, iValue ? "on" : "off");
}

void TSlotInfo::FlushConfig()
{
  auto text = [this](const char* iKey, const std::string& iValue) { fIniFile.WriteString(fSection, iKey, iValue); };
  auto number = [this](const char* iKey, int iValue) { fIniFile.WriteInteger(fSection, iKey, iValue); };
  WriteSwitch("Enabled", fEnabled);
  text("Name", fName);
  text("Folder", fFolder);
  text("SecondaryFolder", fSecondaryFolder);
  WriteSwitch("FlatFilenames", fFlatFilenames);
  WriteSwitch("NoAutoRotate", fNoAutoRotate);
  number("TimeSlotLength", fTimeSlotLength);
  WriteSwitch("TimeSlotAlign", fTimeSlotAlign);
  number("TimeSlotOffset", fTimeSlotOffset);
  WriteSwitch("CueSheet", fCueSheet);
  text("Source", RecordSourceText(fRecordSource));
  text("Channels", RecordChannelsText(fRecordChannels));
  text("Device", fDevice);
  WriteSwitch("16bit", fRecord16Bit);
  number("NominalLevel", fNominalLevel);
  text("StreamURL", fStreamURL);
  number("RecordDelay", fRecordDelay);
  text("Format", StreamingFormatText(fAudioFormat));
  text("DatabaseFile", fDatabaseFile);
  text("FilenamePrefix", fFilenamePrefix);
  text("CustomFilename", fCustomFilename);
  text("FileExtension", fFileExtension);
  number("Bitrate", fBitrate);
  number("Samplerate", fSampleRate);
  text("Mode", StreamingModeText(fMode));
  text("EncoderOptions", fEncoderOptions);
  text("EncoderFilename", fEncoderFilename);
  WriteSwitch("CleanupDaysEnabled", fCleanupDaysEnabled);
  WriteSwitch("CleanupSpaceEnabled", fCleanupSpaceEnabled);
  number("CleanupDays", fCleanupDays);
  number("CleanupSpace", fCleanupSpace);
  number("SilenceThreshold", fSilenceThreshold);
  number("SilenceDetection", fSilenceDection);
  WriteSwitch("SilenceDetectionIfInactive", fSilenceDetectionIfInactive);
  WriteSwitch("StreamingEnabled", fStreamingEnabled);
  WriteSwitch("StreamingOnly", fStreamingOnly);
  text("StreamingHost", fStreamingHost);
  WriteSwitch("StreamingServerMode", fStreamingServerMode);
  number("StreamingPort", fStreamingPort);
  text("StreamingMountPoint", fStreamingMountPoint);
  text("StreamingStreamID", fStreamingStreamID);
  text("StreamingPassword", fStreamingPassword);
  text("StreamingMimeType", fStreamingMimeType);
  text("StreamingTitle", fStreamingTitle);
  text("StreamingURL", fStreamingURL);
  text("StreamingGenre", fStreamingGenre);
  text("StreamingAIM", fStreamingAIM);
  text("StreamingIRC", fStreamingIRC);
  text("StreamingICQ", fStreamingICQ);
  text("StreamingDescription", fStreamingDescription);
  WriteSwitch("StreamingPublic", fStreamingPublic);
  WriteSwitch("StreamingForwardMetadata", fStreamingForwardMetadata);
  WriteSwitch("SendEmailSilenceDetected", fSendEmailSilenceDetected);
  WriteSwitch("SendEmailSilenceOK", fSendEmailSilenceOK);
  text("HTTPAlarmSilenceDetected", fHTTPAlarmSilenceDetected);
  text("HTTPAlarmSilenceOK", fHTTPAlarmSilenceOK);
  text("WinampPlugin", fWinampPlugin);
  WriteSwitch("WinampPluginStreamOnly", fWinampPluginStreamOnly);
  text("WinampPluginControls", fWinampPluginControls);
  fIniFile.UpdateFile();
}

void TSlotInfo::LogMessage(const std::string& iMessage)
{
  if (fOnLogMessage)
    fOnLogMessage(this, Name() + ": " + iMessage);
}
