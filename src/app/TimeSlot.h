#pragma once
// When a slot changes its file: aligned time slots counted from 1899-12-30 00:00 local time, or by length.

#include "lib/DateTime.h"

#include <cstdint>

// Start of the aligned time slot that contains iNow (local date-time): multiples of iLengthMinutes counted from
// 1899-12-30 00:00, shifted by iOffsetSeconds. A length below 1 minute counts as 1.
TDateTime AlignedTimeSlotStart(TDateTime iNow, int iLengthMinutes, int iOffsetSeconds);

// A file that is not aligned ends once it has run strictly longer than its length (ticks in milliseconds).
bool LengthElapsed(uint64_t iNowTick, uint64_t iStartTick, int iLengthMinutes);
