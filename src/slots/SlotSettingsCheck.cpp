#include "slots/SlotSettingsCheck.h"

#include "audio/engine/StreamURL.h"
#include "lib/Errors.h"
#include "slots/SlotInfo.h"

#include <algorithm>
#include <charconv>

std::vector<TSettingsMessage> CheckSlotSettings(const TSlotSettings& iSettings, bool iAlarmOnly)
{
  std::vector<TSettingsMessage> result;
  if (iAlarmOnly && iSettings.Output.Format != sfNone)
    result.push_back({"Format", "An alarm-only slot does not record: its format is \"none\"."});
  if (iSettings.Output.Folder.empty())
    result.push_back({"Folder", EmptyFolderMessage});
  if (!iSettings.Input.StreamURL.empty() && !IsAllowedStreamURL(iSettings.Input.StreamURL))
    result.push_back({"StreamURL", StreamURLMessage});
  return result;
}

TSlotSettingsOutcome ApplySlotSettings(TSlotInfo& ioSlot, const TSlotSettings& iSettings,
                                       const TSettingsEditor& iEditor,
                                       const std::function<void(const std::string&)>& iLog)
{
  TSlotSettingsOutcome outcome;
  outcome.Refusals = CheckSlotSettings(iSettings, ioSlot.AlarmOnly());
  if (!outcome.Refusals.empty())
    return outcome;
  const TSlotSettings old = ioSlot.Settings();
  outcome.Changed = ChangedSlotKeys(old, iSettings);
  if (iEditor.Web)
  {
    if (outcome.Changed.empty())
      return outcome;
    std::string keys;
    for (const std::string& key : outcome.Changed)
      keys += (keys.empty() ? "" : ", ") + key;
    iLog(Format("Slot %d settings changed from the web by %s: %s", ioSlot.Index() + 1, iEditor.Requester.c_str(),
                keys.c_str()));
  }
  outcome.Effects = CompareSlotSettings(old, iSettings);
  ioSlot.WriteSettings(LimitedToRanges(iSettings));
  try
  {
    ioSlot.FlushConfig();
  }
  catch (const std::exception& e)
  {
    outcome.StoreError = e.what();
    if (iEditor.Web)
      ioSlot.LogMessage(outcome.StoreError);
  }
  try
  {
    if (iEditor.Web && outcome.Effects.Plugin)
      ioSlot.ReloadWinampPlugin();
    if (outcome.Effects.Input)
      ioSlot.StartRecording();
    if (outcome.Effects.Output || ioSlot.Encoder() == 0)
      ioSlot.CycleEncoder();
  }
  catch (const std::exception& e)
  {
    ioSlot.LogMessage(e.what());
  }
  return outcome;
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
