#pragma once
// Address lists as written in mail headers (RFC 5322): addresses separated by commas or semicolons, each a bare
// address or a display name (words or a quoted string) with the address in angle brackets. Comments in
// parentheses are ignored, a group's name before its colon too.

#include <stdexcept>
#include <string>
#include <vector>

// The text is not a valid address list; nothing was sent.
class EAddressListError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

struct TMailAddress
{
  std::string Name;    // display name, unquoted; empty when none
  std::string Address; // bare address, as the SMTP envelope takes it
};

// Empty entries (",,", trailing separators, blank text) are skipped. Throws EAddressListError for unbalanced
// quotes, brackets or parentheses, an address with spaces or control characters, or several addresses in one entry.
std::vector<TMailAddress> ParseAddressList(const std::string& iText);
