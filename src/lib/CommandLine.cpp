// The process's arguments and the splitting of command texts into arguments.
#include "lib/TapevaultTools.h"

namespace
{

// Set once by main() before any other thread starts; read-only afterwards.
std::vector<std::string> gArguments;

bool IsBlank(char iChar)
{
  return static_cast<unsigned char>(iChar) <= 32;
}

} // namespace

void SetArguments(int argc, const char* const* argv)
{
  gArguments.assign(argv, argv + argc);
}

int ArgumentCount()
{
  return gArguments.empty() ? 0 : static_cast<int>(gArguments.size()) - 1;
}

std::string ArgumentText(int iIndex)
{
  if (iIndex == 0)
    return ProgramFilePath();
  if (iIndex < 0 || static_cast<size_t>(iIndex) >= gArguments.size())
    return std::string();
  return gArguments[static_cast<size_t>(iIndex)];
}

std::vector<std::string> SplitCommandLine(const std::string& iCommandLine)
{
  std::vector<std::string> arguments;
  const size_t length = iCommandLine.size();
  size_t pos = 0;
  for (;;)
  {
    while (pos < length && IsBlank(iCommandLine[pos]))
      ++pos;
    if (pos >= length)
      return arguments;
    std::string argument;
    bool quoted = false;
    while (pos < length && (quoted || !IsBlank(iCommandLine[pos])))
    {
      const char c = iCommandLine[pos];
      if (c == '\\')
      {
        size_t run = 0;
        while (pos + run < length && iCommandLine[pos + run] == '\\')
          ++run;
        pos += run;
        if (pos < length && iCommandLine[pos] == '"')
        {
          // Half of the backslashes stay; an odd one out escapes the quote, otherwise the quote toggles below.
          argument.append(run / 2, '\\');
          if (run % 2 == 1)
          {
            argument += '"';
            ++pos;
          }
        }
        else
          argument.append(run, '\\');
      }
      else if (c == '"')
      {
        quoted = !quoted;
        ++pos;
      }
      else
      {
        argument += c;
        ++pos;
      }
    }
    arguments.push_back(std::move(argument));
  }
}
