#pragma once
// A slot's settings in JSON under the keys and value words of its configuration section: switches "on" and
// "off", numbers as numbers, enumerations as their words ("Soundcard", "mp3", "jointstereo"), texts as they are.
// Only the edited keys of the key table; the streaming password is accepted but never written out.

#include "lib/PersistentStorageInterface.h"
#include "slots/SlotSettingsCheck.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

// The members of a request body, checked for kind and range, to be written into a slot's settings later.
struct TSlotSettingsChange
{
  struct TMember
  {
    std::string Key;
    TSettingValue Value;
  };
  std::vector<TMember> Members;

  // A change of the streaming host without a new password clears the stored one.
  void ApplyTo(TSlotSettings& ioSettings) const;
};

IPersistentObjectRef SlotSettingsToJSON(const TSlotSettings& iSettings);
// Reads a JSON object of settings; every member that is unknown, of the wrong kind, an unknown word or out of
// its field's range gives a message, and a body that is not a JSON object gives one at the key "".
TSlotSettingsChange ParseSlotSettings(const std::string& iBody, std::vector<TSettingsMessage>& oMessages);
// What the browser shows read-only while they are locked: {"Settings": [keys], "Formats": [words]}.
IPersistentObjectRef ProgramSettingsLockToJSON();
// The key table for the browser: {"Keys": [{"Key", "Kind", "Default", ...}]} in the table's order.
IPersistentObjectRef SlotSettingsSchemaToJSON();
