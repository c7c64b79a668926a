#include "audio/engine/StreamURL.h"

#include <strings.h>

bool IsAllowedStreamURL(const std::string& iURL)
{
  for (const char* scheme : {"http://", "https://"})
  {
    const size_t length = std::char_traits<char>::length(scheme);
    if (iURL.size() > length && strncasecmp(iURL.c_str(), scheme, length) == 0)
      return true;
  }
  return false;
}
