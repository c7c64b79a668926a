// ParseISO8601 on arbitrary text: a value or an EConvertError, never anything else.
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  // A zone with daylight-saving changes, so that the local conversion has gaps and repeated hours to meet.
  static const bool zoneSet = []
  {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    return true;
  }();
  (void)zoneSet;
  const std::string text(reinterpret_cast<const char*>(iData), iSize);
  for (bool utc : {true, false})
  {
    try
    {
      if (!std::isfinite(ParseISO8601(text, utc)))
        std::abort();
    }
    catch (const EConvertError&)
    {
    }
  }
  return 0;
}
