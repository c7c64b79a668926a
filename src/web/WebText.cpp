#include "web/WebText.h"

std::string LowerCaseASCII(std::string iText)
{
  for (char& c : iText)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return iText;
}

bool SameTextASCII(const std::string& iLeft, const std::string& iRight)
{
  return iLeft.size() == iRight.size() && LowerCaseASCII(iLeft) == LowerCaseASCII(iRight);
}

std::string UTF8ToLatin1(const std::string& iText)
{
  std::string result;
  result.reserve(iText.size());
  for (size_t i = 0; i < iText.size();)
  {
    const auto lead = static_cast<unsigned char>(iText[i]);
    if (lead < 0x80)
    {
      result += static_cast<char>(lead);
      ++i;
      continue;
    }
    size_t length = 0;
    if ((lead & 0xE0) == 0xC0)
      length = 2;
    else if ((lead & 0xF0) == 0xE0)
      length = 3;
    else if ((lead & 0xF8) == 0xF0)
      length = 4;
    bool valid = length > 0 && i + length <= iText.size();
    for (size_t k = 1; valid && k < length; ++k)
      valid = (static_cast<unsigned char>(iText[i + k]) & 0xC0) == 0x80;
    if (!valid)
    {
      result += '?';
      ++i;
      continue;
    }
    // Only two-byte sequences of U+0080..U+00FF fit; overlong forms of ASCII do not count.
    const unsigned code = length == 2 ? ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(iText[i + 1]) & 0x3Fu) : 0;
    result += code >= 0x80 ? static_cast<char>(code) : '?';
    i += length;
  }
  return result;
}

std::string PrintableASCII(const std::string& iText, size_t iMaxLength)
{
  std::string result;
  for (const char c : iText.substr(0, iMaxLength))
    result += c >= ' ' && c <= '~' ? c : '?';
  return iText.size() > iMaxLength ? result + "..." : result;
}

bool HasControlCharacters(const std::string& iText)
{
  for (const char c : iText)
    if (static_cast<unsigned char>(c) < ' ' || c == '\x7f')
      return true;
  return false;
}
