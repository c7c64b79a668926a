#include "lib/SimpleSQLParameters.h"

#include "lib/Errors.h"

#include <cctype>
#include <strings.h>

namespace
{
bool IsNameChar(char iChar)
{
  const unsigned char c = static_cast<unsigned char>(iChar);
  return std::isalnum(c) || c == '_' || c >= 0x80;
}

// Index just past the end of the quoted part that starts at iPos, or the text's end when it is not closed.
size_t SkipQuoted(const std::string& iSQL, size_t iPos, char iClose)
{
  for (size_t pos = iPos + 1; pos < iSQL.size(); ++pos)
    if (iSQL[pos] == iClose)
    {
      if (iClose != ']' && pos + 1 < iSQL.size() && iSQL[pos + 1] == iClose)
        ++pos; // a doubled quote stays inside
      else
        return pos + 1;
    }
  return iSQL.size();
}

// Index past a literal, quoted name or comment starting at iPos, or iPos when none starts there.
size_t SkipInert(const std::string& iSQL, size_t iPos)
{
  const char c = iSQL[iPos];
  const char next = iPos + 1 < iSQL.size() ? iSQL[iPos + 1] : 0;
  switch (c)
  {
  case '\'':
  case '"':
  case '`':
    return SkipQuoted(iSQL, iPos, c);
  case '[':
    return SkipQuoted(iSQL, iPos, ']');
  case '-':
    if (next == '-')
    {
      const size_t end = iSQL.find('\n', iPos);
      return end == std::string::npos ? iSQL.size() : end + 1;
    }
    return iPos;
  case '/':
    if (next == '*')
    {
      const size_t end = iSQL.find("*/", iPos + 2);
      return end == std::string::npos ? iSQL.size() : end + 2;
    }
    return iPos;
  default:
    return iPos;
  }
}

size_t ParameterNumber(std::vector<std::string>& ioNames, const std::string& iName)
{
  if (!iName.empty())
    for (size_t i = 0; i < ioNames.size(); ++i)
      if (SameParameterName(ioNames[i], iName))
        return i + 1;
  ioNames.push_back(iName);
  return ioNames.size();
}
void AppendPlaceholder(std::string& ioText, size_t iNumber)
{
  ioText += '?';
  ioText += std::to_string(iNumber);
}
} // namespace

bool SameParameterName(const std::string& iLeft, const std::string& iRight)
{
  return iLeft.size() == iRight.size() && strncasecmp(iLeft.c_str(), iRight.c_str(), iLeft.size()) == 0;
}

TSQLParameterScan ScanSQLParameters(const std::string& iSQL)
{
  TSQLParameterScan scan;
  size_t pos = 0;
  while (pos < iSQL.size())
  {
    const size_t inertEnd = SkipInert(iSQL, pos);
    if (inertEnd != pos)
    {
      scan.EngineText.append(iSQL, pos, inertEnd - pos);
      pos = inertEnd;
      continue;
    }
    const char c = iSQL[pos];
    const char next = pos + 1 < iSQL.size() ? iSQL[pos + 1] : 0;
    if (c == ':' && next == ':')
    {
      scan.EngineText += "::";
      pos += 2;
    }
    else if (c == ':' && IsNameChar(next))
    {
      size_t end = pos + 1;
      while (end < iSQL.size() && IsNameChar(iSQL[end]))
        ++end;
      AppendPlaceholder(scan.EngineText, ParameterNumber(scan.Names, iSQL.substr(pos + 1, end - pos - 1)));
      pos = end;
    }
    else if (c == '?')
    {
      if (std::isdigit(static_cast<unsigned char>(next)))
        throw ESQLError(Format("Numbered parameters are not supported: %s", iSQL.substr(pos, 4).c_str()));
      AppendPlaceholder(scan.EngineText, ParameterNumber(scan.Names, ""));
      ++pos;
    }
    else
    {
      scan.EngineText += c;
      ++pos;
    }
  }
  return scan;
}
