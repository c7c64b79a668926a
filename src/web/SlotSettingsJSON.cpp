#include "web/SlotSettingsJSON.h"

#include "lib/Errors.h"
#include "lib/PersistentStorage.h"
#include "slots/SlotPlugin.h"
#include "web/WebText.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

namespace
{
using TJson = nlohmann::json;
using TApply = std::function<void(TSlotEdit&)>;

// When a change of a key can make the program run other code: an encoder program and its command line, a
// custom format (whose options are a command line), a plug-in library from anywhere.
enum TCodeRule
{
  crNever,
  crAnyChange,
  crCustomFormat,
  crPluginOutsideFolders
};

// One key of the slot section: how it is written out, read from a request and compared.
struct TKey
{
  std::string Name;
  // Empty for a key that is never written out (a password).
  std::function<void(const TSlotEdit&, IPersistentObject&)> Write;
  // Nothing when the value is accepted (oApply then writes it), else the message.
  std::function<std::optional<std::string>(const TJson&, TApply& oApply)> Read;
  std::function<bool(const TSlotEdit&, const TSlotEdit&)> Same;
  TCodeRule CodeRule = crNever;
};

TKey RunsCode(TKey iKey, TCodeRule iRule)
{
  iKey.CodeRule = iRule;
  return iKey;
}

template <typename T> std::function<bool(const TSlotEdit&, const TSlotEdit&)> SameMember(T TSlotEdit::*iMember)
{
  return [iMember](const TSlotEdit& iLeft, const TSlotEdit& iRight) { return iLeft.*iMember == iRight.*iMember; };
}

TKey TextKey(const char* iName, std::string TSlotEdit::*iMember, bool iWriteOnly = false)
{
  TKey key{iName, nullptr, nullptr, SameMember(iMember)};
  if (!iWriteOnly)
    key.Write = [iName, iMember](const TSlotEdit& iEdit, IPersistentObject& oObject)
    { oObject.SetString(iName, iEdit.*iMember); };
  key.Read = [iMember](const TJson& iValue, TApply& oApply) -> std::optional<std::string>
  {
    if (!iValue.is_string())
      return "Must be a text.";
    if (HasControlCharacters(iValue.get<std::string>()))
      return ControlCharactersMessage;
    oApply = [iMember, text = iValue.get<std::string>()](TSlotEdit& ioEdit) { ioEdit.*iMember = text; };
    return std::nullopt;
  };
  return key;
}

TKey SwitchKey(const char* iName, bool TSlotEdit::*iMember)
{
  TKey key{iName, nullptr, nullptr, SameMember(iMember)};
  key.Write = [iName, iMember](const TSlotEdit& iEdit, IPersistentObject& oObject)
  { oObject.SetString(iName, iEdit.*iMember ? "on" : "off"); };
  key.Read = [iMember](const TJson& iValue, TApply& oApply) -> std::optional<std::string>
  {
    if (iValue != "on" && iValue != "off")
      return "Must be \"on\" or \"off\".";
    oApply = [iMember, on = iValue == "on"](TSlotEdit& ioEdit) { ioEdit.*iMember = on; };
    return std::nullopt;
  };
  return key;
}

constexpr TValueRange AnyInteger{std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};

TKey NumberKey(const char* iName, int TSlotEdit::*iMember, TValueRange iRange = AnyInteger)
{
  TKey key{iName, nullptr, nullptr, SameMember(iMember)};
  key.Write = [iName, iMember](const TSlotEdit& iEdit, IPersistentObject& oObject)
  { oObject.SetNumber(iName, iEdit.*iMember); };
  key.Read = [iMember, iRange](const TJson& iValue, TApply& oApply) -> std::optional<std::string>
  {
    if (!iValue.is_number_integer())
      return "Must be a whole number.";
    const auto number =
        iValue.is_number_unsigned() && iValue.get<uint64_t>() > uint64_t(INT64_MAX) ? INT64_MAX : iValue.get<int64_t>();
    if (number < iRange.Min || number > iRange.Max)
      return Format("Must be between %d and %d.", iRange.Min, iRange.Max);
    oApply = [iMember, value = static_cast<int>(number)](TSlotEdit& ioEdit) { ioEdit.*iMember = value; };
    return std::nullopt;
  };
  return key;
}

// An enumeration stored as a word; iCount values from 0, each with its own word.
template <typename TEnum>
TKey WordKey(const char* iName, TEnum TSlotEdit::*iMember, std::string (*iText)(TEnum), int iCount)
{
  TKey key{iName, nullptr, nullptr, SameMember(iMember)};
  key.Write = [iName, iMember, iText](const TSlotEdit& iEdit, IPersistentObject& oObject)
  { oObject.SetString(iName, iText(iEdit.*iMember)); };
  key.Read = [iMember, iText, iCount](const TJson& iValue, TApply& oApply) -> std::optional<std::string>
  {
    std::string words;
    for (int i = 0; i < iCount; ++i)
    {
      const auto value = static_cast<TEnum>(i);
      if (iValue.is_string() && iValue.get<std::string>() == iText(value))
      {
        oApply = [iMember, value](TSlotEdit& ioEdit) { ioEdit.*iMember = value; };
        return std::nullopt;
      }
      words += (i ? ", " : "") + iText(value);
    }
    return "Must be one of " + words + ".";
  };
  return key;
}

// The keys the slot dialog edits, in the order of the section.
const std::vector<TKey>& Keys()
{
  static const std::vector<TKey> keys{
      TextKey("Name", &TSlotEdit::Name),
      TextKey("Folder", &TSlotEdit::Folder),
      TextKey("SecondaryFolder", &TSlotEdit::SecondaryFolder),
      SwitchKey("FlatFilenames", &TSlotEdit::FlatFilenames),
      SwitchKey("NoAutoRotate", &TSlotEdit::NoAutoRotate),
      NumberKey("TimeSlotLength", &TSlotEdit::TimeSlotLength),
      SwitchKey("TimeSlotAlign", &TSlotEdit::TimeSlotAlign),
      NumberKey("TimeSlotOffset", &TSlotEdit::TimeSlotOffset),
      SwitchKey("CueSheet", &TSlotEdit::CueSheet),
      WordKey("Source", &TSlotEdit::RecordSource, &RecordSourceText, 3),
      WordKey("Channels", &TSlotEdit::RecordChannels, &RecordChannelsText, 3),
      TextKey("Device", &TSlotEdit::Device),
      SwitchKey("16bit", &TSlotEdit::Record16bit),
      NumberKey("NominalLevel", &TSlotEdit::NominalLevel, NominalLevelRange),
      TextKey("StreamURL", &TSlotEdit::StreamURL),
      NumberKey("RecordDelay", &TSlotEdit::RecordDelay, RecordDelayRange),
      RunsCode(WordKey("Format", &TSlotEdit::AudioFormat, &StreamingFormatText, 8), crCustomFormat),
      TextKey("FilenamePrefix", &TSlotEdit::FilenamePrefix),
      TextKey("CustomFilename", &TSlotEdit::CustomFilename),
      TextKey("FileExtension", &TSlotEdit::FileExtension),
      NumberKey("Bitrate", &TSlotEdit::Bitrate),
      NumberKey("Samplerate", &TSlotEdit::Samplerate),
      WordKey("Mode", &TSlotEdit::Mode, &StreamingModeText, 3),
      RunsCode(TextKey("EncoderOptions", &TSlotEdit::EncoderOptions), crAnyChange),
      RunsCode(TextKey("EncoderFilename", &TSlotEdit::EncoderFilename), crAnyChange),
      SwitchKey("CleanupDaysEnabled", &TSlotEdit::CleanupDaysEnabled),
      SwitchKey("CleanupSpaceEnabled", &TSlotEdit::CleanupSpaceEnabled),
      NumberKey("CleanupDays", &TSlotEdit::CleanupDays, CleanupDaysRange),
      NumberKey("CleanupSpace", &TSlotEdit::CleanupSpace, CleanupSpaceRange),
      NumberKey("SilenceThreshold", &TSlotEdit::SilenceThreshold, SilenceThresholdRange),
      NumberKey("SilenceDetection", &TSlotEdit::SilenceDetection, SilenceDetectionRange),
      SwitchKey("SilenceDetectionIfInactive", &TSlotEdit::SilenceDetectionIfInactive),
      SwitchKey("StreamingEnabled", &TSlotEdit::StreamingEnabled),
      SwitchKey("StreamingOnly", &TSlotEdit::StreamingOnly),
      TextKey("StreamingHost", &TSlotEdit::StreamingHost),
      SwitchKey("StreamingServerMode", &TSlotEdit::StreamingServerMode),
      NumberKey("StreamingPort", &TSlotEdit::StreamingPort, TValueRange{0, 65535}),
      TextKey("StreamingMountPoint", &TSlotEdit::StreamingMountPoint),
      TextKey("StreamingStreamID", &TSlotEdit::StreamingStreamID),
      TextKey("StreamingPassword", &TSlotEdit::StreamingPassword, true),
      TextKey("StreamingMimeType", &TSlotEdit::StreamingMimeType),
      TextKey("StreamingTitle", &TSlotEdit::StreamingTitle),
      TextKey("StreamingURL", &TSlotEdit::StreamingURL),
      TextKey("StreamingGenre", &TSlotEdit::StreamingGenre),
      TextKey("StreamingAIM", &TSlotEdit::StreamingAIM),
      TextKey("StreamingIRC", &TSlotEdit::StreamingIRC),
      TextKey("StreamingICQ", &TSlotEdit::StreamingICQ),
      TextKey("StreamingDescription", &TSlotEdit::StreamingDescription),
      SwitchKey("StreamingPublic", &TSlotEdit::StreamingPublic),
      SwitchKey("StreamingForwardMetadata", &TSlotEdit::StreamingForwardMetadata),
      SwitchKey("SendEmailSilenceDetected", &TSlotEdit::SendEmailSilenceDetected),
      SwitchKey("SendEmailSilenceOK", &TSlotEdit::SendEmailSilenceOK),
      TextKey("HTTPAlarmSilenceDetected", &TSlotEdit::HTTPAlarmSilenceDetected),
      TextKey("HTTPAlarmSilenceOK", &TSlotEdit::HTTPAlarmSilenceOK),
      RunsCode(TextKey("WinampPlugin", &TSlotEdit::WinampPlugin), crPluginOutsideFolders),
      SwitchKey("WinampPluginStreamOnly", &TSlotEdit::WinampPluginStreamOnly),
      TextKey("WinampPluginControls", &TSlotEdit::WinampPluginControls),
  };
  return keys;
}

const TKey* FindKey(const std::string& iName)
{
  for (const TKey& key : Keys())
    if (key.Name == iName)
      return &key;
  return nullptr;
}

bool RunsCodeAfter(const TKey& iKey, const TSlotEdit& iOld, const TSlotEdit& iNew)
{
  if (iKey.CodeRule == crNever || iKey.Same(iOld, iNew))
    return false;
  switch (iKey.CodeRule)
  {
  case crCustomFormat:
    return IsCustomFormat(iNew.AudioFormat);
  case crPluginOutsideFolders:
    return !PluginInSearchFolders(iNew.WinampPlugin);
  default:
    return true;
  }
}
} // namespace

