// Address lists and header texts come from the settings and from slot names: whatever they hold, the parsed
// addresses and the encoded header values must stay single, printable lines.
#include "notify/MailAddressList.h"
#include "notify/MimeEncoding.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{

void Require(bool iCondition)
{
  if (!iCondition)
    std::abort();
}

// Printable ASCII, broken only by folding ("\r\n "), each physical line within iLimit characters.
void RequireHeaderSafe(const std::string& iText, size_t iLimit)
{
  size_t LineLength = 0;
  for (size_t Pos = 0; Pos < iText.size(); ++Pos)
  {
    if (iText.compare(Pos, 3, "\r\n ") == 0)
    {
      Pos += 2;
      LineLength = 1;
      continue;
    }
    Require(iText[Pos] >= 0x20 && iText[Pos] <= 0x7E);
    Require(++LineLength <= iLimit);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  const std::string Text(reinterpret_cast<const char*>(iData), iSize);
  try
  {
    for (const TMailAddress& Address : ParseAddressList(Text))
    {
      Require(!Address.Address.empty());
      Require(Address.Address.find_first_of(" \r\n\t<>\"(),;") == std::string::npos);
      RequireHeaderSafe(EncodeDisplayName(Address.Name), 998);
    }
  }
  catch (const EAddressListError&)
  {
  }
  // Plain text is kept as it is only when it fits one line; encoded words are at most 75 characters.
  RequireHeaderSafe(EncodeHeaderText(Text, 9), 998);
  const std::string Body = EncodeQuotedPrintable(Text);
  size_t LineLength = 0;
  for (size_t Pos = 0; Pos < Body.size(); ++Pos)
  {
    if (Body.compare(Pos, 2, "\r\n") == 0)
    {
      ++Pos;
      LineLength = 0;
      continue;
    }
    Require(Body[Pos] == '\t' || (Body[Pos] >= 0x20 && Body[Pos] <= 0x7E));
    Require(++LineLength <= 76);
  }
  return 0;
}
