#pragma once
// Texts that go to listeners and stream servers inside ICY headers and metadata blocks. A line break in a
// header would end it and start another one of the sender's choosing, and a quote in a title would end the
// StreamTitle field early, letting a title file add fields of its own (StreamUrl=...): both are taken out here.

#include <string>

// iText on one line: every run of control characters (line breaks, tabs, C0, DEL and C1) becomes one space.
std::string OneLineText(const std::string& iText);
// The value of an ICY metadata field: OneLineText, with each ' replaced by ’ (U+2019), so that the field ends
// only at its own closing "';" for every kind of parser.
std::string IcyFieldValue(const std::string& iText);
// "StreamTitle='...';", followed by "StreamUrl='...';" when iURL is not empty, both values made safe by
// IcyFieldValue and cut (at a character boundary) so that the text fits into one metadata block.
std::string IcyMetadata(const std::string& iTitle, const std::string& iURL);
