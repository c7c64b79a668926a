#include "notify/MailAddressList.h"

#include "lib/Errors.h"

namespace
{

bool IsSpace(char iChar)
{
  return iChar == ' ' || iChar == '\t' || iChar == '\r' || iChar == '\n';
}

std::string CollapseSpaces(const std::string& iText)
{
  std::string result;
  for (char c : iText)
  {
    if (IsSpace(c))
    {
      if (!result.empty() && result.back() != ' ')
        result += ' ';
    }
    else
      result += c;
  }
  if (!result.empty() && result.back() == ' ')
    result.pop_back();
  return result;
}

// Collects one entry while the list is scanned: the words before an angle bracket become the display name.
class TEntryBuilder
{
public:
  explicit TEntryBuilder(const std::string& iList) : fList(iList) {}

  void AddPhraseText(const std::string& iText) { fPhrase += iText; }
  void SetAngleAddress(const std::string& iAddress)
  {
    if (fHasAngle)
      Fail("several addresses in one entry");
    fHasAngle = true;
    fAngleAddress = iAddress;
    fAfterAngle = false;
  }
  bool HasAngle() const { return fHasAngle; }
  void MarkTextAfterAngle() { fAfterAngle = true; }
  // A group's name ends at its colon and is not part of any address.
  void DropPhrase() { fPhrase.clear(); }

  void Finish(std::vector<TMailAddress>& oList)
  {
    if (fAfterAngle)
      Fail("text after an address in angle brackets");
    TMailAddress entry;
    if (fHasAngle)
    {
      entry.Name = CollapseSpaces(fPhrase);
      entry.Address = CollapseSpaces(fAngleAddress);
    }
    else
      entry.Address = CollapseSpaces(fPhrase);
    if (entry.Address.find_first_of(" <>\"(),;") != std::string::npos)
      Fail(Format("\"%s\" is not one address", entry.Address.c_str()));
    if (!entry.Address.empty())
      oList.push_back(entry);
    else if (!entry.Name.empty())
      Fail(Format("no address for \"%s\"", entry.Name.c_str()));
    fPhrase.clear();
    fAngleAddress.clear();
    fHasAngle = false;
    fAfterAngle = false;
  }

  [[noreturn]] void Fail(const std::string& iWhy) const
  {
    throw EAddressListError(Format("Invalid address list \"%s\": %s", fList.c_str(), iWhy.c_str()));
  }

private:
  const std::string& fList;
  std::string fPhrase;
  std::string fAngleAddress;
  bool fHasAngle = false;
  bool fAfterAngle = false;
};

// Index after the closing quote; the unescaped content goes to oText.
size_t ScanQuoted(const std::string& iText, size_t iPos, std::string& oText, const TEntryBuilder& iEntry)
{
  for (size_t pos = iPos + 1; pos < iText.size(); ++pos)
  {
    if (iText[pos] == '"')
      return pos + 1;
    if (iText[pos] == '\\' && pos + 1 < iText.size())
      ++pos;
    oText += iText[pos];
  }
  iEntry.Fail("unterminated quoted string");
}

// Index after the comment's closing parenthesis; comments nest.
size_t SkipComment(const std::string& iText, size_t iPos, const TEntryBuilder& iEntry)
{
  int depth = 0;
  for (size_t pos = iPos; pos < iText.size(); ++pos)
  {
    if (iText[pos] == '\\')
      ++pos;
    else if (iText[pos] == '(')
      ++depth;
    else if (iText[pos] == ')' && --depth == 0)
      return pos + 1;
  }
  iEntry.Fail("unterminated comment");
}

} // namespace

std::vector<TMailAddress> ParseAddressList(const std::string& iText)
{
  std::vector<TMailAddress> result;
  TEntryBuilder entry(iText);
  for (const char c : iText)
  {
    if (static_cast<unsigned char>(c) < 0x20 && !IsSpace(c))
      entry.Fail("control character");
  }
  size_t pos = 0;
  while (pos < iText.size())
  {
    const char c = iText[pos];
    if (c == ',' || c == ';')
    {
      entry.Finish(result);
      ++pos;
    }
    else if (c == '"')
    {
      std::string quoted;
      pos = ScanQuoted(iText, pos, quoted, entry);
      if (entry.HasAngle())
        entry.MarkTextAfterAngle();
      entry.AddPhraseText(quoted);
    }
    else if (c == '(')
      pos = SkipComment(iText, pos, entry);
    else if (c == '<')
    {
      const size_t close = iText.find('>', pos);
      if (close == std::string::npos)
        entry.Fail("missing \">\"");
      entry.SetAngleAddress(iText.substr(pos + 1, close - pos - 1));
      pos = close + 1;
    }
    else if (c == '>' || c == ')')
      entry.Fail(Format("unexpected \"%c\"", c));
    else if (c == ':' && !entry.HasAngle())
    {
      entry.DropPhrase();
      ++pos;
    }
    else
    {
      if (entry.HasAngle() && !IsSpace(c))
        entry.MarkTextAfterAngle();
      entry.AddPhraseText(std::string(1, c));
      ++pos;
    }
  }
  entry.Finish(result);
  return result;
}
