#include "slots/SlotPaths.h"

#include <algorithm>

std::string WithTrailingDelimiter(const std::string& iFolder)
{
  return iFolder.empty() || iFolder.back() == '/' ? iFolder : iFolder + "/";
}

std::string StoredRecordingName(const std::string& iRelativeName)
{
  std::string result = iRelativeName;
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

bool ResolveRecordingPath(const std::string& iFolder, const std::string& iStoredName, std::string& oFullPath)
{
  const std::string name = StoredRecordingName(iStoredName);
  if (name.starts_with('/'))
    return false;
  std::string relative;
  size_t start = 0;
  while (start <= name.size())
  {
    const size_t end = std::min(name.find('/', start), name.size());
    const std::string component = name.substr(start, end - start);
    start = end + 1;
    if (component.empty() || component == ".")
      continue;
    if (component == "..")
      return false;
    relative += (relative.empty() ? "" : "/") + component;
  }
  if (relative.empty())
    return false;
  oFullPath = WithTrailingDelimiter(iFolder) + relative;
  return true;
}
