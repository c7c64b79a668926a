#include "web/StaticContent.h"

#include "lib/TapevaultTools.h"
#include "web/ContentTypes.h"
#include "web/WebResources.h"

#include <algorithm>

TStaticContent::TStaticContent(std::string iFolder, const TWebResources& iResources)
    : fFolder(std::move(iFolder)), fResources(iResources)
{
}

std::string TStaticContent::DefaultFolder()
{
  return ProgramFolder() + "resources/web";
}

bool TStaticContent::Serve(const std::string& iPath, TWebResponse& oResponse) const
{
  if (iPath.find("..") == std::string::npos && ServeFile(iPath, oResponse))
    return true;
  const auto name = fResources.ResourceName(iPath);
  if (!name)
    return false;
  oResponse.ContentType = ContentTypeOf(iPath);
  oResponse.Body = fResources.Data(*name);
  return true;
}

bool TStaticContent::ServeFile(const std::string& iPath, TWebResponse& oResponse) const
{
  // The request path starts with "/"; beneath the folder it is relative.
  const std::string relative = iPath.substr(std::min(iPath.find_first_not_of('/'), iPath.size()));
  uint64_t size = 0;
  TFileHandle file = OpenRegularFileBeneath(fFolder, relative, size);
  if (!file.Valid())
    return false;
  oResponse.SetHeader("Content-Disposition", "inline");
  oResponse.ContentType = ContentTypeOf(relative);
  oResponse.Body = TFileBody{std::move(file), 0, size};
  return true;
}
