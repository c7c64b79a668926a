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
  const auto* End = p + iText.size();
  while (p < End)
  {
    const unsigned char c = *p++;
    if (c < 0x80)
      continue;
    int More = 0;
    uint32_t Code = 0, Minimum = 0;
    if ((c & 0xE0) == 0xC0)
      More = 1, Code = c & 0x1F, Minimum = 0x80;
    else if ((c & 0xF0) == 0xE0)
      More = 2, Code = c & 0x0F, Minimum = 0x800;
    else if ((c & 0xF8) == 0xF0)
      More = 3, Code = c & 0x07, Minimum = 0x10000;
    else
      return false;
    if (End - p < More)
      return false;
    for (int i = 0; i < More; ++i, ++p)
    {
      if ((*p & 0xC0) != 0x80)
        return false;
      Code = (Code << 6) | (*p & 0x3F);
    }
    if (Code < Minimum || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF))
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
  std::string Text;
  Text.reserve(iText.size() * 2);
  for (const unsigned char c : iText)
    AppendUTF8(Text, c >= 0x80 && c < 0xA0 ? kWindows1252High[c - 0x80] : char16_t(c));
  return Text;
}

std::optional<std::string> StreamTitleFromMetadata(const std::string& iMetadata)
{
  const std::string Text = MetadataToUTF8(iMetadata);
  if (Text.empty())
    return std::nullopt;
  TBrendleRegExpr Expression;
  if (!Expression.Matches("StreamTitle='(.*?)';", Text))
    return std::nullopt;
  return Expression.Group(1);
}

std::vector<std::string> CueSheetTrackLines(int iTrack, const std::string& iTitle, int64_t iOffsetMilliseconds)
{
  const int64_t Offset = iOffsetMilliseconds > 0 ? iOffsetMilliseconds : 0;
  const auto Minutes = static_cast<long long>(Offset / 60000);
  const int Seconds = static_cast<int>((Offset / 1000) % 60);
  const int Frames = static_cast<int>((Offset % 1000) * 75 / 1000);
  return {Format("  TRACK %.2d AUDIO", iTrack), "    TITLE \"" + iTitle + "\"",
          Format("    INDEX 01 %.2lld:%.2d:%.2d", Minutes, Seconds, Frames)};
}
