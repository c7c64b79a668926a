#pragma once
// The one description of a slot's settings: a row per key of the configuration section with its kind, default,
// range or words, who edits it, what a change does to the running slot and whether it can make the program run
// other code. Reading and writing the section, the web's JSON, the checks, the slot dialog and the browser's
// settings page (through the schema the web serves) all work from these rows; a new setting is a member of
// TSlotSettings and a row here.

#include "slots/SlotSettings.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class TIniFile;

struct TValueRange
{
  int Min;
  int Max;
};

enum TSettingKind : uint8_t
{
  skText,
  skSwitch, // "on" or "off"; read as on exactly for "on"
  skNumber,
  skWord // one of the row's words; an unknown word reads as the first
};

enum TSettingUse : uint8_t
{
  suEdited,   // the slot dialog and the web edit it
  suSecret,   // edited, but never shown by the web (a password)
  suStored,   // written, but changed otherwise (the slot's switch) or set by hand
  suHandTuned // set by hand in the file only: read, never written
};

// What a change asks of the running slot.
enum TSettingEffect : uint8_t
{
  seNone,
  seRestartInput, // attach the input again
  seNewFile,      // start a new file
  seReloadPlugin  // load the plug-in again (the web; the dialog has its own button)
};

// When a change of a key can make the program run other code.
enum TCodeRule : uint8_t
{
  crNever,
  crAnyChange,           // an encoder program and its command line
  crCustomFormat,        // a custom format, whose options are a command line
  crPluginOutsideFolders // a plug-in library from outside the LADSPA folders
};

// A switch, a number (or a word's index) or a text.
using TSettingValue = std::variant<bool, int, std::string>;

// What a default may depend on: the slot's number, the section "General" and the keys read before.
struct TSettingDefaults
{
  TIniFile& Ini;
  int Index;
  const TSlotSettings& Read;
};

struct TSlotSettingKey
{
  std::string Key; // in the configuration section and in the web's JSON
  TSettingKind Kind = skText;
  TSettingUse Use = suEdited;
  TSettingEffect Effect = seNone;
  TCodeRule CodeRule = crNever;
  TSettingValue Default;
  // Where a default that is not fixed comes from (for the schema); DefaultOf computes it.
  std::string DefaultSource;
  std::function<TSettingValue(const TSettingDefaults&)> DefaultOf;
  // Numbers: what an editor accepts. UpDown: the field has an up-down control, and its range also limits what
  // is written into the slot.
  std::optional<TValueRange> Range;
  bool UpDown = false;
  // Numbers: what a value read from the file is clamped to.
  std::optional<TValueRange> StoredRange;
  std::vector<std::string> Choices;     // words, in the order of their enumeration
  std::vector<std::string> Suggestions; // numbers offered for a field that takes any
  // Where the browser's settings page shows an edited key: its group and place (the page's order), label, a
  // note beside the field, captions of the words, and the part the field plays in the page's rules (empty, or
  // "source", "device", "stream-url", "format", "bitrate", "file-extension", "days", "plugin").
  struct TPage
  {
    std::string Group;
    int Order = 0;
    std::string Label;
    std::string Note;
    std::vector<std::string> Captions;
    std::string Role;
  } Page;
  std::function<TSettingValue(const TSlotSettings&)> Get;
  std::function<void(TSlotSettings&, const TSettingValue&)> Set;

  bool Edited() const { return Use == suEdited || Use == suSecret; }
  // The value as the configuration file writes it.
  std::string Text(const TSettingValue& iValue) const;
  bool Same(const TSlotSettings& iLeft, const TSlotSettings& iRight) const { return Get(iLeft) == Get(iRight); }
};

// Every key, in the order the section is written; the hand-tuning keys last.
const std::vector<TSlotSettingKey>& SlotSettingKeys();
const TSlotSettingKey* FindSlotSettingKey(const std::string& iKey);

// Reads section "Slot<iIndex>"; an alarm-only slot gets the format "none".
TSlotSettings ReadSlotSettings(TIniFile& iIni, int iIndex, bool iAlarmOnly);
// Writes every key but the hand-tuning ones, in the table's order; does not persist the file.
void WriteSlotSettings(TIniFile& iIni, int iIndex, const TSlotSettings& iSettings);

// What an applied change asks of the slot.
struct TSlotSettingsEffects
{
  bool Input = false;  // StartRecording
  bool Output = false; // CycleEncoder
  bool Plugin = false; // ReloadWinampPlugin
};
TSlotSettingsEffects CompareSlotSettings(const TSlotSettings& iOld, const TSlotSettings& iNew);
// The edited keys whose values differ, in the table's order.
std::vector<std::string> ChangedSlotKeys(const TSlotSettings& iOld, const TSlotSettings& iNew);
// The keys whose change from iOld to iNew can make the program run other code.
std::vector<std::string> ChangedProgramKeys(const TSlotSettings& iOld, const TSlotSettings& iNew);
// iSettings with the numbers of up-down fields limited to their ranges.
TSlotSettings LimitedToRanges(TSlotSettings iSettings);
