#include "slots/SlotSettingsKeys.h"

#include "lib/Errors.h"
#include "lib/IniFile.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotPlugin.h"
#include "slots/SlotSettingsCheck.h"

#include <algorithm>
#include <limits>
#include <type_traits>

namespace
{
const std::string General = "General";

std::string WithDelimiter(const std::string& iFolder)
{
  return iFolder.empty() || iFolder.back() == '/' ? iFolder : iFolder + "/";
}

std::string Section(int iIndex)
{
  return Format("Slot%d", iIndex);
}

// A row under construction.
struct TRow
{
  TSlotSettingKey Row;

  TRow& Use(TSettingUse iUse)
  {
    Row.Use = iUse;
    return *this;
  }
  TRow& Effect(TSettingEffect iEffect)
  {
    Row.Effect = iEffect;
    return *this;
  }
  TRow& RunsCode(TCodeRule iRule)
  {
    Row.CodeRule = iRule;
    return *this;
  }
  TRow& Range(TValueRange iRange, bool iUpDown = false)
  {
    Row.Range = iRange;
    Row.UpDown = iUpDown;
    return *this;
  }
  TRow& StoredRange(TValueRange iRange)
  {
    Row.StoredRange = iRange;
    return *this;
  }
  TRow& Suggest(std::vector<std::string> iValues)
  {
    Row.Suggestions = std::move(iValues);
    return *this;
  }
  TRow& DefaultFrom(std::string iSource, std::function<TSettingValue(const TSettingDefaults&)> iDefault)
  {
    Row.DefaultSource = std::move(iSource);
    Row.DefaultOf = std::move(iDefault);
    return *this;
  }
  TRow& OnPage(const char* iGroup, int iOrder, const char* iLabel, const char* iNote = "")
  {
    Row.Page.Group = iGroup;
    Row.Page.Order = iOrder;
    Row.Page.Label = iLabel;
    Row.Page.Note = iNote;
    return *this;
  }
  TRow& Captions(std::vector<std::string> iCaptions)
  {
    Row.Page.Captions = std::move(iCaptions);
    return *this;
  }
  TRow& Role(const char* iRole)
  {
    Row.Page.Role = iRole;
    return *this;
  }
  operator TSlotSettingKey() const { return Row; }
};

template <typename TAccess> TRow Bind(const char* iKey, TSettingKind iKind, TSettingValue iDefault, TAccess iAccess)
{
  TRow row;
  row.Row.Key = iKey;
  row.Row.Kind = iKind;
  row.Row.Default = std::move(iDefault);
  row.Row.Get = [iAccess](const TSlotSettings& iSettings) -> TSettingValue
  {
    const auto& value = iAccess(iSettings);
    if constexpr (std::is_enum_v<std::remove_cvref_t<decltype(value)>>)
      return static_cast<int>(value);
    else
      return value;
  };
  row.Row.Set = [iAccess](TSlotSettings& ioSettings, const TSettingValue& iValue)
  {
    auto& member = iAccess(ioSettings);
    using TMember = std::remove_cvref_t<decltype(member)>;
    if constexpr (std::is_enum_v<TMember>)
      member = static_cast<TMember>(std::get<int>(iValue));
    else
      member = std::get<TMember>(iValue);
  };
  return row;
}

template <typename TAccess> TRow Text(const char* iKey, TAccess iAccess)
{
  return Bind(iKey, skText, std::string(), iAccess);
}

template <typename TAccess> TRow Switch(const char* iKey, bool iDefault, TAccess iAccess)
{
  return Bind(iKey, skSwitch, iDefault, iAccess);
}

template <typename TAccess> TRow Number(const char* iKey, int iDefault, TAccess iAccess)
{
  return Bind(iKey, skNumber, iDefault, iAccess);
}

// An enumeration of iCount values from 0, each written as its word.
template <typename TEnum, typename TAccess>
TRow Word(const char* iKey, TEnum iDefault, std::string (*iText)(TEnum), int iCount, TAccess iAccess)
{
  TRow row = Bind(iKey, skWord, static_cast<int>(iDefault), iAccess);
  for (int i = 0; i < iCount; ++i)
    row.Row.Choices.push_back(iText(static_cast<TEnum>(i)));
  return row;
}

TSettingValue GeneralNumber(const TSettingDefaults& iDefaults, const char* iKey, int iDefault)
{
  return iDefaults.Ini.ReadInteger(General, iKey, iDefault);
}

#define MEMBER(path)                                                                                                   \
  [](auto& ioSettings) -> auto&                                                                                        \
  {                                                                                                                    \
    return ioSettings.path;                                                                                            \
  }

std::vector<TSlotSettingKey> BuildKeys()
{
  return {
      Switch("Enabled", true, MEMBER(Enabled)).Use(suStored),
      Text("Name", MEMBER(Name))
          .DefaultFrom("Slot <number>", [](const TSettingDefaults& iDefaults)
                       { return TSettingValue(Format("Slot %d", iDefaults.Index + 1)); })
          .OnPage("General", 10, "Name/Description:"),
      Text("Folder", MEMBER(Output.Folder))
          .Effect(seNewFile)
          .DefaultFrom("<music folder>/Tapevault/<Name>",
                       [](const TSettingDefaults& iDefaults) {
                         return TSettingValue(WithDelimiter(SpecialFolderPath(CSIDL_MYMUSIC)) + "Tapevault/" +
                                              iDefaults.Read.Name);
                       })
          .OnPage("Output", 30, "Folder:"),
      Text("SecondaryFolder", MEMBER(Output.SecondaryFolder)).OnPage("Output", 31, "Secondary folder:"),
      Switch("FlatFilenames", false, MEMBER(Output.FlatFilenames))
          .Effect(seNewFile)
          .OnPage("Output", 34, "Use flat filenames (no subfolders)"),
      Switch("NoAutoRotate", false, MEMBER(TimeSlots.NoAutoRotate))
          .OnPage("Time slots", 50, "Disable auto rotation (infinite/manual recording length)"),
      Number("TimeSlotLength", 60, MEMBER(TimeSlots.Length))
          .DefaultFrom("General/TimeSlotLength",
                       [](const TSettingDefaults& iDefaults) { return GeneralNumber(iDefaults, "TimeSlotLength", 60); })
          .OnPage("Time slots", 51, "Recording length:", "minutes per file"),
      Switch("TimeSlotAlign", true, MEMBER(TimeSlots.Align)).OnPage("Time slots", 52, "Align to the top of the hour"),
      Number("TimeSlotOffset", 0, MEMBER(TimeSlots.Offset))
          .DefaultFrom("General/TimeSlotOffset",
                       [](const TSettingDefaults& iDefaults) { return GeneralNumber(iDefaults, "TimeSlotOffset", 0); })
          .OnPage("Time slots", 53, "Offset for alignment:", "seconds"),
      Switch("CueSheet", false, MEMBER(Output.CueSheet)).OnPage("Cue sheet", 60, "Create cue sheet (streams only)"),
      Word("Source", rsDisabled, &RecordSourceText, 3, MEMBER(Input.Source))
          .Effect(seRestartInput)
          .OnPage("Input", 20, "Source:")
          .Captions({"Disabled", "Sound card", "Stream URL"})
          .Role("source"),
      Word("Channels", rcStereo, &RecordChannelsText, 3, MEMBER(Input.Channels))
          .OnPage("Input", 26, "Channels:")
          .Captions({"Stereo", "Left", "Right"}),
      Text("Device", MEMBER(Input.Device)).Effect(seRestartInput).OnPage("Input", 21, "Sound card:").Role("device"),
      Switch("16bit", false, MEMBER(Input.Record16bit)).OnPage("Input", 25, "Record in 16 bit"),
      Number("NominalLevel", 0, MEMBER(Input.NominalLevel))
          .Range(NominalLevelRange, true)
          .StoredRange({std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()})
          .OnPage("Input", 23, "Nominal level:", "dBFS"),
      Text("StreamURL", MEMBER(Input.StreamURL))
          .Effect(seRestartInput)
          .OnPage("Input", 22, "Stream URL:")
          .Role("stream-url"),
      Number("RecordDelay", 0, MEMBER(Input.RecordDelay))
          .Range(RecordDelayRange, true)
          .OnPage("Input", 24, "Record delay:", "seconds"),
      Word("Format", sfMP3, &StreamingFormatText, 8, MEMBER(Output.Format))
          .Effect(seNewFile)
          .RunsCode(crCustomFormat)
          .OnPage("Output", 35, "Format:")
          .Captions({"MP3", "MP2", "Ogg Vorbis", "WAV (16 bit)", "WAV (32 bit)", "Custom (with WAV header)",
                     "Custom (raw PCM)", "No recording"})
          .Role("format"),
      Text("DatabaseFile", MEMBER(Output.DatabaseFile)).Use(suStored),
      Text("FilenamePrefix", MEMBER(Output.FilenamePrefix)).OnPage("Output", 32, "Filename prefix:"),
      Text("CustomFilename", MEMBER(Output.CustomFilename))
          .OnPage("Output", 33, "Filename format:", "(blank = default)"),
      Text("FileExtension", MEMBER(Output.FileExtension))
          .OnPage("Output", 36, "File extension:")
          .Role("file-extension"),
      Number("Bitrate", 128, MEMBER(Output.Bitrate))
          .Effect(seNewFile)
          .Suggest(BitrateChoices())
          .OnPage("Output", 38, "Bit rate:", "kbit/s")
          .Role("bitrate"),
      Number("Samplerate", 44100, MEMBER(Input.Samplerate))
          .Suggest(SamplerateChoices())
          .OnPage("Output", 39, "Sample rate:", "Hz (effective after restart)"),
      Word("Mode", smStereo, &StreamingModeText, 3, MEMBER(Output.Mode))
          .Effect(seNewFile)
          .OnPage("Output", 37, "Mode:")
          .Captions({"Mono", "Stereo", "Joint Stereo"}),
      Text("EncoderOptions", MEMBER(Output.EncoderOptions))
          .Effect(seNewFile)
          .RunsCode(crAnyChange)
          .OnPage("Output", 41, "Encoder options:"),
      Text("EncoderFilename", MEMBER(Output.EncoderFilename))
          .Effect(seNewFile)
          .RunsCode(crAnyChange)
          .OnPage("Output", 40, "Encoder filename:"),
      Switch("CleanupDaysEnabled", true, MEMBER(Cleanup.DaysEnabled))
          .OnPage("Cleanup", 70, "Delete recordings older than"),
      Switch("CleanupSpaceEnabled", true, MEMBER(Cleanup.SpaceEnabled))
          .OnPage("Cleanup", 72, "Delete recordings when disk space is below"),
      Number("CleanupDays", 365, MEMBER(Cleanup.Days))
          .Range(CleanupDaysRange, true)
          .OnPage("Cleanup", 71, "", "days")
          .Role("days"),
      Number("CleanupSpace", 5, MEMBER(Cleanup.Space)).Range(CleanupSpaceRange, true).OnPage("Cleanup", 73, "", "GB"),
      Number("SilenceThreshold", -30, MEMBER(Silence.Threshold))
          .Range(SilenceThresholdRange, true)
          .OnPage("Silence alarm", 80, "Silence threshold:", "dBFS"),
      Number("SilenceDetection", 0, MEMBER(Silence.Detection))
          .Range(SilenceDetectionRange, true)
          .OnPage("Silence alarm", 81, "Alarm after:", "seconds (0 = disable)"),
      Switch("SilenceDetectionIfInactive", false, MEMBER(Silence.DetectionIfInactive))
          .OnPage("Silence alarm", 82, "Perform silence detection even if slot is inactive."),
      Switch("StreamingEnabled", false, MEMBER(OutputStream.Enabled)).OnPage("Streaming", 90, "Enable Streaming"),
      Switch("StreamingOnly", false, MEMBER(OutputStream.Only)).OnPage("Streaming", 91, "Stream only (no recording)"),
      Text("StreamingHost", MEMBER(OutputStream.Host)).OnPage("Streaming", 93, "Hostname/IP:"),
      Switch("StreamingServerMode", false, MEMBER(OutputStream.ServerMode))
          .OnPage("Streaming", 92, "Internal server mode"),
      Number("StreamingPort", 8000, MEMBER(OutputStream.Port)).Range({0, 65535}).OnPage("Streaming", 94, "Port:"),
      Text("StreamingMountPoint", MEMBER(OutputStream.MountPoint))
          .OnPage("Streaming", 95, "Mount point:", "(Icecast only)"),
      Text("StreamingStreamID", MEMBER(OutputStream.StreamID))
          .OnPage("Streaming", 96, "Stream ID:", "(Shoutcast v2 only)"),
      Text("StreamingPassword", MEMBER(OutputStream.Password))
          .Use(suSecret)
          .OnPage("Streaming", 97, "Password:", "leave empty to keep"),
      Text("StreamingMimeType", MEMBER(OutputStream.MimeType))
          .OnPage("Streaming", 98, "MIME type:", "(leave empty for default)"),
      Text("StreamingTitle", MEMBER(OutputStream.Title)).OnPage("Streaming", 99, "Title:"),
      Text("StreamingURL", MEMBER(OutputStream.URL)).OnPage("Streaming", 100, "URL:"),
      Text("StreamingGenre", MEMBER(OutputStream.Genre)).OnPage("Streaming", 101, "Genre:"),
      Text("StreamingAIM", MEMBER(OutputStream.AIM)).OnPage("Streaming", 102, "AIM:"),
      Text("StreamingIRC", MEMBER(OutputStream.IRC)).OnPage("Streaming", 103, "IRC:"),
      Text("StreamingICQ", MEMBER(OutputStream.ICQ)).OnPage("Streaming", 104, "ICQ:"),
      Text("StreamingDescription", MEMBER(OutputStream.Description)).OnPage("Streaming", 105, "Description:"),
      Switch("StreamingPublic", false, MEMBER(OutputStream.Public))
          .OnPage("Streaming", 106, "Stream is public (list in directories)"),
      Switch("StreamingForwardMetadata", false, MEMBER(OutputStream.ForwardMetadata))
          .OnPage("Streaming", 107, "Forward metadata"),
      Switch("SendEmailSilenceDetected", false, MEMBER(Silence.EmailDetected))
          .OnPage("Silence alarm", 83, "Send e-mail when silence is detected"),
      Switch("SendEmailSilenceOK", false, MEMBER(Silence.EmailOK))
          .OnPage("Silence alarm", 84, "Send e-mail when silence is OK again"),
      Text("HTTPAlarmSilenceDetected", MEMBER(Silence.HTTPAlarmDetected))
          .OnPage("Silence alarm", 85, "HTTP call, silence detected:"),
      Text("HTTPAlarmSilenceOK", MEMBER(Silence.HTTPAlarmOK)).OnPage("Silence alarm", 86, "HTTP call, silence OK:"),
      Text("WinampPlugin", MEMBER(Plugin.Library))
          .Effect(seReloadPlugin)
          .RunsCode(crPluginOutsideFolders)
          .OnPage("Input", 27, "LADSPA plugin:", "library.so:label")
          .Role("plugin"),
      Switch("WinampPluginStreamOnly", false, MEMBER(Plugin.StreamOnly))
          .Effect(seReloadPlugin)
          .OnPage("Input", 28, "Plugin for the stream only"),
      Text("WinampPluginControls", MEMBER(Plugin.Controls))
          .Effect(seReloadPlugin)
          .OnPage("Input", 29, "Plugin controls:", "name=value;..."),

      Switch("ASIOWorkaround", false, MEMBER(Input.ASIOWorkaround)).Use(suHandTuned),
      Number("ExtraSleep", 0, MEMBER(Input.ExtraSleep)).Use(suHandTuned),
      Text("ClockSource", MEMBER(Input.ClockSource))
          .Use(suHandTuned)
          .DefaultFrom("General/DefaultClockSource", [](const TSettingDefaults& iDefaults)
                       { return TSettingValue(iDefaults.Ini.ReadString(General, "DefaultClockSource", "")); }),
      Number("EncoderQueueLength", 6000, MEMBER(Output.EncoderQueueLength)).Use(suHandTuned),
      Number("StreamingConnectDelay", 0, MEMBER(OutputStream.ConnectDelay))
          .Use(suHandTuned)
          .DefaultFrom("General/StreamingConnectDelay", [](const TSettingDefaults& iDefaults)
                       { return GeneralNumber(iDefaults, "StreamingConnectDelay", 0); }),
      Text("StreamingTitleFilename", MEMBER(OutputStream.TitleFilename))
          .Use(suHandTuned)
          .DefaultFrom("<Folder>/streamtitle.txt", [](const TSettingDefaults& iDefaults)
                       { return TSettingValue(WithDelimiter(iDefaults.Read.Output.Folder) + "streamtitle.txt"); }),
  };
}

#undef MEMBER

TSettingValue ReadValue(const TSlotSettingKey& iKey, TIniFile& iIni, const std::string& iSection,
                        const TSettingValue& iDefault)
{
  switch (iKey.Kind)
  {
  case skSwitch:
    return iIni.ReadString(iSection, iKey.Key, std::get<bool>(iDefault) ? "on" : "off") == "on";
  case skNumber:
  {
    const int value = iIni.ReadInteger(iSection, iKey.Key, std::get<int>(iDefault));
    return iKey.StoredRange ? LimitToRange(value, *iKey.StoredRange) : value;
  }
  case skWord:
  {
    const std::string word = iIni.ReadString(iSection, iKey.Key, iKey.Text(iDefault));
    const auto found = std::find(iKey.Choices.begin(), iKey.Choices.end(), word);
    return found == iKey.Choices.end() ? 0 : static_cast<int>(found - iKey.Choices.begin());
  }
  default:
    return iIni.ReadString(iSection, iKey.Key, std::get<std::string>(iDefault));
  }
}

bool RunsCodeAfter(const TSlotSettingKey& iKey, const TSlotSettings& iOld, const TSlotSettings& iNew)
{
  if (iKey.CodeRule == crNever || iKey.Same(iOld, iNew))
    return false;
  switch (iKey.CodeRule)
  {
  case crCustomFormat:
    return IsCustomFormat(iNew.Output.Format);
  case crPluginOutsideFolders:
    return !PluginInSearchFolders(iNew.Plugin.Library);
  default:
    return true;
  }
}
} // namespace

