#include "ProcessEnvironment.h"

extern char** environ;

namespace
{
std::string VariableName(const std::string& iEntry)
{
  return iEntry.substr(0, iEntry.find('='));
}
} // namespace

std::vector<std::string> ChangedEnvironment(const std::vector<std::string>& iChanges)
{
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry)
  {
    const std::string text(*entry);
    bool changed = false;
    for (const std::string& change : iChanges)
      changed = changed || VariableName(change) == VariableName(text);
    if (!changed)
      result.push_back(text);
  }
  for (const std::string& change : iChanges)
    if (change.find('=') != std::string::npos)
      result.push_back(change);
  return result;
}

std::vector<char*> PointerArray(std::vector<std::string>& iTexts)
{
  std::vector<char*> result;
  for (std::string& text : iTexts)
    result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}
