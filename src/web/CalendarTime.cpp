#include "web/CalendarTime.h"

#include <array>
#include <ctime>
#include <optional>

namespace
{
bool SameFields(const std::tm& iLeft, const std::tm& iRight)
{
  return iLeft.tm_year == iRight.tm_year && iLeft.tm_mon == iRight.tm_mon && iLeft.tm_mday == iRight.tm_mday &&
         iLeft.tm_hour == iRight.tm_hour && iLeft.tm_min == iRight.tm_min && iLeft.tm_sec == iRight.tm_sec;
}
} // namespace

// mktime would re-read the zone (a stat of its file) on every call, which a week of events pays hundreds of
// times per request; localtime_r uses the zone as loaded. The offsets in force a day before, at and a day after
// the fields read as UTC include every offset the local time can have.
bool TryLocalToUTCStandardFirst(TDateTime iLocal, TDateTime& oUTC)
{
  const TDateTimeParts parts = DecodeDateTime(iLocal);
  const std::tm wanted = PartsToTm(parts);
  std::tm fieldsAsUTC = wanted;
  const std::time_t asUTC = timegm(&fieldsAsUTC);
  if (asUTC == static_cast<std::time_t>(-1))
    return false;
  std::array<std::optional<std::time_t>, 2> found; // by daylight-saving flag: standard, daylight
  for (const std::time_t probe : {asUTC - 86400, asUTC, asUTC + 86400})
  {
    std::tm zone{};
    if (!localtime_r(&probe, &zone))
      continue;
    const std::time_t seconds = asUTC - zone.tm_gmtoff;
    std::tm back{};
    if (!localtime_r(&seconds, &back) || !SameFields(back, wanted))
      continue;
    auto& slot = found[back.tm_isdst > 0 ? 1 : 0];
    if (!slot || seconds < *slot)
      slot = seconds;
  }
  for (const auto& seconds : found)
    if (seconds)
    {
      oUTC = UnixToDateTime(static_cast<double>(*seconds) + parts.Millisecond / 1000.0);
      return true;
    }
  return false;
}
