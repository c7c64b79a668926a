// Text forms of the date-time value: the stored database forms, the log's form and the web forms.
#include "lib/DateTime.h"
#include "lib/Errors.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <initializer_list>

namespace
{
// A number written with at least Width digits (as printf's %.Nd), then the separator After ('\0': none).
struct TField
{
  int Value;
  int Width;
  char After = '\0';
};

// The fields written straight into one text: printf's parsing of the pattern cost a calendar answer more than
// its database query.
std::string Fields(std::initializer_list<TField> iFields)
{
  std::string text;
  text.reserve(32);
  for (const TField& field : iFields)
  {
    if (field.Value < 0)
      text += '-';
    char digits[16];
    const unsigned magnitude = field.Value < 0 ? 0u - static_cast<unsigned>(field.Value) : field.Value;
    char* end = std::to_chars(digits, digits + sizeof(digits), magnitude).ptr;
    text.append(std::max<ptrdiff_t>(0, field.Width - (end - digits)), '0');
    text.append(digits, end);
    if (field.After != '\0')
      text += field.After;
  }
  return text;
}
} // namespace

std::string FormatTimestampFull(TDateTime iValue)
{
  const TDateTimeParts p = DecodeDateTime(iValue);
  return Fields({{p.Year, 4, '-'},
                 {p.Month, 2, '-'},
                 {p.Day, 2, ' '},
                 {p.Hour, 2, ':'},
                 {p.Minute, 2, ':'},
                 {p.Second, 2, '.'},
                 {p.Millisecond, 3}});
}

std::string FormatTimestamp(TDateTime iValue)
{
  const TDateTimeParts p = DecodeDateTime(iValue);
  if (p.Hour == 0 && p.Minute == 0 && p.Second == 0 && p.Millisecond == 0)
    return Fields({{p.Year, 4, '-'}, {p.Month, 2, '-'}, {p.Day, 2}});
  return FormatTimestampFull(iValue);
}

std::string FormatDate(TDateTime iValue)
{
  const TDateTimeParts p = DecodeDateTime(iValue);
  return Fields({{p.Year, 4, '-'}, {p.Month, 2, '-'}, {p.Day, 2}});
}

std::string FormatTime(TDateTime iValue)
{
  const TDateTimeParts p = DecodeDateTime(iValue);
  return Fields({{p.Hour, 2, ':'}, {p.Minute, 2, ':'}, {p.Second, 2, '.'}, {p.Millisecond, 3}});
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
  return Fields(
      {{p.Month, 2, '/'}, {p.Day, 2, '/'}, {p.Year, 4, ' '}, {p.Hour, 2, ':'}, {p.Minute, 2, ':'}, {p.Second, 2}});
}

std::string FormatISODateTime(TDateTime iValue)
{
  const TDateTimeParts p = DecodeDateTime(iValue);
  return Fields(
      {{p.Year, 4, '-'}, {p.Month, 2, '-'}, {p.Day, 2, 'T'}, {p.Hour, 2, ':'}, {p.Minute, 2, ':'}, {p.Second, 2}});
}

std::string FormatISODateTimeZ(TDateTime iUTC)
{
  const TDateTimeParts p = DecodeDateTime(iUTC);
  return Fields({{p.Year, 4, '-'},
                 {p.Month, 2, '-'},
                 {p.Day, 2, 'T'},
                 {p.Hour, 2, ':'},
                 {p.Minute, 2, ':'},
                 {p.Second, 2, '.'},
                 {p.Millisecond, 3, 'Z'}});
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
