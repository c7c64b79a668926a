#include "lib/DateTime.h"

#include "lib/Errors.h"

#include <cmath>

namespace
{

constexpr int64_t MSecsPerDayInt = 86400000;
// The representable range: 0001-01-01 up to (not including) 10000-01-01.
constexpr double MinDateTime = -693593.0;
constexpr double MaxDateTime = 2958466.0;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back (H. Hinnant's algorithms).
int64_t DaysFromCivil(int64_t iYear, int iMonth, int iDay)
{
  const int64_t year = iYear - (iMonth <= 2 ? 1 : 0);
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (iMonth > 2 ? iMonth - 3 : iMonth + 9) + 2) / 5 + iDay - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t iDays, int& oYear, int& oMonth, int& oDay)
{
  const int64_t days = iDays + 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  oDay = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  oMonth = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  oYear = static_cast<int>(yearOfEra + era * 400 + (oMonth <= 2 ? 1 : 0));
}

int64_t FloorDiv(int64_t iValue, int64_t iDivisor)
{
  int64_t quotient = iValue / iDivisor;
  if (iValue % iDivisor != 0 && (iValue < 0) != (iDivisor < 0))
    --quotient;
  return quotient;
}

// Milliseconds since 1899-12-30, rounded; values outside the range (or not a number) are pulled into it so that
// a broken value never makes the arithmetic below overflow.
int64_t ToMilliseconds(TDateTime iValue)
{
  if (std::isnan(iValue))
    return 0;
  if (iValue < MinDateTime)
    iValue = MinDateTime;
  else if (iValue >= MaxDateTime)
    iValue = MaxDateTime - 1.0 / MSecsPerDay;
  return std::llround(iValue * MSecsPerDay);
}

TDateTime FromMilliseconds(int64_t iMilliseconds)
{
  const int64_t days = FloorDiv(iMilliseconds, MSecsPerDayInt);
  return static_cast<double>(days) + static_cast<double>(iMilliseconds - days * MSecsPerDayInt) / MSecsPerDay;
}

constexpr int64_t UnixDeltaMilliseconds = static_cast<int64_t>(UnixDateDelta) * MSecsPerDayInt;

TDateTime FromUnixMilliseconds(int64_t iMilliseconds)
{
  return FromMilliseconds(iMilliseconds + UnixDeltaMilliseconds);
}

// Unchecked: fields come from the C library or were validated by the caller.
TDateTime FromFields(int64_t iYear, int iMonth, int iDay, int iHour, int iMinute, int iSecond, int iMillisecond)
{
  const int64_t days = DaysFromCivil(iYear, iMonth, iDay) + static_cast<int64_t>(UnixDateDelta);
  return FromMilliseconds(days * MSecsPerDayInt + ((iHour * 60LL + iMinute) * 60LL + iSecond) * 1000LL + iMillisecond);
}

TDateTime FromTm(const tm& iTm, int iMillisecond)
{
  return FromFields(iTm.tm_year + 1900LL, iTm.tm_mon + 1, iTm.tm_mday, iTm.tm_hour, iTm.tm_min, iTm.tm_sec,
                    iMillisecond);
}

TDateTime UnixSecondsToLocal(time_t iSeconds, int iMillisecond)
{
  tm local{};
  if (localtime_r(&iSeconds, &local) == nullptr)
    return FromUnixMilliseconds(static_cast<int64_t>(iSeconds) * 1000 + iMillisecond);
  return FromTm(local, iMillisecond);
}

// Local fields into mktime, which picks the zone's offset (and resolves gaps and repeated hours) itself.
time_t LocalToUnixSeconds(TDateTime iLocal, int& oMillisecond, long& oGmtOffset)
{
  const TDateTimeParts parts = DecodeDateTime(iLocal);
  tm fields = PartsToTm(parts);
  const time_t seconds = mktime(&fields);
  oMillisecond = parts.Millisecond;
  oGmtOffset = fields.tm_gmtoff;
  return seconds;
}

} // namespace

static bool IsLeapYear(int iYear)
{
  return iYear % 4 == 0 && (iYear % 100 != 0 || iYear % 400 == 0);
}

int DaysInMonth(int iYear, int iMonth)
{
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (iMonth < 1 || iMonth > 12)
    return 0;
  return iMonth == 2 && IsLeapYear(iYear) ? 29 : days[iMonth - 1];
}

bool IsValidDate(int iYear, int iMonth, int iDay)
{
  return iYear >= 1 && iYear <= 9999 && iDay >= 1 && iDay <= DaysInMonth(iYear, iMonth);
}

static bool IsValidTime(int iHour, int iMinute, int iSecond, int iMillisecond)
{
  return iHour >= 0 && iHour < 24 && iMinute >= 0 && iMinute < 60 && iSecond >= 0 && iSecond < 60 &&
         iMillisecond >= 0 && iMillisecond < 1000;
}

