#include "audio/engine/EncoderSamples.h"

#include <algorithm>
#include <bit>
#include <cmath>
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
  for (size_t i = 0; i < iCount; ++i)
  {
    // Silence for NaN, clipping beyond full scale.
    const float scaled = std::isnan(iSamples[i]) ? 0.0f : std::nearbyint(iSamples[i] * 32768.0f);
    const int16_t value = static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
    std::memcpy(oBytes + i * sizeof(int16_t), &value, sizeof(value));
  }
  return iCount * sizeof(int16_t);
}
