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
  static const char Digits[] = "0123456789ABCDEF";
  return {'=', Digits[iByte >> 4], Digits[iByte & 15]};
}

bool IsPrintableASCII(const std::string& iText)
{
  for (const char Char : iText)
  {
    if (Char < 0x20 || Char > 0x7E)
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
  std::string Result;
  for (const char Char : iCharacter)
  {
    const unsigned char Byte = static_cast<unsigned char>(Char);
    if (std::isalnum(Byte) && Byte < 0x80)
      Result += Char;
    else if (Char == '!' || Char == '*' || Char == '+' || Char == '-' || Char == '/')
      Result += Char;
    else if (Char == ' ')
      Result += '_';
    else
      Result += Hex(Byte);
  }
  return Result;
}

// Whole characters per word, words separated by folding white space.
std::string EncodeWords(const std::string& iText)
{
  std::string Result;
  std::string Payload;
  auto Flush = [&]()
  {
    if (!Result.empty())
      Result += "\r\n ";
    Result += EncodedWordStart + Payload + EncodedWordEnd;
    Payload.clear();
  };
  for (size_t Pos = 0; Pos < iText.size();)
  {
    const size_t Length = std::min(CharacterLength(static_cast<unsigned char>(iText[Pos])), iText.size() - Pos);
    const std::string Encoded = EncodeQCharacter(iText.substr(Pos, Length));
    if (Payload.size() + Encoded.size() > MaxEncodedPayload)
      Flush();
    Payload += Encoded;
    Pos += Length;
  }
  if (!Payload.empty() || Result.empty())
    Flush();
  return Result;
}

bool IsAtomText(char iChar)
{
  return std::isalnum(static_cast<unsigned char>(iChar)) ||
         std::string_view("!#$%&'*+-/=?^_`{|}~").find(iChar) != std::string_view::npos;
}

} // namespace

std::string EncodeHeaderText(const std::string& iText, size_t iNameLength)
{
  const bool Plain =
      IsPrintableASCII(iText) && iText.find("=?") == std::string::npos && iNameLength + iText.size() <= MaxLineLength;
  return Plain ? iText : EncodeWords(iText);
}

std::string EncodeDisplayName(const std::string& iName)
{
  // Encoded words can be folded onto several lines; a long plain name could not.
  if (!IsPrintableASCII(iName) || iName.size() > MaxEncodedPayload)
    return EncodeWords(iName);
  bool Words = iName.find("=?") == std::string::npos;
  for (const char Char : iName)
    Words = Words && (Char == ' ' || IsAtomText(Char));
  if (Words)
    return iName;
  std::string Quoted = "\"";
  for (const char Char : iName)
  {
    if (Char == '"' || Char == '\\')
      Quoted += '\\';
    Quoted += Char;
  }
  return Quoted + "\"";
}

std::string EncodeQuotedPrintable(const std::string& iText)
{
  std::string Result;
  size_t LineLength = 0;
  for (size_t Pos = 0; Pos < iText.size(); ++Pos)
  {
    if (iText.compare(Pos, 2, "\r\n") == 0)
    {
      Result += "\r\n";
      LineLength = 0;
      ++Pos;
      continue;
    }
    const unsigned char Byte = static_cast<unsigned char>(iText[Pos]);
    const bool AtLineEnd = Pos + 1 == iText.size() || iText.compare(Pos + 1, 2, "\r\n") == 0;
    const bool Literal = (Byte > 32 && Byte < 127 && Byte != '=') || ((Byte == ' ' || Byte == '\t') && !AtLineEnd);
    const std::string Token = Literal ? std::string(1, static_cast<char>(Byte)) : Hex(Byte);
    // A soft break ("=" at the line's end) keeps every line within 76 characters.
    if (LineLength + Token.size() > MaxLineLength - 1)
    {
      Result += "=\r\n";
      LineLength = 0;
    }
    Result += Token;
    LineLength += Token.size();
  }
  return Result;
}
