#pragma once
// Small text helpers of the web layer.

#include "lib/TapevaultTools.h"

#include <string>

std::string LowerCaseASCII(std::string iText);
bool SameTextASCII(const std::string& iLeft, const std::string& iRight);
// UTF-8 to ISO-8859-1 for text answers; characters beyond it, and bytes that are not UTF-8, become "?".
std::string UTF8ToLatin1(const std::string& iText);
// A text answer's body and charset: ISO-8859-1 as callers have always read it, unless the text holds characters
// beyond it ("€", emoji), which then travel as UTF-8 instead of turning into "?".
struct TAnswerText
{
  std::string Charset;
  std::string Bytes;
};
TAnswerText AnswerText(const std::string& iText);
// Text from a client made safe for a log line: every byte outside printable ASCII becomes "?" (no terminal
// escapes, no line breaks), and at most iMaxLength bytes are kept ("..." marks a cut).
std::string PrintableASCII(const std::string& iText, size_t iMaxLength);
// Line breaks, NUL and other control characters, which no setting may hold.
bool HasControlCharacters(const std::string& iText);
inline constexpr const char* ControlCharactersMessage = "Must not contain line breaks or control characters.";
