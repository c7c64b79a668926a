#pragma once
// The browser application held in the program: request paths map to resource names through the file list
// (letter case ignored), resource names to their bytes. Loaded once, read-only afterwards, so any thread may
// look up.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

struct TWebResource
{
  std::string_view Bytes;
  // Empty when the resource has no gzip copy.
  std::string_view Gzipped;
  std::string_view Tag;
};

class TWebResources
{
public:
  // The program's own resources (built from the generated table on first use).
  static const TWebResources& Instance();

  // iFileList: lines "path=resource name"; iResources: name -> resource.
  TWebResources(std::string_view iFileList, std::unordered_map<std::string, TWebResource> iResources);

  // The resource name listed for iPath, or nothing.
  std::optional<std::string> ResourceName(const std::string& iPath) const;
  // A resource; an error when the file list names a resource that does not exist.
  const TWebResource& Resource(const std::string& iName) const;

private:
  std::unordered_map<std::string, std::string> fNamesByPath; // keys in lower case
  std::unordered_map<std::string, TWebResource> fResources;
};
