#pragma once
// Stopping an encoder that was not replaced, with the channel positions of its first sample and one past its
// last: the encoder leaves its chain first, so its last sample is known exactly before it is stopped.

#include "audio/engine/EngineTypes.h"

#include <cstdint>

// Like TAudioEngine::EncodeStop; oSpan is the encoder's final span. False (and the engine's last error set)
// for an unknown handle.
bool EncodeStopSpan(uint32_t iEncoder, TEncodeSpan& oSpan);