TDateTime EncodeDate(int iYear, int iMonth, int iDay)
{
  if (!IsValidDate(iYear, iMonth, iDay))
    throw EConvertError("Invalid argument to date encode");
  return FromFields(iYear, iMonth, iDay, 0, 0, 0, 0);
}

TDateTime EncodeTime(int iHour, int iMinute, int iSecond, int iMillisecond)
{
  if (!IsValidTime(iHour, iMinute, iSecond, iMillisecond))
    throw EConvertError("Invalid argument to time encode");
  return ((iHour * 60.0 + iMinute) * 60.0 + iSecond) * 1000.0 / MSecsPerDay + iMillisecond / MSecsPerDay;
}

TDateTime EncodeDateTime(int iYear, int iMonth, int iDay, int iHour, int iMinute, int iSecond, int iMillisecond)
{
  if (!IsValidDate(iYear, iMonth, iDay))
    throw EConvertError("Invalid argument to date encode");
  if (!IsValidTime(iHour, iMinute, iSecond, iMillisecond))
    throw EConvertError("Invalid argument to time encode");
  return FromFields(iYear, iMonth, iDay, iHour, iMinute, iSecond, iMillisecond);
}

bool TryEncodeDateTime(int iYear, int iMonth, int iDay, int iHour, int iMinute, int iSecond, int iMillisecond,
                       TDateTime& oValue)
{
  if (!IsValidDate(iYear, iMonth, iDay) || !IsValidTime(iHour, iMinute, iSecond, iMillisecond))
    return false;
  oValue = FromFields(iYear, iMonth, iDay, iHour, iMinute, iSecond, iMillisecond);
  return true;
}

TDateTimeParts DecodeDateTime(TDateTime iValue)
{
  const int64_t milliseconds = ToMilliseconds(iValue);
  const int64_t days = FloorDiv(milliseconds, MSecsPerDayInt);
  int64_t ofDay = milliseconds - days * MSecsPerDayInt;
  TDateTimeParts parts;
  CivilFromDays(days - static_cast<int64_t>(UnixDateDelta), parts.Year, parts.Month, parts.Day);
  parts.Millisecond = static_cast<int>(ofDay % 1000);
  ofDay /= 1000;
  parts.Second = static_cast<int>(ofDay % 60);
  ofDay /= 60;
  parts.Minute = static_cast<int>(ofDay % 60);
  parts.Hour = static_cast<int>(ofDay / 60);
  return parts;
}

int DayOfWeek(TDateTime iValue)
{
  // 1899-12-30 was a Saturday.
  const int64_t days = FloorDiv(ToMilliseconds(iValue), MSecsPerDayInt);
  return static_cast<int>(((days + 6) % 7 + 7) % 7) + 1;
}

TDateTime Now()
{
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return UnixSecondsToLocal(now.tv_sec, static_cast<int>(now.tv_nsec / 1000000));
}

TDateTime NowUTC()
{
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return FromUnixMilliseconds(static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
}

TDateTime LocalToUTC(TDateTime iLocal)
{
  int millisecond = 0;
  long offset = 0;
  const time_t seconds = LocalToUnixSeconds(iLocal, millisecond, offset);
  return FromUnixMilliseconds(static_cast<int64_t>(seconds) * 1000 + millisecond);
}

TDateTime UTCToLocal(TDateTime iUTC)
{
  const int64_t unixMilliseconds = ToMilliseconds(iUTC) - UnixDeltaMilliseconds;
  const int64_t seconds = FloorDiv(unixMilliseconds, 1000);
  return UnixSecondsToLocal(static_cast<time_t>(seconds), static_cast<int>(unixMilliseconds - seconds * 1000));
}

int LocalUTCOffsetMinutes(TDateTime iLocal)
{
  int millisecond = 0;
  long offset = 0;
  LocalToUnixSeconds(iLocal, millisecond, offset);
  return static_cast<int>(-offset / 60);
}

TDateTime UnixToLocal(int64_t iUnixSeconds)
{
  return UnixSecondsToLocal(static_cast<time_t>(iUnixSeconds), 0);
}

int64_t LocalToUnix(TDateTime iLocal)
{
  int millisecond = 0;
  long offset = 0;
  return static_cast<int64_t>(LocalToUnixSeconds(iLocal, millisecond, offset));
}

TDateTime UnixToDateTime(double iUnixSeconds)
{
  return iUnixSeconds / SecsPerDay + UnixDateDelta;
}

double DateTimeToUnix(TDateTime iValue)
{
  return (iValue - UnixDateDelta) * SecsPerDay;
}

std::tm PartsToTm(const TDateTimeParts& iParts)
{
  std::tm fields{};
  fields.tm_year = iParts.Year - 1900;
  fields.tm_mon = iParts.Month - 1;
  fields.tm_mday = iParts.Day;
  fields.tm_hour = iParts.Hour;
  fields.tm_min = iParts.Minute;
  fields.tm_sec = iParts.Second;
  fields.tm_isdst = -1;
  return fields;
}
