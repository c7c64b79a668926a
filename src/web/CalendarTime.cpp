#include "web/CalendarTime.h"

#include <ctime>

namespace
{
bool SameFields(const std::tm& iLeft, const std::tm& iRight)
{
  return iLeft.tm_year == iRight.tm_year && iLeft.tm_mon == iRight.tm_mon && iLeft.tm_mday == iRight.tm_mday &&
         iLeft.tm_hour == iRight.tm_hour && iLeft.tm_min == iRight.tm_min && iLeft.tm_sec == iRight.tm_sec;
}
} // namespace

bool TryLocalToUTCStandardFirst(TDateTime iLocal, TDateTime& oUTC)
{
  const TDateTimeParts parts = DecodeDateTime(iLocal);
  const std::tm wanted = PartsToTm(parts);
  // Standard time first: a reading that round-trips with that flag exists in the zone.
  for (const int daylight : {0, 1})
  {
    std::tm candidate = wanted;
    candidate.tm_isdst = daylight;
    const std::time_t seconds = std::mktime(&candidate);
    std::tm back{};
    if (seconds == static_cast<std::time_t>(-1) || !localtime_r(&seconds, &back))
      continue;
    if (SameFields(back, wanted) && back.tm_isdst == daylight)
    {
      oUTC = UnixToDateTime(static_cast<double>(seconds) + parts.Millisecond / 1000.0);
      return true;
    }
  }
  return false;
}
