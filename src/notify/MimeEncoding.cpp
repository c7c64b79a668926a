#include "notify/MimeEncoding.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace
{

constexpr size_t MaxLineLength = 76;
constexpr const char* EncodedWordStart = "=?UTF-8?Q?";
constexpr const char* EncodedWordEnd = "?=";
// An encoded word is at most 75 characters, including its 12 characters of framing.
constexpr size_t MaxEncodedPayload = 75 - 12;

std::string Hex(unsigned char iByte)
{
  static const char digits[] = "0123456789ABCDEF";
  return {'=', digits[iByte >> 4], digits[iByte & 15]};
}

bool IsPrintableASCII(const std::string& iText)
{
  for (const char c : iText)
  {
    if (c < 0x20 || c > 0x7E)
      return false;
  }
  return true;
}

// Length in bytes of the UTF-8 character starting with iLead; a stray byte counts alone.
size_t CharacterLength(unsigned char iLead)
{
  if (iLead >= 0xF0 && iLead < 0xF8)
    return 4;
  if (iLead >= 0xE0)
    return iLead < 0xF0 ? 3 : 1;
  if (iLead >= 0xC0)
    return 2;
  return 1;
}

// Q encoding restricted to the characters allowed inside a phrase, so the result fits every header.
std::string EncodeQCharacter(const std::string& iCharacter)
{
  std::string result;
  for (const char c : iCharacter)
  {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) && byte < 0x80)
      result += c;
    else if (c == '!' || c == '*' || c == '+' || c == '-' || c == '/')
      result += c;
    else if (c == ' ')
      result += '_';
    else
      result += Hex(byte);
  }
  return result;
}

// Whole characters per word, words separated by folding white space.
std::string EncodeWords(const std::string& iText)
{
  std::string result;
  std::string payload;
  auto flush = [&]()
  {
    if (!result.empty())
      result += "\r\n ";
    result += EncodedWordStart + payload + EncodedWordEnd;
    payload.clear();
  };
  for (size_t pos = 0; pos < iText.size();)
  {
    const size_t length = std::min(CharacterLength(static_cast<unsigned char>(iText[pos])), iText.size() - pos);
    const std::string encoded = EncodeQCharacter(iText.substr(pos, length));
    if (payload.size() + encoded.size() > MaxEncodedPayload)
      flush();
    payload += encoded;
    pos += length;
  }
  if (!payload.empty() || result.empty())
    flush();
  return result;
}

bool IsAtomText(char iChar)
{
  return std::isalnum(static_cast<unsigned char>(iChar)) ||
         std::string_view("!#$%&'*+-/=?^_`{|}~").find(iChar) != std::string_view::npos;
}

} // namespace

std::string EncodeHeaderText(const std::string& iText, size_t iNameLength)
{
  const bool plain =
      IsPrintableASCII(iText) && iText.find("=?") == std::string::npos && iNameLength + iText.size() <= MaxLineLength;
  return plain ? iText : EncodeWords(iText);
}

std::string EncodeDisplayName(const std::string& iName)
{
  // Encoded words can be folded onto several lines; a long plain name could not.
  if (!IsPrintableASCII(iName) || iName.size() > MaxEncodedPayload)
    return EncodeWords(iName);
  bool words = iName.find("=?") == std::string::npos;
  for (const char c : iName)
    words = words && (c == ' ' || IsAtomText(c));
  if (words)
    return iName;
  std::string quoted = "\"";
  for (const char c : iName)
  {
    if (c == '"' || c == '\\')
      quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string EncodeQuotedPrintable(const std::string& iText)
{
  std::string result;
  size_t lineLength = 0;
  for (size_t pos = 0; pos < iText.size(); ++pos)
  {
    if (iText.compare(pos, 2, "\r\n") == 0)
    {
      result += "\r\n";
      lineLength = 0;
      ++pos;
      continue;
    }
    const unsigned char byte = static_cast<unsigned char>(iText[pos]);
    const bool atLineEnd = pos + 1 == iText.size() || iText.compare(pos + 1, 2, "\r\n") == 0;
    const bool literal = (byte > 32 && byte < 127 && byte != '=') || ((byte == ' ' || byte == '\t') && !atLineEnd);
    const std::string token = literal ? std::string(1, static_cast<char>(byte)) : Hex(byte);
    // A soft break ("=" at the line's end) keeps every line within 76 characters.
    if (lineLength + token.size() > MaxLineLength - 1)
    {
      result += "=\r\n";
      lineLength = 0;
    }
    result += token;
    lineLength += token.size();
  }
  return result;
}
