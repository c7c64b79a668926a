#include "web/WebRequest.h"

#include "web/WebText.h"

std::optional<std::string> TWebRequest::Param(const std::string& iName) const
{
  for (const auto& [name, value] : Params)
    if (SameTextASCII(name, iName))
      return value;
  return std::nullopt;
}

namespace
{
// The origin a browser names matches this server when it is the scheme and the Host the request was sent to.
bool SameOrigin(const std::string& iOrigin, const std::string& iHost)
{
  const std::string origin = LowerCaseASCII(iOrigin);
  const std::string host = LowerCaseASCII(iHost);
  return !host.empty() && (origin == "http://" + host || origin == "https://" + host);
}
} // namespace

bool TWebRequest::CrossSite() const
{
  if (Origin && !SameOrigin(*Origin, Host))
    return true;
  // "same-site" is another origin too: another port or a sibling host name.
  return FetchSite && !SameTextASCII(*FetchSite, "same-origin") && !SameTextASCII(*FetchSite, "none");
}

std::string TWebRequest::RequesterName() const
{
  if (!HasAuthorization || !Credentials)
    return "anonymous";
  return PrintableASCII(Credentials->User, 64);
}
