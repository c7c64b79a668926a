#pragma once
// A slot's settings in JSON under the keys and value words of its configuration section: switches "on" and
// "off", numbers as numbers, enumerations as their words ("Soundcard", "mp3", "jointstereo"), texts as they are.
// Only what the slot dialog edits; the streaming password is accepted but never written out.

#include "lib/PersistentStorageInterface.h"
#include "slots/SlotSettingsCheck.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

// A refusal, at the key of the field it concerns.
struct TSettingsMessage
{
  std::string Key;
  std::string Message;
};

// The members of a request body, checked for kind and range, to be written into a slot's settings later.
struct TSlotSettingsChange
{
  struct TMember
  {
    std::string Key;
    std::function<void(TSlotEdit&)> Apply;
  };
  std::vector<TMember> Members;

  // A change of the streaming host without a new password clears the stored one.
  void ApplyTo(TSlotEdit& ioEdit) const;
};

IPersistentObjectRef SlotSettingsToJSON(const TSlotEdit& iEdit);
// Reads a JSON object of settings; every member that is unknown, of the wrong kind, an unknown word or out of
// its field's range gives a message, and a body that is not a JSON object gives one at the key "".
TSlotSettingsChange ParseSlotSettings(const std::string& iBody, std::vector<TSettingsMessage>& oMessages);
// The keys whose values differ between the two, in the order of the section.
std::vector<std::string> ChangedSlotKeys(const TSlotEdit& iOld, const TSlotEdit& iNew);
// The keys whose change from iOld to iNew can make the program run other code: an encoder program or its
// options, a custom format, a plug-in library outside the LADSPA search folders. The web changes them only
// where the configuration file allows it.
std::vector<std::string> ChangedProgramKeys(const TSlotEdit& iOld, const TSlotEdit& iNew);
// What the browser shows read-only while they are locked: {"Settings": [keys], "Formats": [words]}.
IPersistentObjectRef ProgramSettingsLockToJSON();
