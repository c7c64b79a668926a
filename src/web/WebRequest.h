#pragma once
// A request as the handlers see it, independent of the HTTP engine: method, decoded path, parameters from the
// query string and a form-encoded body, Basic credentials, the Range header, a body of another type and the
// client's address.

#include "web/WebAccess.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct TWebRequest
{
  std::string Method;
  // Decoded, without the query string.
  std::string Path;
  // In the order received; a repeated name keeps every value.
  std::vector<std::pair<std::string, std::string>> Params;
  bool HasAuthorization = false;
  // Nothing when there is no Authorization header or it is not readable Basic credentials.
  std::optional<TWebCredentials> Credentials;
  std::optional<std::string> Range;
  // What static answers are compressed and revalidated by.
  std::optional<std::string> AcceptEncoding;
  std::optional<std::string> IfNoneMatch;
  std::optional<std::string> IfModifiedSince;
  // What changing requests are checked by: the body's type, the host the request was sent to and the origin of
  // the page that sent it (nothing when the client names none).
  std::string ContentType;
  std::string Host;
  std::optional<std::string> Origin;
  // "Sec-Fetch-Site" of browsers that send it: "same-origin", "same-site", "cross-site" or "none".
  std::optional<std::string> FetchSite;
  // A POST body that is not a form (JSON), as received.
  std::string Body;
  // The client's IP address as numeric text ("192.0.2.7", "2001:db8::7"; IPv4 clients of an IPv6 socket in the
  // IPv4 form), without the port: what failed logins are counted by.
  std::string ClientAddress;

  // The first value of a parameter, its name compared without regard to letter case.
  std::optional<std::string> Param(const std::string& iName) const;
  // Sent by another site's page, as far as the browser tells: an Origin that is not this server, or a
  // "Sec-Fetch-Site" other than "same-origin" and "none" (typed or bookmarked). Scripts that name neither are not.
  bool CrossSite() const;
  // The name a log line gives the requester: the user of its credentials, "anonymous" without.
  std::string RequesterName() const;
};
