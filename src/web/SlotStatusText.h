#pragma once
// How the slot answers word a slot's run-time state.

#include "slots/SlotTypes.h"

#include <cstdint>

// Whole seconds since a tick count of the millisecond clock, rounded down.
int64_t SecondsSince(int64_t iTickCount);
// The state of the outgoing stream as a word: "disabled", "connecting", "connected" or "error".
const char* StreamingStatusWord(TStreamingStatus iStatus);