std::string TSlotSettingKey::Text(const TSettingValue& iValue) const
{
  switch (Kind)
  {
  case skSwitch:
    return std::get<bool>(iValue) ? "on" : "off";
  case skNumber:
    return std::to_string(std::get<int>(iValue));
  case skWord:
    return Choices.at(static_cast<size_t>(std::get<int>(iValue)));
  default:
    return std::get<std::string>(iValue);
  }
}

const std::vector<TSlotSettingKey>& SlotSettingKeys()
{
  static const std::vector<TSlotSettingKey> keys = BuildKeys();
  return keys;
}

const TSlotSettingKey* FindSlotSettingKey(const std::string& iKey)
{
  for (const TSlotSettingKey& key : SlotSettingKeys())
    if (key.Key == iKey)
      return &key;
  return nullptr;
}

TSlotSettings ReadSlotSettings(TIniFile& iIni, int iIndex, bool iAlarmOnly)
{
  TSlotSettings settings;
  const std::string section = Section(iIndex);
  const TSettingDefaults defaults{iIni, iIndex, settings};
  for (const TSlotSettingKey& key : SlotSettingKeys())
    key.Set(settings, ReadValue(key, iIni, section, key.DefaultOf ? key.DefaultOf(defaults) : key.Default));
  // An alarm-only slot never records.
  if (iAlarmOnly)
    settings.Output.Format = sfNone;
  return settings;
}

