#pragma once
// A slot's settings as an editor changes them (the desktop dialog, a browser configuration page): checked,
// compared with what the slot holds and applied in one step. Holds the rules of the fields (ranges, numbers that
// cannot be read, the storage estimate) and the messages the user sees, so every editor behaves the same.

#include "slots/SlotSettingsKeys.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TSlotInfo;

// A refusal, at the key of the field it concerns.
struct TSettingsMessage
{
  std::string Key;
  std::string Message;
};

inline constexpr const char* EmptyFolderMessage = "Output folder must not be empty.";
inline constexpr const char* StreamURLMessage = "The stream URL must start with http:// or https://.";

// Why iSettings cannot be applied to a slot (alarm-only or not); nothing when they can.
std::vector<TSettingsMessage> CheckSlotSettings(const TSlotSettings& iSettings, bool iAlarmOnly);

// Who changes the settings. A web request is logged with its requester, changes nothing when nothing differs,
// loads the plug-in again at once and logs a failure to store; the slot dialog always stores the section and
// leaves the plug-in to its "Reload" button.
struct TSettingsEditor
{
  bool Web = false;
  std::string Requester;
};

struct TSlotSettingsOutcome
{
  std::vector<TSettingsMessage> Refusals; // when there are any, nothing was changed
  std::vector<std::string> Changed;       // the edited keys that differ
  TSlotSettingsEffects Effects;
  std::string StoreError; // the settings are in force, but the file could not be written
};

// Checks iSettings, writes them into the slot (the numbers of up-down fields limited to their ranges), stores its
// section and restarts what the change requires: the input, a new file (also when the slot has none), the
// plug-in. Controller's thread; iLog is the program's log.
TSlotSettingsOutcome ApplySlotSettings(TSlotInfo& ioSlot, const TSlotSettings& iSettings,
                                       const TSettingsEditor& iEditor,
                                       const std::function<void(const std::string&)>& iLog);

// The ranges of the fields with an up-down control; they also limit what is written.
inline constexpr TValueRange NominalLevelRange{-100, 100};
inline constexpr TValueRange RecordDelayRange{0, 3600};
inline constexpr TValueRange SilenceThresholdRange{-100, 100};
inline constexpr TValueRange SilenceDetectionRange{0, 3600};
inline constexpr TValueRange CleanupDaysRange{1, 32767};
inline constexpr TValueRange CleanupSpaceRange{1, 32767};

// A decimal 32-bit integer with an optional sign and surrounding blanks; nothing for any other text.
std::optional<int> ParseInteger(const std::string& iText);
// The text as a number, or iFallback when it is not one.
int IntegerOr(const std::string& iText, int iFallback);
int LimitToRange(int64_t iValue, TValueRange iRange);
// The up-down position after its text changed: the number typed, limited to the range; text that is not a
// number leaves the position where it was.
int UpDownPosition(const std::string& iText, int iCurrent, TValueRange iRange);

bool IsCustomFormat(TBassStreamingFormat iFormat);
// What choosing a format does to the bit-rate list: MP3 and Ogg Vorbis offer the usual rates (keeping the typed
// value), the WAV and custom formats empty the list and its text, MP2 and "No recording" leave both.
enum TBitrateListRule
{
  brOfferRates,
  brClear,
  brKeep
};
TBitrateListRule BitrateListRule(TBassStreamingFormat iFormat);
const std::vector<std::string>& BitrateChoices();
const std::vector<std::string>& SamplerateChoices();
// The label beside the cleanup days: "days", or "days (~%d GB)" with the space the recordings of that many days
// take at the bit rate (GiB, rounded down). Texts that are not numbers count as 0; custom formats give "days".
std::string StorageEstimateText(const std::string& iBitrate, const std::string& iDays, TBassStreamingFormat iFormat);
