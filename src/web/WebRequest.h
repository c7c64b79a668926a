#pragma once
// A request as the handlers see it, independent of the HTTP engine: method, decoded path, parameters from the
// query string and a form-encoded body, Basic credentials and the Range header.

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

  // The first value of a parameter, its name compared without regard to letter case.
  std::optional<std::string> Param(const std::string& iName) const;
};
