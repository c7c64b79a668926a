#pragma once
// Time rules of the calendar: stored local start times become UTC with the offset in force at that moment.

#include "lib/DateTime.h"

// A local time that occurs twice (end of daylight saving time) takes the standard-time offset; one that does
// not exist (the hour skipped at its start) gives false.
bool TryLocalToUTCStandardFirst(TDateTime iLocal, TDateTime& oUTC);
