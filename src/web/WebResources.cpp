#include "web/WebResources.h"

#include "lib/Errors.h"
#include "web/WebResourceTable.h"
#include "web/WebText.h"

#include <stdexcept>

const TWebResources& TWebResources::Instance()
{
  static const TWebResources resources = []
  {
    const auto bytes = [](const char* iBegin, const char* iEnd)
    { return iBegin ? std::string_view(iBegin, static_cast<size_t>(iEnd - iBegin)) : std::string_view(); };
    std::unordered_map<std::string, TWebResource> data;
    for (const TWebResourceEntry* entry = gWebResourceEntries; entry->Name; ++entry)
      data.emplace(entry->Name,
                   TWebResource{bytes(entry->Begin, entry->End), bytes(entry->GzipBegin, entry->GzipEnd), entry->Tag});
    return TWebResources(gWebFileList, std::move(data));
  }();
  return resources;
}

TWebResources::TWebResources(std::string_view iFileList, std::unordered_map<std::string, TWebResource> iResources)
    : fResources(std::move(iResources))
{
  while (!iFileList.empty())
  {
    const size_t end = iFileList.find('\n');
    const std::string_view line = iFileList.substr(0, end);
    iFileList = end == std::string_view::npos ? std::string_view() : iFileList.substr(end + 1);
    const size_t separator = line.find('=');
    if (separator != std::string_view::npos)
      fNamesByPath.emplace(LowerCaseASCII(std::string(line.substr(0, separator))),
                           std::string(line.substr(separator + 1)));
  }
}

std::optional<std::string> TWebResources::ResourceName(const std::string& iPath) const
{
  const auto found = fNamesByPath.find(LowerCaseASCII(iPath));
  if (found == fNamesByPath.end())
    return std::nullopt;
  return found->second;
}

const TWebResource& TWebResources::Resource(const std::string& iName) const
{
  const auto found = fResources.find(iName);
  if (found == fResources.end())
    throw std::runtime_error(Format("Resource %s not found", iName.c_str()));
  return found->second;
}
