#include "web/WebRequest.h"

#include "web/WebText.h"

std::optional<std::string> TWebRequest::Param(const std::string& iName) const
{
  for (const auto& [name, value] : Params)
    if (SameTextASCII(name, iName))
      return value;
  return std::nullopt;
}
