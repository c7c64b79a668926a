#pragma once
// The system's date-time value: days since 1899-12-30 as a double, the fraction being the time of day,
// local time unless a caller says UTC. All conversions and text forms live here.

#include <cstdint>
#include <ctime>
#include <string>

using TDateTime = double;

constexpr double MSecsPerDay = 86400000.0;
constexpr double SecsPerDay = 86400.0;
// Days between 1899-12-30 and the Unix epoch.
constexpr double UnixDateDelta = 25569.0;

struct TDateTimeParts
{
  int Year = 1899, Month = 12, Day = 30, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// Throws EConvertError ("Invalid argument to date encode" / "... time encode") when the parts do not form a valid
// date (years 1 to 9999) or time.
TDateTime EncodeDate(int iYear, int iMonth, int iDay);
TDateTime EncodeTime(int iHour, int iMinute, int iSecond, int iMillisecond);
TDateTime EncodeDateTime(int iYear, int iMonth, int iDay, int iHour, int iMinute, int iSecond, int iMillisecond);
// False instead of an exception.
bool TryEncodeDateTime(int iYear, int iMonth, int iDay, int iHour, int iMinute, int iSecond, int iMillisecond,
                       TDateTime& oValue);
// Rounds to the nearest millisecond before splitting, so 23:59:59.9996 becomes the next day's midnight.
TDateTimeParts DecodeDateTime(TDateTime iValue);
// The parts as C calendar fields (tm_isdst -1: the zone decides), for mktime and strftime.
std::tm PartsToTm(const TDateTimeParts& iParts);
bool IsValidDate(int iYear, int iMonth, int iDay);
int DaysInMonth(int iYear, int iMonth);
// 1 = Sunday ... 7 = Saturday
int DayOfWeek(TDateTime iValue);

// Current local time / UTC.
TDateTime Now();
TDateTime NowUTC();

// Conversions through the process's time zone (TZ). A local time that does not exist (spring gap) or exists
// twice (autumn) is resolved as mktime does with tm_isdst = -1.
TDateTime LocalToUTC(TDateTime iLocal);
TDateTime UTCToLocal(TDateTime iUTC);
// Minutes to add to local time to get UTC at the given local time (Berlin in winter: -60).
int LocalUTCOffsetMinutes(TDateTime iLocal);
// Unix time (seconds, UTC) <-> local date-time value.
TDateTime UnixToLocal(int64_t iUnixSeconds);
int64_t LocalToUnix(TDateTime iLocal);
TDateTime UnixToDateTime(double iUnixSeconds); // no zone conversion
double DateTimeToUnix(TDateTime iValue);       // no zone conversion

// "%.4d-%.2d-%.2d %.2d:%.2d:%.2d.%.3d", or "%.4d-%.2d-%.2d" when the time is exactly midnight.
std::string FormatTimestamp(TDateTime iValue);
// "%.4d-%.2d-%.2d %.2d:%.2d:%.2d.%.3d" always.
std::string FormatTimestampFull(TDateTime iValue);
// "%.4d-%.2d-%.2d"
std::string FormatDate(TDateTime iValue);
// "%.2d:%.2d:%.2d.%.3d"
std::string FormatTime(TDateTime iValue);
// The log's "ddddd tt": the locale's short date and long time.
std::string FormatLogTime(TDateTime iValue);
// Parses the stored text forms: YYYY-MM-DD, then any run of ' ', 'T', 't', then HH:MM[:SS[.fff]] (one to three
// fraction digits); a date alone is midnight, a time alone (the stored form of a time value) lies on day 0.
// False when the text is not of that form or names an impossible date or time.
bool TryParseTimestamp(const std::string& iText, TDateTime& oValue);
// Web forms: "MM/DD/YYYY HH:MM:SS" and "YYYY-MM-DDTHH:MM:SS" (fixed separators, 24-hour clock, no zone).
std::string FormatUSDateTime(TDateTime iValue);
std::string FormatISODateTime(TDateTime iValue);
// "YYYY-MM-DDTHH:MM:SS.mmmZ" for a value that is already UTC.
std::string FormatISODateTimeZ(TDateTime iUTC);
