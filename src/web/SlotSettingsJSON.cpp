#include "web/SlotSettingsJSON.h"

#include "lib/Errors.h"
#include "lib/PersistentStorage.h"
#include "web/WebText.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

namespace
{
using TJson = nlohmann::json;

constexpr TValueRange AnyInteger{std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};

void WriteValue(const TSlotSettingKey& iKey, const TSettingValue& iValue, IPersistentObject& oObject)
{
  if (iKey.Kind == skNumber)
    oObject.SetNumber(iKey.Key, std::get<int>(iValue));
  else
    oObject.SetString(iKey.Key, iKey.Text(iValue));
}

// Nothing when the value is accepted (oValue then holds it), else the message.
std::optional<std::string> ReadValue(const TSlotSettingKey& iKey, const TJson& iValue, TSettingValue& oValue)
{
  switch (iKey.Kind)
  {
  case skSwitch:
    if (iValue != "on" && iValue != "off")
      return "Must be \"on\" or \"off\".";
    oValue = iValue == "on";
    return std::nullopt;
  case skNumber:
  {
    if (!iValue.is_number_integer())
      return "Must be a whole number.";
    const auto number =
        iValue.is_number_unsigned() && iValue.get<uint64_t>() > uint64_t(INT64_MAX) ? INT64_MAX : iValue.get<int64_t>();
    const TValueRange range = iKey.Range.value_or(AnyInteger);
    if (number < range.Min || number > range.Max)
      return Format("Must be between %d and %d.", range.Min, range.Max);
    oValue = static_cast<int>(number);
    return std::nullopt;
  }
  case skWord:
  {
    std::string words;
    for (size_t i = 0; i < iKey.Choices.size(); ++i)
    {
      if (iValue.is_string() && iValue.get<std::string>() == iKey.Choices[i])
      {
        oValue = static_cast<int>(i);
        return std::nullopt;
      }
      words += (i ? ", " : "") + iKey.Choices[i];
    }
    return "Must be one of " + words + ".";
  }
  default:
    if (!iValue.is_string())
      return "Must be a text.";
    if (HasControlCharacters(iValue.get<std::string>()))
      return ControlCharactersMessage;
    oValue = iValue.get<std::string>();
    return std::nullopt;
  }
}

const char* KindName(TSettingKind iKind)
{
  static const char* const names[] = {"text", "switch", "number", "word"};
  return names[iKind];
}

const char* EffectName(TSettingEffect iEffect)
{
  static const char* const names[] = {"none", "restart input", "new file", "reload plug-in"};
  return names[iEffect];
}

const char* CodeRuleName(TCodeRule iRule)
{
  static const char* const names[] = {"never", "any change", "custom format", "plug-in outside the LADSPA folders"};
  return names[iRule];
}

IPersistentArrayRef TextArray(const std::vector<std::string>& iTexts)
{
  auto array = std::make_shared<TPersistentArray>();
  for (const std::string& text : iTexts)
    array->AddString(text);
  return array;
}

// The formats for which iRule holds, as words.
IPersistentArrayRef FormatWords(bool (*iRule)(TBassStreamingFormat))
{
  std::vector<std::string> words;
  for (int i = 0; i <= sfNone; ++i)
    if (iRule(static_cast<TBassStreamingFormat>(i)))
      words.push_back(StreamingFormatText(static_cast<TBassStreamingFormat>(i)));
  return TextArray(words);
}

// Where the page shows the key, with what its role's rule needs: the source a device or stream URL selects, the
// formats that show the file extension and those without a bit rate.
IPersistentObjectRef PageToJSON(const TSlotSettingKey::TPage& iPage)
{
  auto page = std::make_shared<TPersistentObject>();
  page->SetString("Group", iPage.Group)
      ->SetNumber("Order", iPage.Order)
      ->SetString("Label", iPage.Label)
      ->SetString("Note", iPage.Note)
      ->SetString("Role", iPage.Role);
  if (!iPage.Captions.empty())
    page->SetArray("Captions", TextArray(iPage.Captions));
  if (iPage.Role == "device")
    page->SetString("Selects", RecordSourceText(rsSoundcard));
  else if (iPage.Role == "stream-url")
    page->SetString("Selects", RecordSourceText(rsStream));
  else if (iPage.Role == "format")
  {
    page->SetArray("Custom", FormatWords(&IsCustomFormat));
    page->SetArray("NoBitrate",
                   FormatWords([](TBassStreamingFormat iFormat) { return BitrateListRule(iFormat) == brClear; }));
  }
  return page;
}
} // namespace

