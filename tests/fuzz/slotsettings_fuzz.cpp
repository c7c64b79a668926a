// Bodies of POST /ws/config/slots/<n>. Every member taken is a key the web may edit, of its kind and range, and a
// text without control characters; the settings written out again after applying it are read back without a
// message and give the same settings; the stored streaming password goes only with its host.
#include "FuzzChecks.h"
#include "slots/SlotSettings.h"
#include "slots/SlotSettingsKeys.h"
#include "web/SlotSettingsJSON.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  std::vector<TSettingsMessage> messages;
  const TSlotSettingsChange change =
      ParseSlotSettings(std::string(reinterpret_cast<const char*>(iData), iSize), messages);
  bool newPassword = false;
  for (const TSlotSettingsChange::TMember& member : change.Members)
  {
    const TSlotSettingKey* key = FindSlotSettingKey(member.Key);
    Check(key && key->Edited());
    newPassword = newPassword || key->Use == suSecret;
    if (const auto* text = std::get_if<std::string>(&member.Value))
      Check(!HasControlBytes(*text));
    if (key->Range)
      Check(std::get<int>(member.Value) >= key->Range->Min && std::get<int>(member.Value) <= key->Range->Max);
  }
  for (const TSettingsMessage& message : messages)
    Check(!message.Message.empty());

  TSlotSettings settings;
  settings.OutputStream.Host = "cast.example";
  settings.OutputStream.Password = "stored";
  change.ApplyTo(settings);
  for (const TSlotSettingsChange::TMember& member : change.Members)
    Check(FindSlotSettingKey(member.Key)->Get(settings) == member.Value);
  Check(settings.OutputStream.Password == "stored" || newPassword || settings.OutputStream.Host != "cast.example");
  Check(settings.OutputStream.Host == "cast.example" || newPassword || settings.OutputStream.Password.empty());

  const std::string written = SlotSettingsToJSON(settings)->AsJSon(false, true);
  std::vector<TSettingsMessage> againMessages;
  const TSlotSettingsChange again = ParseSlotSettings(written, againMessages);
  Check(againMessages.empty());
  TSlotSettings copy;
  again.ApplyTo(copy);
  Check(SlotSettingsToJSON(copy)->AsJSon(false, true) == written);
  return 0;
}
