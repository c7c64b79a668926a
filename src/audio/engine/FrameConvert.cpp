#include "audio/engine/FrameConvert.h"

#include <cstring>

void ConvertToFloat(const void* iRaw, const TChannelFormat& iFormat, uint32_t iFrames, float* oOut,
                    uint32_t iOutChannels)
{
  const uint32_t Stride = iFormat.Channels;
  if (iFormat.Float && Stride == iOutChannels)
    std::memcpy(oOut, iRaw, size_t(iFrames) * Stride * sizeof(float));
  else if (iFormat.Float)
  {
    const float* In = static_cast<const float*>(iRaw);
    for (uint32_t Frame = 0; Frame < iFrames; ++Frame)
      for (uint32_t Channel = 0; Channel < iOutChannels; ++Channel)
        *oOut++ = In[size_t(Frame) * Stride + Channel];
  }
  else
  {
    const int16_t* In = static_cast<const int16_t*>(iRaw);
    constexpr float Scale = 1.0f / 32768.0f;
    for (uint32_t Frame = 0; Frame < iFrames; ++Frame)
      for (uint32_t Channel = 0; Channel < iOutChannels; ++Channel)
        *oOut++ = float(In[size_t(Frame) * Stride + Channel]) * Scale;
  }
}

void MonoToStereoInPlace(float* ioBuffer, uint32_t iFrames)
{
  // Back to front, so that every sample is read before its place is overwritten.
  for (uint32_t Frame = iFrames; Frame-- > 0;)
  {
    float Sample = ioBuffer[Frame];
    ioBuffer[2 * size_t(Frame)] = Sample;
    ioBuffer[2 * size_t(Frame) + 1] = Sample;
  }
}
