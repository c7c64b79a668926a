#pragma once
// The checks the fuzz targets make on what the code under test returns, written independently of it.

#include <cstdlib>
#include <string>

// A failed property ends the run like a crash, so that libFuzzer and the replay driver keep the input.
inline void Check(bool iCondition)
{
  if (!iCondition)
    std::abort();
}

// iText decodes as UTF-8 byte by byte.
inline bool ValidUTF8(const std::string& iText)
{
  for (size_t i = 0; i < iText.size();)
  {
    const unsigned char c = static_cast<unsigned char>(iText[i]);
    const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > iText.size())
      return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(iText[i + k]) & 0xC0) != 0x80)
        return false;
    i += length;
  }
  return true;
}

// A C0 control (line breaks among them) or DEL.
inline bool HasControlBytes(const std::string& iText)
{
  for (const char c : iText)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      return true;
  return false;
}

// No C0 control, DEL or C1 control (U+0080..U+009F in UTF-8): a text that stays on its line for every reader.
inline bool OneLine(const std::string& iText)
{
  for (size_t i = 0; i + 1 < iText.size(); ++i)
    if (static_cast<unsigned char>(iText[i]) == 0xC2 && static_cast<unsigned char>(iText[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(iText[i + 1]) <= 0x9F)
      return false;
  return !HasControlBytes(iText);
}