void TSlotSettingsChange::ApplyTo(TSlotSettings& ioSettings) const
{
  const std::string host = ioSettings.OutputStream.Host;
  bool newPassword = false;
  for (const TMember& member : Members)
  {
    const TSlotSettingKey* key = FindSlotSettingKey(member.Key);
    key->Set(ioSettings, member.Value);
    newPassword = newPassword || key->Use == suSecret;
  }
  // The stored password must not follow the stream to a server the requester chose.
  if (ioSettings.OutputStream.Host != host && !newPassword)
    ioSettings.OutputStream.Password.clear();
}

IPersistentObjectRef SlotSettingsToJSON(const TSlotSettings& iSettings)
{
  auto object = std::make_shared<TPersistentObject>();
  for (const TSlotSettingKey& key : SlotSettingKeys())
    if (key.Use == suEdited)
      WriteValue(key, key.Get(iSettings), *object);
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
    const TSlotSettingKey* key = FindSlotSettingKey(name);
    if (!key || !key->Edited())
    {
      oMessages.push_back({name, "Unknown setting."});
      continue;
    }
    TSettingValue accepted;
    if (std::optional<std::string> message = ReadValue(*key, value, accepted))
      oMessages.push_back({name, *message});
    else
      change.Members.push_back({name, std::move(accepted)});
  }
  return change;
}

IPersistentObjectRef ProgramSettingsLockToJSON()
{
  auto settings = std::make_shared<TPersistentArray>();
  for (const TSlotSettingKey& key : SlotSettingKeys())
    if (key.CodeRule == crAnyChange)
      settings->AddString(key.Key);
  auto formats = std::make_shared<TPersistentArray>();
  for (int i = 0; i <= sfNone; ++i)
    if (IsCustomFormat(static_cast<TBassStreamingFormat>(i)))
      formats->AddString(StreamingFormatText(static_cast<TBassStreamingFormat>(i)));
  auto object = std::make_shared<TPersistentObject>();
  object->SetArray("Settings", settings)->SetArray("Formats", formats);
  return object;
}

IPersistentObjectRef SlotSettingsSchemaToJSON()
{
  auto keys = std::make_shared<TPersistentArray>();
  for (const TSlotSettingKey& key : SlotSettingKeys())
  {
    if (!key.Edited())
      continue;
    IPersistentObjectRef row = keys->AddObject();
    row->SetString("Key", key.Key)->SetString("Kind", KindName(key.Kind));
    if (key.Use == suSecret)
      row->SetBoolean("WriteOnly", true);
    if (key.Kind == skNumber)
      row->SetNumber("Default", std::get<int>(key.Default));
    else
      row->SetString("Default", key.Text(key.Default));
    if (!key.DefaultSource.empty())
      row->SetString("DefaultFrom", key.DefaultSource);
    if (key.Range)
      row->SetNumber("Min", key.Range->Min)->SetNumber("Max", key.Range->Max);
    if (!key.Choices.empty())
      row->SetArray("Choices", TextArray(key.Choices));
    if (!key.Suggestions.empty())
      row->SetArray("Suggestions", TextArray(key.Suggestions));
    row->SetString("Effect", EffectName(key.Effect))->SetString("RunsCode", CodeRuleName(key.CodeRule));
    row->SetObject("Page", PageToJSON(key.Page));
  }
  auto object = std::make_shared<TPersistentObject>();
  object->SetArray("Keys", keys);
  return object;
}
