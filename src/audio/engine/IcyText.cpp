#include "audio/engine/IcyText.h"

namespace
{
// A metadata block holds at most 255 units of 16 bytes; the title gets the larger part of them.
constexpr size_t kMaxTitleBytes = 2048;
constexpr size_t kMaxURLBytes = 1024;

// iText cut to at most iMax bytes without splitting a UTF-8 sequence.
std::string CutAtCharacter(const std::string& iText, size_t iMax)
{
  if (iText.size() <= iMax)
    return iText;
  size_t end = iMax;
  while (end > 0 && (static_cast<unsigned char>(iText[end]) & 0xC0) == 0x80)
    --end;
  return iText.substr(0, end);
}
} // namespace

std::string OneLineText(const std::string& iText)
{
  std::string line;
  line.reserve(iText.size());
  bool inControl = false;
  for (size_t at = 0; at < iText.size(); ++at)
  {
    const auto byte = static_cast<unsigned char>(iText[at]);
    // C1 controls are U+0080..U+009F: 0xC2 0x80..0x9F in UTF-8.
    const bool c1 = byte == 0xC2 && at + 1 < iText.size() && (static_cast<unsigned char>(iText[at + 1]) & 0xE0) == 0x80;
    if (byte < 0x20 || byte == 0x7F || c1)
    {
      if (!inControl)
        line += ' ';
      inControl = true;
      at += c1 ? 1 : 0;
      continue;
    }
    inControl = false;
    line += static_cast<char>(byte);
  }
  return line;
}

std::string IcyFieldValue(const std::string& iText)
{
  std::string value;
  for (const char c : OneLineText(iText))
    value += c == '\'' ? std::string("\xE2\x80\x99") : std::string(1, c);
  return value;
}

std::string IcyMetadata(const std::string& iTitle, const std::string& iURL)
{
  std::string text = "StreamTitle='" + CutAtCharacter(IcyFieldValue(iTitle), kMaxTitleBytes) + "';";
  if (!iURL.empty())
    text += "StreamUrl='" + CutAtCharacter(IcyFieldValue(iURL), kMaxURLBytes) + "';";
  return text;
}
