#include "audio/backends/SampleConvert.h"

#include <cmath>
#include <cstring>

namespace
{
float ReadFloat(const unsigned char* iSample, TDeviceSampleFormat iFormat)
{
  switch (iFormat)
  {
  case dsInt16:
  {
    int16_t value;
    std::memcpy(&value, iSample, sizeof value);
    return static_cast<float>(value) / 32768.0f;
  }
  case dsInt32:
  {
    int32_t value;
    std::memcpy(&value, iSample, sizeof value);
    return static_cast<float>(static_cast<double>(value) / 2147483648.0);
  }
  case dsFloat32:
    break;
  }
  float value;
  std::memcpy(&value, iSample, sizeof value);
  return value;
}

int16_t ReadInt16(const unsigned char* iSample, TDeviceSampleFormat iFormat)
{
  switch (iFormat)
  {
  case dsInt16:
  {
    int16_t value;
    std::memcpy(&value, iSample, sizeof value);
    return value;
  }
  case dsInt32:
  {
    int32_t value;
    std::memcpy(&value, iSample, sizeof value);
    return static_cast<int16_t>(value >> 16);
  }
  case dsFloat32:
    break;
  }
  return FloatToInt16(ReadFloat(iSample, iFormat));
}
} // namespace

int16_t FloatToInt16(float iSample)
{
  const float scaled = std::nearbyint(iSample * 32768.0f);
  if (!(scaled > -32768.0f)) // also catches NaN
    return -32768;
  if (scaled > 32767.0f)
    return 32767;
  return static_cast<int16_t>(scaled);
}

size_t SampleSize(TDeviceSampleFormat iFormat)
{
  return iFormat == dsInt16 ? 2 : 4;
}

void ConvertToStereo(const void* iSource, TDeviceSampleFormat iFormat, uint32_t iChannels, uint32_t iFrames,
                     bool iTarget16bit, void* oTarget)
{
  const auto* source = static_cast<const unsigned char*>(iSource);
  const size_t sampleSize = SampleSize(iFormat);
  const size_t frameSize = sampleSize * iChannels;
  const size_t rightOffset = iChannels > 1 ? sampleSize : 0;
  auto* target = static_cast<unsigned char*>(oTarget);
  for (uint32_t frame = 0; frame < iFrames; ++frame, source += frameSize)
  {
    if (iTarget16bit)
    {
      const int16_t pair[2] = {ReadInt16(source, iFormat), ReadInt16(source + rightOffset, iFormat)};
      std::memcpy(target, pair, sizeof pair);
      target += sizeof pair;
    }
    else
    {
      const float pair[2] = {ReadFloat(source, iFormat), ReadFloat(source + rightOffset, iFormat)};
      std::memcpy(target, pair, sizeof pair);
      target += sizeof pair;
    }
  }
}
