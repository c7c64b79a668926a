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

namespace
{
// Calls iVisit with each code point of iText, or with -1 for a byte that does not start a valid sequence (the
// byte is skipped). Only code points up to U+00FF are decoded exactly; longer sequences report 0x100.
template <class TVisit> void VisitUTF8(const std::string& iText, TVisit iVisit)
{
  for (size_t i = 0; i < iText.size();)
  {
    const auto lead = static_cast<unsigned char>(iText[i]);
    if (lead < 0x80)
    {
      iVisit(static_cast<int>(lead));
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
    // Overlong forms of ASCII do not count as characters.
    const int code = length == 2
                         ? static_cast<int>(((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(iText[i + 1]) & 0x3Fu))
                         : 0x100;
    if (!valid || code < 0x80)
    {
      iVisit(-1);
      i += valid ? length : 1;
      continue;
    }
    iVisit(code);
    i += length;
  }
}
} // namespace

std::string UTF8ToLatin1(const std::string& iText)
{
  std::string result;
  result.reserve(iText.size());
  VisitUTF8(iText, [&](int iCode) { result += iCode >= 0 && iCode <= 0xFF ? static_cast<char>(iCode) : '?'; });
  return result;
}

TAnswerText AnswerText(const std::string& iText)
{
  bool beyondLatin1 = false;
  bool valid = true;
  VisitUTF8(iText,
            [&](int iCode)
            {
              beyondLatin1 = beyondLatin1 || iCode > 0xFF;
              valid = valid && iCode >= 0;
            });
  if (beyondLatin1 && valid)
    return {"utf-8", iText};
  return {"ISO-8859-1", UTF8ToLatin1(iText)};
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