void WriteSlotSettings(TIniFile& iIni, int iIndex, const TSlotSettings& iSettings)
{
  const std::string section = Section(iIndex);
  for (const TSlotSettingKey& key : SlotSettingKeys())
    if (key.Use != suHandTuned)
      iIni.WriteString(section, key.Key, key.Text(key.Get(iSettings)));
}

TSlotSettingsEffects CompareSlotSettings(const TSlotSettings& iOld, const TSlotSettings& iNew)
{
  TSlotSettingsEffects effects;
  for (const TSlotSettingKey& key : SlotSettingKeys())
    if (!key.Same(iOld, iNew))
    {
      effects.Input = effects.Input || key.Effect == seRestartInput;
      effects.Output = effects.Output || key.Effect == seNewFile;
      effects.Plugin = effects.Plugin || key.Effect == seReloadPlugin;
    }
  return effects;
}

std::vector<std::string> ChangedSlotKeys(const TSlotSettings& iOld, const TSlotSettings& iNew)
{
  std::vector<std::string> result;
  for (const TSlotSettingKey& key : SlotSettingKeys())
    if (key.Edited() && !key.Same(iOld, iNew))
      result.push_back(key.Key);
  return result;
}

std::vector<std::string> ChangedProgramKeys(const TSlotSettings& iOld, const TSlotSettings& iNew)
{
  std::vector<std::string> result;
  for (const TSlotSettingKey& key : SlotSettingKeys())
    if (RunsCodeAfter(key, iOld, iNew))
      result.push_back(key.Key);
  return result;
}

TSlotSettings LimitedToRanges(TSlotSettings iSettings)
{
  for (const TSlotSettingKey& key : SlotSettingKeys())
    if (key.UpDown)
      key.Set(iSettings, LimitToRange(std::get<int>(key.Get(iSettings)), *key.Range));
  return iSettings;
}
