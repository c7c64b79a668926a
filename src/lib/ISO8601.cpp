// The ISO 8601 date-time parser of the web interface's "start" and "end" parameters.
#include "lib/DateTime.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"

#include <algorithm>
#include <climits>
#include <initializer_list>

namespace
{

bool IsDigit(const std::string& iText, size_t iPos)
{
  return iPos < iText.size() && iText[iPos] >= '0' && iText[iPos] <= '9';
}

// Reads a run of digits, at most iMaxDigits of them (0: any number). Values beyond int saturate, so that the
// encoding step rejects them. False when no digit is there.
bool ReadNumber(const std::string& iText, size_t& ioPos, size_t iMaxDigits, int& oValue)
{
  const size_t start = ioPos;
  long long value = 0;
  while (IsDigit(iText, ioPos) && (iMaxDigits == 0 || ioPos - start < iMaxDigits))
  {
    value = std::min<long long>(value * 10 + (iText[ioPos] - '0'), INT_MAX);
    ++ioPos;
  }
  oValue = static_cast<int>(value);
  return ioPos > start;
}

bool Next(const std::string& iText, size_t& ioPos, char iChar)
{
  if (ioPos < iText.size() && iText[ioPos] == iChar)
  {
    ++ioPos;
    return true;
  }
  return false;
}

// A part that may take a default takes it when at most one character is left.
bool NearEnd(const std::string& iText, size_t iPos)
{
  return iText.size() - iPos <= 1;
}

void ParseDate(const std::string& iDate, int& oYear, int& oMonth, int& oDay)
{
  size_t pos = iDate.compare(0, 1, "-") == 0 ? 1 : 0;
  if (iDate.size() - pos < 4 || !ReadNumber(iDate, pos, 0, oYear))
    throw EConvertError("Invalid date");
  oMonth = 0;
  oDay = 0;
  for (int* part : {&oMonth, &oDay})
    if (Next(iDate, pos, '-') && !ReadNumber(iDate, pos, 0, *part))
      throw EConvertError("Invalid date");
}

struct TTimeParts
{
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  int OffsetMinutes = 0; // signed, to be subtracted to reach UTC
};

int ParseFraction(const std::string& iTime, size_t& ioPos)
{
  // Digits beyond the third are read and dropped.
  int milliseconds = 0;
  int scale = 100;
  while (IsDigit(iTime, ioPos))
  {
    milliseconds += (iTime[ioPos] - '0') * scale;
    scale /= 10;
    ++ioPos;
  }
  return milliseconds;
}

TTimeParts ParseTime(const std::string& iTime)
{
  TTimeParts parts;
  size_t pos = 0;
  if (!ReadNumber(iTime, pos, 2, parts.Hour))
    throw EConvertError("Invalid time");
  if (!NearEnd(iTime, pos) && (!Next(iTime, pos, ':') || !ReadNumber(iTime, pos, 2, parts.Minute)))
    throw EConvertError("Invalid time");
  if (!NearEnd(iTime, pos))
  {
    if (Next(iTime, pos, ':'))
    {
      if (!ReadNumber(iTime, pos, 2, parts.Second))
        throw EConvertError("Invalid time");
    }
    else
      ReadNumber(iTime, pos, 2, parts.Second);
  }
  if (!NearEnd(iTime, pos))
  {
    Next(iTime, pos, '.');
    parts.Millisecond = ParseFraction(iTime, pos);
  }
  if (pos < iTime.size() && (iTime[pos] == '+' || iTime[pos] == '-'))
  {
    const int sign = iTime[pos] == '-' ? -1 : 1;
    ++pos;
    int hours = 0;
    int minutes = 0;
    if (!ReadNumber(iTime, pos, 2, hours))
      throw EConvertError("Invalid offset");
    Next(iTime, pos, ':');
    ReadNumber(iTime, pos, 2, minutes);
    parts.OffsetMinutes = sign * (hours * 60 + minutes);
  }
  return parts;
}

} // namespace

double ParseISO8601(const std::string& iText, bool iUTC)
{
  const size_t timeMark = iText.find('T');
  int year = 0, month = 0, day = 0;
  ParseDate(iText.substr(0, timeMark), year, month, day);
  TTimeParts time;
  if (timeMark != std::string::npos)
    time = ParseTime(iText.substr(timeMark + 1));
  const TDateTime utc = EncodeDateTime(year, month, day, time.Hour, time.Minute, time.Second, time.Millisecond) -
                        time.OffsetMinutes / (24.0 * 60.0);
  // The zone's offset is taken at the instant itself, so that times next to a daylight-saving change land on
  // the right side of it.
  return iUTC ? utc : UTCToLocal(utc);
}
