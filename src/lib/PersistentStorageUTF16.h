#pragma once
// UTF-8 texts read as UTF-16 code units, as the JSON escaping and the member order need them. A byte that
// does not start a valid UTF-8 sequence (stray continuation bytes, overlong forms, encoded surrogates, values
// past U+10FFFF, cut sequences) stands for the Latin-1 character of the same value.

#include <cstddef>
#include <cstdint>
#include <string_view>

// Length of the valid UTF-8 sequence at iPos (2 to 4) with its code point, or 0 when there is none.
inline size_t DecodeUTF8Sequence(std::string_view iText, size_t iPos, char32_t& oCodePoint)
{
  const auto byte = [&](size_t iOffset) { return static_cast<unsigned char>(iText[iPos + iOffset]); };
  const size_t available = iText.size() - iPos;
  const unsigned char lead = byte(0);
  size_t length;
  unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
  {
    length = 3;
    if (lead == 0xE0)
      low = 0xA0;
    else if (lead == 0xED)
      high = 0x9F;
  }
  else if (lead >= 0xF0 && lead <= 0xF4)
  {
    length = 4;
    if (lead == 0xF0)
      low = 0x90;
    else if (lead == 0xF4)
      high = 0x8F;
  }
  else
    return 0;
  if (available < length || byte(1) < low || byte(1) > high)
    return 0;
  char32_t codePoint = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i)
  {
    if (i > 1 && (byte(i) & 0xC0) != 0x80)
      return 0;
    codePoint = (codePoint << 6) | (byte(i) & 0x3F);
  }
  oCodePoint = codePoint;
  return length;
}

// Calls iVisit(char16_t) for every UTF-16 code unit of the text.
template <class TVisitor> void ForEachUTF16Unit(std::string_view iText, TVisitor&& iVisit)
{
  size_t pos = 0;
  while (pos < iText.size())
  {
    const unsigned char lead = static_cast<unsigned char>(iText[pos]);
    char32_t codePoint = lead;
    size_t length = 1;
    if (lead >= 0x80)
    {
      length = DecodeUTF8Sequence(iText, pos, codePoint);
      if (length == 0)
      {
        codePoint = lead;
        length = 1;
      }
    }
    if (codePoint >= 0x10000)
    {
      iVisit(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
      iVisit(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
    }
    else
      iVisit(static_cast<char16_t>(codePoint));
    pos += length;
  }
}

// The hash that orders object members: per code unit u, hash = hash * 129 + u + 0x9E370001 (mod 2^32).
inline uint32_t MemberNameHash(std::string_view iName)
{
  uint32_t hash = 0;
  ForEachUTF16Unit(iName, [&](char16_t iUnit) { hash = hash * 129u + iUnit + 0x9E370001u; });
  return hash;
}
