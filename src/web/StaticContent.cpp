#include "web/StaticContent.h"

#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "web/ContentTypes.h"
#include "web/HTTPCaching.h"
#include "web/WebRequest.h"
#include "web/WebResources.h"

#include <algorithm>
#include <sys/stat.h>

namespace
{
// The embedded files change only with the program, so the program file's time is theirs.
int64_t ProgramTime()
{
  static const int64_t time = []
  {
    struct stat status
    {
    };
    return ::stat("/proc/self/exe", &status) == 0 ? static_cast<int64_t>(status.st_mtime) : 0;
  }();
  return time;
}

// Sets the headers a cache keeps the answer by; true (and a bodiless 304) when the browser's copy is current.
// If-Modified-Since counts only as the exact date this server sent, which is what browsers send back.
bool NotModified(const TWebRequest& iRequest, const std::string& iTag, int64_t iModified, TWebResponse& ioResponse)
{
  const std::string modified = HTTPDate(iModified);
  ioResponse.SetHeader("ETag", iTag);
  ioResponse.SetHeader("Last-Modified", modified);
  // The libraries change only with the program; the pages are checked again on every visit.
  ioResponse.SetHeader("Cache-Control", iRequest.Path.starts_with("/assets/") ? "public, max-age=604800" : "no-cache");
  const bool current = iRequest.IfNoneMatch ? TagMatches(*iRequest.IfNoneMatch, iTag)
                                            : iRequest.IfModifiedSince && *iRequest.IfModifiedSince == modified;
  if (current)
    ioResponse.Status = 304;
  return current;
}
} // namespace

TStaticContent::TStaticContent(std::string iFolder, const TWebResources& iResources)
    : fFolder(std::move(iFolder)), fResources(iResources)
{
}

std::string TStaticContent::DefaultFolder()
{
  return ProgramFolder() + "resources/web";
}

bool TStaticContent::Serve(const TWebRequest& iRequest, TWebResponse& oResponse) const
{
  const std::string& path = iRequest.Path;
  if (path.find("..") == std::string::npos && ServeFile(iRequest, oResponse))
    return true;
  const auto name = fResources.ResourceName(path);
  if (!name)
    return false;
  const TWebResource& resource = fResources.Resource(*name);
  const bool gzipped = !resource.Gzipped.empty() && AcceptsGzip(iRequest.AcceptEncoding.value_or(""));
  if (!resource.Gzipped.empty())
    oResponse.SetHeader("Vary", "Accept-Encoding");
  // Each form has its own tag, so that no cache hands one out for the other.
  if (NotModified(iRequest, "\"" + std::string(resource.Tag) + (gzipped ? "-gz\"" : "\""), ProgramTime(), oResponse))
    return true;
  oResponse.ContentType = ContentTypeOf(path);
  if (gzipped)
    oResponse.SetHeader("Content-Encoding", "gzip");
  oResponse.Body = gzipped ? resource.Gzipped : resource.Bytes;
  return true;
}

bool TStaticContent::ServeFile(const TWebRequest& iRequest, TWebResponse& oResponse) const
{
  // The request path starts with "/"; beneath the folder it is relative.
  const std::string& path = iRequest.Path;
  const std::string relative = path.substr(std::min(path.find_first_not_of('/'), path.size()));
  uint64_t size = 0;
  TFileHandle file = OpenRegularFileBeneath(fFolder, relative, size);
  if (!file.Valid())
    return false;
  struct stat status
  {
  };
  if (::fstat(file.Get(), &status) != 0)
    return false;
  oResponse.SetHeader("Content-Disposition", "inline");
  const std::string tag =
      Format("\"%llx-%llx\"", static_cast<unsigned long long>(size),
             static_cast<unsigned long long>(status.st_mtim.tv_sec) * 1000000000ULL + status.st_mtim.tv_nsec);
  if (NotModified(iRequest, tag, status.st_mtime, oResponse))
    return true;
  oResponse.ContentType = ContentTypeOf(relative);
  oResponse.Body = TFileBody{std::move(file), 0, size};
  return true;
}
