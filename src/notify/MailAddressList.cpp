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
  std::string Result;
  for (char Char : iText)
  {
    if (IsSpace(Char))
    {
      if (!Result.empty() && Result.back() != ' ')
        Result += ' ';
    }
    else
      Result += Char;
  }
  if (!Result.empty() && Result.back() == ' ')
    Result.pop_back();
  return Result;
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
    TMailAddress Entry;
    if (fHasAngle)
    {
      Entry.Name = CollapseSpaces(fPhrase);
      Entry.Address = CollapseSpaces(fAngleAddress);
    }
    else
      Entry.Address = CollapseSpaces(fPhrase);
    if (Entry.Address.find_first_of(" <>\"(),;") != std::string::npos)
      Fail(Format("\"%s\" is not one address", Entry.Address.c_str()));
    if (!Entry.Address.empty())
      oList.push_back(Entry);
    else if (!Entry.Name.empty())
      Fail(Format("no address for \"%s\"", Entry.Name.c_str()));
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
  for (size_t Pos = iPos + 1; Pos < iText.size(); ++Pos)
  {
    if (iText[Pos] == '"')
      return Pos + 1;
    if (iText[Pos] == '\\' && Pos + 1 < iText.size())
      ++Pos;
    oText += iText[Pos];
  }
  iEntry.Fail("unterminated quoted string");
}

// Index after the comment's closing parenthesis; comments nest.
size_t SkipComment(const std::string& iText, size_t iPos, const TEntryBuilder& iEntry)
{
  int Depth = 0;
  for (size_t Pos = iPos; Pos < iText.size(); ++Pos)
  {
    if (iText[Pos] == '\\')
      ++Pos;
    else if (iText[Pos] == '(')
      ++Depth;
    else if (iText[Pos] == ')' && --Depth == 0)
      return Pos + 1;
  }
  iEntry.Fail("unterminated comment");
}

} // namespace

std::vector<TMailAddress> ParseAddressList(const std::string& iText)
{
  std::vector<TMailAddress> Result;
  TEntryBuilder Entry(iText);
  for (const char Char : iText)
  {
    if (static_cast<unsigned char>(Char) < 0x20 && !IsSpace(Char))
      Entry.Fail("control character");
  }
  size_t Pos = 0;
  while (Pos < iText.size())
  {
    const char Char = iText[Pos];
    if (Char == ',' || Char == ';')
    {
      Entry.Finish(Result);
      ++Pos;
    }
    else if (Char == '"')
    {
      std::string Quoted;
      Pos = ScanQuoted(iText, Pos, Quoted, Entry);
      if (Entry.HasAngle())
        Entry.MarkTextAfterAngle();
      Entry.AddPhraseText(Quoted);
    }
    else if (Char == '(')
      Pos = SkipComment(iText, Pos, Entry);
    else if (Char == '<')
    {
      const size_t Close = iText.find('>', Pos);
      if (Close == std::string::npos)
        Entry.Fail("missing \">\"");
      Entry.SetAngleAddress(iText.substr(Pos + 1, Close - Pos - 1));
      Pos = Close + 1;
    }
    else if (Char == '>' || Char == ')')
      Entry.Fail(Format("unexpected \"%c\"", Char));
    else if (Char == ':' && !Entry.HasAngle())
    {
      Entry.DropPhrase();
      ++Pos;
    }
    else
    {
      if (Entry.HasAngle() && !IsSpace(Char))
        Entry.MarkTextAfterAngle();
      Entry.AddPhraseText(std::string(1, Char));
      ++Pos;
    }
  }
  Entry.Finish(Result);
  return Result;
}
