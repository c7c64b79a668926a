#pragma once
// Making UTF-8 text safe for mail headers and bodies: RFC 2047 encoded words ("Q" encoding) for headers and
// quoted-printable for the body, so that slot names with umlauts or line breaks arrive intact and can never
// inject header lines.

#include <string>

// The value of an unstructured header (Subject) after iNameLength characters of "Name: ": unchanged when it is
// printable ASCII and fits one line, else encoded words folded onto continuation lines.
std::string EncodeHeaderText(const std::string& iText, size_t iNameLength);
// A display name for an address header: as it is when it consists of plain words, a quoted string when it is
// other printable ASCII, encoded words when it is neither or too long for one line.
std::string EncodeDisplayName(const std::string& iName);
// Quoted-printable body; CR LF pairs of the text stay hard line breaks, lines longer than 76 get soft breaks.
std::string EncodeQuotedPrintable(const std::string& iText);
