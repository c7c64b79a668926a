#pragma once
// Taking an encoder out of its chain without stopping it: its last sample is then known exactly (oSpan), and
// the stop, which waits for its program to finish the file, can happen later on another thread.

#include "audio/engine/EngineTypes.h"

#include <cstdint>

// oSpan is the encoder's final span; the encoder takes no more audio but keeps writing what it holds until
// TAudioEngine::EncodeStop. An encoder replaced before is left as it is. False (and the engine's last error
// set) for an unknown handle.
bool EncodeDetach(uint32_t iEncoder, TEncodeSpan& oSpan);
