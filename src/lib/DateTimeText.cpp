// Text forms of the date-time value: the stored database forms, the log's form and the web forms.
#include "lib/DateTime.h"
#include "lib/Errors.h"

#include <cstddef>

std::string FormatTimestampFull(TDateTime iValue)
{
  const TDateTimeParts p = DecodeDateTime(iValue);
  return Format("%.4d-%.2d-%.2d %.2d:%.2d:%.2d.%.3d", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second,
                p.Millisecond);
}

std::string FormatTimestamp(TDateTime iValue)
{
  const TDateTimeParts p = DecodeDateTime(iValue);
  if (p.Hour == 0 && p.Minute == 0 && p.Second == 0 && p.Millisecond == 0)
    return Format("%.4d-%.2d-%.2d", p.Year, p.Month, p.Day);
  return FormatTimestampFull(iValue);
}

std::string FormatDate(TDateTime iValue)
{
  const TDateTimeParts p = DecodeDateTime(iValue);
  return Format("%.4d-%.2d-%.2d", p.Year, p.Month, p.Day);
}

std::string FormatTime(TDateTime iValue)
{
  const TDateTimeParts p = DecodeDateTime(iValue);
  return Format("%.2d:%.2d:%.2d.%.3d", p.Hour, p.Minute, p.Second, p.Millisecond);
}

std::string FormatLogTime(TDateTime iValue)
{
  const TDateTimeParts p = DecodeDateTime(iValue);
  tm fields = PartsToTm(p);
  fields.tm_wday = DayOfWeek(iValue) - 1;
  fields.tm_yday = static_cast<int>(EncodeDate(p.Year, p.Month, p.Day) - EncodeDate(p.Year, 1, 1));
  char text[128];
  const size_t length = strftime(text, sizeof(text), "%x %X", &fields);
  return std::string(text, length);
}

std::string FormatUSDateTime(TDateTime iValue)
{
  const TDateTimeParts p = DecodeDateTime(iValue);
  return Format("%.2d/%.2d/%.4d %.2d:%.2d:%.2d", p.Month, p.Day, p.Year, p.Hour, p.Minute, p.Second);
}

std::string FormatISODateTime(TDateTime iValue)
{
  const TDateTimeParts p = DecodeDateTime(iValue);
  return Format("%.4d-%.2d-%.2dT%.2d:%.2d:%.2d", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second);
}

std::string FormatISODateTimeZ(TDateTime iUTC)
{
  const TDateTimeParts p = DecodeDateTime(iUTC);
  return Format("%.4d-%.2d-%.2dT%.2d:%.2d:%.2d.%.3dZ", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second,
                p.Millisecond);
}

namespace
{

// Reads exactly iCount decimal digits.
bool ReadDigits(const std::string& iText, size_t& ioPos, size_t iCount, int& oValue)
{
  oValue = 0;
  for (size_t i = 0; i < iCount; ++i, ++ioPos)
  {
    if (ioPos >= iText.size() || iText[ioPos] < '0' || iText[ioPos] > '9')
      return false;
    oValue = oValue * 10 + (iText[ioPos] - '0');
  }
  return true;
}

bool Skip(const std::string& iText, size_t& ioPos, char iChar)
{
  if (ioPos < iText.size() && iText[ioPos] == iChar)
  {
    ++ioPos;
    return true;
  }
  return false;
}

bool IsSeparator(char iChar)
{
  return iChar == ' ' || iChar == 'T' || iChar == 't';
}

// HH:MM[:SS[.f[f[f]]]] up to the end of the text.
bool ParseTimePart(const std::string& iText, size_t iPos, int& oHour, int& oMinute, int& oSecond, int& oMillisecond)
{
  oSecond = 0;
  oMillisecond = 0;
  if (!ReadDigits(iText, iPos, 2, oHour) || !Skip(iText, iPos, ':') || !ReadDigits(iText, iPos, 2, oMinute))
    return false;
  if (Skip(iText, iPos, ':'))
  {
    if (!ReadDigits(iText, iPos, 2, oSecond))
      return false;
    if (Skip(iText, iPos, '.'))
    {
      int scale = 100;
      const size_t start = iPos;
      while (iPos < iText.size() && iPos - start < 3 && iText[iPos] >= '0' && iText[iPos] <= '9')
      {
        oMillisecond += (iText[iPos] - '0') * scale;
        scale /= 10;
        ++iPos;
      }
      if (iPos == start)
        return false;
    }
  }
  return iPos == iText.size();
}

} // namespace

bool TryParseTimestamp(const std::string& iText, TDateTime& oValue)
{
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
  size_t pos = 0;
  const bool timeOnly = iText.size() > 2 && iText[2] == ':';
  if (!timeOnly)
  {
    if (!ReadDigits(iText, pos, 4, year) || !Skip(iText, pos, '-') || !ReadDigits(iText, pos, 2, month) ||
        !Skip(iText, pos, '-') || !ReadDigits(iText, pos, 2, day))
      return false;
    if (pos < iText.size())
    {
      const size_t separatorStart = pos;
      while (pos < iText.size() && IsSeparator(iText[pos]))
        ++pos;
      if (pos == separatorStart)
        return false;
    }
  }
  if ((timeOnly || pos < iText.size()) && !ParseTimePart(iText, pos, hour, minute, second, millisecond))
    return false;
  return TryEncodeDateTime(year, month, day, hour, minute, second, millisecond, oValue);
}