void TSlotSettingsChange::ApplyTo(TSlotEdit& ioEdit) const
{
  const std::string host = ioEdit.StreamingHost;
  bool newPassword = false;
  for (const TMember& member : Members)
  {
    member.Apply(ioEdit);
    newPassword = newPassword || member.Key == "StreamingPassword";
  }
  // The stored password must not follow the stream to a server the requester chose.
  if (ioEdit.StreamingHost != host && !newPassword)
    ioEdit.StreamingPassword.clear();
}

IPersistentObjectRef SlotSettingsToJSON(const TSlotEdit& iEdit)
{
  auto object = std::make_shared<TPersistentObject>();
  for (const TKey& key : Keys())
    if (key.Write)
      key.Write(iEdit, *object);
  return object;
}

TSlotSettingsChange ParseSlotSettings(const std::string& iBody, std::vector<TSettingsMessage>& oMessages)
{
  TSlotSettingsChange change;
  const TJson body = TJson::parse(iBody, nullptr, false);
  if (!body.is_object())
  {
    oMessages.push_back({"", "The body must be a JSON object of settings."});
    return change;
  }
  for (const auto& [name, value] : body.items())
  {
    const TKey* key = FindKey(name);
    if (!key)
    {
      oMessages.push_back({name, "Unknown setting."});
      continue;
    }
    TApply apply;
    if (std::optional<std::string> message = key->Read(value, apply))
      oMessages.push_back({name, *message});
    else
      change.Members.push_back({name, std::move(apply)});
  }
  return change;
}

std::vector<std::string> ChangedSlotKeys(const TSlotEdit& iOld, const TSlotEdit& iNew)
{
  std::vector<std::string> result;
  for (const TKey& key : Keys())
    if (!key.Same(iOld, iNew))
      result.push_back(key.Name);
  return result;
}

std::vector<std::string> ChangedProgramKeys(const TSlotEdit& iOld, const TSlotEdit& iNew)
{
  std::vector<std::string> result;
  for (const TKey& key : Keys())
    if (RunsCodeAfter(key, iOld, iNew))
      result.push_back(key.Name);
  return result;
}

IPersistentObjectRef ProgramSettingsLockToJSON()
{
  auto settings = std::make_shared<TPersistentArray>();
  for (const TKey& key : Keys())
    if (key.CodeRule == crAnyChange)
      settings->AddString(key.Name);
  auto formats = std::make_shared<TPersistentArray>();
  for (int i = 0; i <= sfNone; ++i)
    if (IsCustomFormat(static_cast<TBassStreamingFormat>(i)))
      formats->AddString(StreamingFormatText(static_cast<TBassStreamingFormat>(i)));
  auto object = std::make_shared<TPersistentObject>();
  object->SetArray("Settings", settings)->SetArray("Formats", formats);
  return object;
}
