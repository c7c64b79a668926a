#pragma once
// Reads a decode channel of the audio engine until it has nothing more (header-only: only tests that link the
// engine include it).

#include "audio/engine/AudioEngine.h"

#include <cstdint>
#include <vector>

inline std::vector<unsigned char> ReadAll(uint32_t iStream)
{
  std::vector<unsigned char> result;
  std::vector<unsigned char> buffer(65536);
  for (;;)
  {
    const int64_t got = TAudioEngine::ChannelGetData(iStream, buffer.data(), static_cast<uint32_t>(buffer.size()));
    if (got <= 0)
      return result;
    result.insert(result.end(), buffer.begin(), buffer.begin() + got);
  }
}
