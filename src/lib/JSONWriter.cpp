#include "lib/JSONWriter.h"

#include "lib/PersistentStorageUTF16.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace
{
void AppendJSonNumber(std::string& ioText, double iValue)
{
  if (!std::isfinite(iValue))
  {
    ioText += "null";
    return;
  }
  if (iValue == 0) // also -0, which is not negative
  {
    ioText += '0';
    return;
  }
  // Round to 15 significant digits first: d.dddddddddddddde+XX.
  char scientific[40];
  const auto result =
      std::to_chars(scientific, scientific + sizeof(scientific), std::fabs(iValue), std::chars_format::scientific, 14);
  *result.ptr = 0;
  const char* exponentPos = std::strchr(scientific, 'e');
  const int exponent = std::atoi(exponentPos + 1);
  char digits[16];
  digits[0] = scientific[0];
  std::memcpy(digits + 1, scientific + 2, static_cast<size_t>(exponentPos - scientific - 2));
  int digitCount = static_cast<int>(exponentPos - scientific - 1);
  while (digitCount > 1 && digits[digitCount - 1] == '0')
    --digitCount;
  const std::string_view significant(digits, static_cast<size_t>(digitCount));

  if (iValue < 0)
    ioText += '-';
  if (exponent < -7 || exponent >= 21)
  {
    ioText += significant[0];
    if (digitCount > 1)
      ioText.append(".").append(significant.substr(1));
    ioText += exponent < 0 ? "e-" : "e+";
    ioText += std::to_string(std::abs(exponent));
  }
  else if (exponent < 0)
    ioText.append("0.").append(static_cast<size_t>(-exponent - 1), '0').append(significant);
  else if (digitCount <= exponent + 1)
    ioText.append(significant).append(static_cast<size_t>(exponent + 1 - digitCount), '0');
  else
    ioText.append(significant.substr(0, static_cast<size_t>(exponent + 1)))
        .append(".")
        .append(significant.substr(static_cast<size_t>(exponent + 1)));
}

} // namespace

std::string FormatJSonNumber(double iValue)
{
  std::string text;
  AppendJSonNumber(text, iValue);
  return text;
}

namespace
{
constexpr char cHexDigits[] = "0123456789abcdef";

void AppendUnitEscape(std::string& ioText, char16_t iUnit)
{
  const char escape[] = {'\\',
                         'u',
                         cHexDigits[(iUnit >> 12) & 0xF],
                         cHexDigits[(iUnit >> 8) & 0xF],
                         cHexDigits[(iUnit >> 4) & 0xF],
                         cHexDigits[iUnit & 0xF]};
  ioText.append(escape, sizeof(escape));
}

// The escape letter of an ASCII character in the escaping mode: 0 = written as it is, 'u' = \u00xx.
constexpr char EscapeLetter(unsigned char iChar)
{
  switch (iChar)
  {
  case 8:
    return 'b';
  case 9:
    return 't';
  case 10:
    return 'n';
  case 12:
    return 'f';
  case 13:
    return 'r';
  case '"':
  case '\\':
  case '/':
    return static_cast<char>(iChar);
  default:
    return iChar < 32 ? 'u' : 0;
  }
}

void AppendEscaped(std::string& ioText, std::string_view iValue)
{
  size_t runStart = 0;
  size_t pos = 0;
  while (pos < iValue.size())
  {
    const unsigned char byte = static_cast<unsigned char>(iValue[pos]);
    const char letter = byte < 0x80 ? EscapeLetter(byte) : 'u';
    if (letter == 0)
    {
      ++pos;
      continue;
    }
    ioText.append(iValue, runStart, pos - runStart);
    if (byte >= 0x80)
    {
      char32_t codePoint = byte;
      const size_t length = DecodeUTF8Sequence(iValue, pos, codePoint);
      ForEachUTF16Unit(iValue.substr(pos, length == 0 ? 1 : length),
                       [&](char16_t iUnit) { AppendUnitEscape(ioText, iUnit); });
      pos += length == 0 ? 1 : length;
    }
    else
    {
      if (letter == 'u')
        AppendUnitEscape(ioText, byte);
      else
        ioText.append({'\\', letter});
      ++pos;
    }
    runStart = pos;
  }
  ioText.append(iValue, runStart, pos - runStart);
}

// Without escaping only what would break the string is replaced: NUL, the quote and the backslash.
void AppendUnescaped(std::string& ioText, std::string_view iValue)
{
  size_t runStart = 0;
  for (size_t pos = 0; pos < iValue.size(); ++pos)
  {
    const char c = iValue[pos];
    if (c != 0 && c != '"' && c != '\\')
      continue;
    ioText.append(iValue, runStart, pos - runStart);
    if (c == 0)
      ioText += "\\u0000";
    else
      ioText.append({'\\', c});
    runStart = pos + 1;
  }
  ioText.append(iValue, runStart, iValue.size() - runStart);
}
} // namespace

void TJSonWriter::WriteNumber(double iValue)
{
  AppendJSonNumber(fText, iValue);
}

void TJSonWriter::WriteString(std::string_view iValue)
{
  fText += '"';
  if (fEscape)
    AppendEscaped(fText, iValue);
  else
    AppendUnescaped(fText, iValue);
  fText += '"';
}

void TJSonWriter::NewLine()
{
  if (!fIndent)
    return;
  fText += "\r\n";
  fText.append(static_cast<size_t>(fDepth), ' ');
}

void TJSonWriter::BeginObject()
{
  fText += '{';
  ++fDepth;
}

void TJSonWriter::WriteMemberName(std::string_view iName, bool iFirst)
{
  if (!iFirst)
    fText += ',';
  NewLine();
  WriteString(iName);
  fText += fIndent ? ": " : ":";
}

void TJSonWriter::EndObject(bool iEmpty)
{
  --fDepth;
  if (!iEmpty)
    NewLine();
  fText += '}';
}

void TJSonWriter::BeginArray(bool iEmpty)
{
  fText += '[';
  ++fDepth;
  if (!iEmpty)
    NewLine();
}

void TJSonWriter::EndArray()
{
  --fDepth;
  fText += ']';
}
