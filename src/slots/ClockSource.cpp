#include "slots/ClockSource.h"

#include "lib/BrendleRegExpr.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

std::optional<uint32_t> ClockSourceDevice(const std::string& iClockSource)
{
  TBrendleRegExpr expression;
  if (!expression.Matches("^BASS(:(\\d+))?$", iClockSource))
    return std::nullopt;
  const std::string number = expression.Group(2);
  if (number.empty())
    return 1;
  errno = 0;
  const unsigned long long device = std::strtoull(number.c_str(), nullptr, 10);
  // A number beyond any device list names no device; opening it fails and the slot falls back to its thread.
  if (errno == ERANGE || device > std::numeric_limits<uint32_t>::max())
    return std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(device);
}
