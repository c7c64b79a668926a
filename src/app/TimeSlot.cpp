#include "app/TimeSlot.h"

#include <algorithm>

TDateTime AlignedTimeSlotStart(TDateTime iNow, int iLengthMinutes, int iOffsetSeconds)
{
  const int64_t length = std::max(iLengthMinutes, 1);
  const auto slot = static_cast<int64_t>((iNow - iOffsetSeconds / 86400.0) / (static_cast<double>(length) / 1440.0));
  return static_cast<double>(slot * length) / 1440.0;
}

bool LengthElapsed(uint64_t iNowTick, uint64_t iStartTick, int iLengthMinutes)
{
  const uint64_t length = static_cast<uint64_t>(std::max(iLengthMinutes, 1)) * 60000u;
  return iNowTick > iStartTick && iNowTick - iStartTick > length;
}
