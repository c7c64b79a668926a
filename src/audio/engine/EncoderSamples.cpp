#include "audio/engine/EncoderSamples.h"

#include <algorithm>
#include <bit>
#include <cstring>

// Samples are copied as they are in memory; the formats the programs and files expect are little-endian.
static_assert(std::endian::native == std::endian::little);

size_t EncoderBytesPerSample(bool i16Bit)
{
  return i16Bit ? sizeof(int16_t) : sizeof(float);
}

size_t ConvertEncoderSamples(const float* iSamples, size_t iCount, bool i16Bit, uint8_t* oBytes)
{
  if (!i16Bit)
  {
    std::memcpy(oBytes, iSamples, iCount * sizeof(float));
    return iCount * sizeof(float);
  }
  // Rounds to nearest (ties to even) by adding and taking away 1.5 * 2^23, where floats have no fraction bits
  // left; nearbyint is a library call per sample, which costs more than everything else here.
  constexpr float kRounder = 12582912.0f;
  for (size_t i = 0; i < iCount; ++i)
  {
    // Silence for NaN, clipping beyond full scale.
    const float scaled = iSamples[i] * 32768.0f;
    const float clipped = scaled == scaled ? std::clamp(scaled, -32768.0f, 32767.0f) : 0.0f;
    const int16_t value = static_cast<int16_t>((clipped + kRounder) - kRounder);
    std::memcpy(oBytes + i * sizeof(int16_t), &value, sizeof(value));
  }
  return iCount * sizeof(int16_t);
}
