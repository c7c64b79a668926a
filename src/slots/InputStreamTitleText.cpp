#include "slots/InputStreamTitleText.h"

#include "lib/BrendleRegExpr.h"
#include "lib/Errors.h"

namespace
{
// Windows-1252 characters 0x80..0x9F; its five unassigned codes stay the control characters of the same number,
// as Windows maps them.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsValidUTF8(const std::string& iText)
{
  const auto* p = reinterpret_cast<const unsigned char*>(iText.data());
  const auto* end = p + iText.size();
  while (p < end)
  {
    const unsigned char c = *p++;
    if (c < 0x80)
      continue;
    int more = 0;
    uint32_t code = 0, minimum = 0;
    if ((c & 0xE0) == 0xC0)
      more = 1, code = c & 0x1F, minimum = 0x80;
    else if ((c & 0xF0) == 0xE0)
      more = 2, code = c & 0x0F, minimum = 0x800;
    else if ((c & 0xF8) == 0xF0)
      more = 3, code = c & 0x07, minimum = 0x10000;
    else
      return false;
    if (end - p < more)
      return false;
    for (int i = 0; i < more; ++i, ++p)
    {
      if ((*p & 0xC0) != 0x80)
        return false;
      code = (code << 6) | (*p & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
  }
  return true;
}
} // namespace

void AppendUTF8(std::string& ioText, uint32_t iCode)
{
  if (iCode < 0x80)
    ioText += char(iCode);
  else if (iCode < 0x800)
  {
    ioText += char(0xC0 | (iCode >> 6));
    ioText += char(0x80 | (iCode & 0x3F));
  }
  else if (iCode < 0x10000)
  {
    ioText += char(0xE0 | (iCode >> 12));
    ioText += char(0x80 | ((iCode >> 6) & 0x3F));
    ioText += char(0x80 | (iCode & 0x3F));
  }
  else
  {
    ioText += char(0xF0 | (iCode >> 18));
    ioText += char(0x80 | ((iCode >> 12) & 0x3F));
    ioText += char(0x80 | ((iCode >> 6) & 0x3F));
    ioText += char(0x80 | (iCode & 0x3F));
  }
}

std::string MetadataToUTF8(const std::string& iText)
{
  if (IsValidUTF8(iText))
    return iText;
  std::string text;
  text.reserve(iText.size() * 2);
  for (const unsigned char c : iText)
    AppendUTF8(text, c >= 0x80 && c < 0xA0 ? kWindows1252High[c - 0x80] : char16_t(c));
  return text;
}

std::string FlattenedTitle(const std::string& iText)
{
  std::string text;
  text.reserve(iText.size());
  bool space = true; // none leads
  for (size_t i = 0; i < iText.size(); ++i)
  {
    const auto c = static_cast<unsigned char>(iText[i]);
    // C1 controls are U+0080..U+009F: C2 80..C2 9F in UTF-8.
    const bool c1 = c == 0xC2 && i + 1 < iText.size() && static_cast<unsigned char>(iText[i + 1]) <= 0x9F;
    if (c < 0x20 || c == 0x7F || c == ' ' || c1)
    {
      if (c1)
        ++i;
      if (!space)
        text += ' ';
      space = true;
      continue;
    }
    text += char(c);
    space = false;
  }
  if (!text.empty() && text.back() == ' ')
    text.pop_back();
  return text;
}

std::optional<std::string> StreamTitleFromMetadata(const std::string& iMetadata)
{
  const std::string text = MetadataToUTF8(iMetadata);
  if (text.empty())
    return std::nullopt;
  TBrendleRegExpr expression;
  if (!expression.Matches("StreamTitle='(.*?)';", text))
    return std::nullopt;
  return FlattenedTitle(expression.Group(1));
}

std::vector<std::string> CueSheetTrackLines(int iTrack, const std::string& iTitle, int64_t iOffsetMilliseconds)
{
  const int64_t offset = iOffsetMilliseconds > 0 ? iOffsetMilliseconds : 0;
  const auto minutes = static_cast<long long>(offset / 60000);
  const int seconds = static_cast<int>((offset / 1000) % 60);
  const int frames = static_cast<int>((offset % 1000) * 75 / 1000);
  std::string title = iTitle;
  for (size_t at = 0; (at = title.find('"', at)) != std::string::npos; at += 2)
    title.replace(at, 1, "''");
  return {Format("  TRACK %.2d AUDIO", iTrack), "    TITLE \"" + title + "\"",
          Format("    INDEX 01 %.2lld:%.2d:%.2d", minutes, seconds, frames)};
}
