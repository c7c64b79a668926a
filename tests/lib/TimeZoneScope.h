#pragma once
// Switches the process's time zone for the lifetime of the object (tests run one at a time per process).

#include <cstdlib>
#include <ctime>
#include <string>

class TTimeZoneScope
{
public:
  explicit TTimeZoneScope(const char* iZone)
  {
    const char* previous = std::getenv("TZ");
    fHadPrevious = previous != nullptr;
    if (fHadPrevious)
      fPrevious = previous;
    setenv("TZ", iZone, 1);
    tzset();
  }
  ~TTimeZoneScope()
  {
    if (fHadPrevious)
      setenv("TZ", fPrevious.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  TTimeZoneScope(const TTimeZoneScope&) = delete;
  TTimeZoneScope& operator=(const TTimeZoneScope&) = delete;

private:
  bool fHadPrevious = false;
  std::string fPrevious;
};
