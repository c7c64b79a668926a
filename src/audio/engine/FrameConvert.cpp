#include "audio/engine/FrameConvert.h"

#include <cstring>

void ConvertToFloat(const void* iRaw, const TChannelFormat& iFormat, uint32_t iFrames, float* oOut,
                    uint32_t iOutChannels)
{
  const uint32_t stride = iFormat.Channels;
  if (iFormat.Float && stride == iOutChannels)
    std::memcpy(oOut, iRaw, size_t(iFrames) * stride * sizeof(float));
  else if (iFormat.Float)
  {
    const float* in = static_cast<const float*>(iRaw);
    for (uint32_t frame = 0; frame < iFrames; ++frame)
      for (uint32_t channel = 0; channel < iOutChannels; ++channel)
        *oOut++ = in[size_t(frame) * stride + channel];
  }
  else
  {
    const int16_t* in = static_cast<const int16_t*>(iRaw);
    constexpr float scale = 1.0f / 32768.0f;
    for (uint32_t frame = 0; frame < iFrames; ++frame)
      for (uint32_t channel = 0; channel < iOutChannels; ++channel)
        *oOut++ = float(in[size_t(frame) * stride + channel]) * scale;
  }
}

void MonoToStereoInPlace(float* ioBuffer, uint32_t iFrames)
{
  // Back to front, so that every sample is read before its place is overwritten.
  for (uint32_t frame = iFrames; frame-- > 0;)
  {
    float sample = ioBuffer[frame];
    ioBuffer[2 * size_t(frame)] = sample;
    ioBuffer[2 * size_t(frame) + 1] = sample;
  }
}
