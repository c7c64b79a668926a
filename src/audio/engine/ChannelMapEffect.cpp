#include "audio/engine/ChannelMapEffect.h"

bool TChannelMapEffect::SetParameters(const TChannelMapParameters& iParameters)
{
  for (int32_t channel : iParameters.Channels)
    if (channel < 1 || channel > 2)
      return false;
  fMap.store(uint32_t(iParameters.Channels[0] - 1) | (uint32_t(iParameters.Channels[1] - 1) << 8),
             std::memory_order_relaxed);
  return true;
}

TChannelMapParameters TChannelMapEffect::Parameters() const
{
  uint32_t map = fMap.load(std::memory_order_relaxed);
  return TChannelMapParameters{{int32_t(map & 0xFF) + 1, int32_t(map >> 8) + 1}};
}

void TChannelMapEffect::Process(float* ioBuffer, uint32_t iFrames, uint32_t iChannels, uint64_t)
{
  uint32_t map = fMap.load(std::memory_order_relaxed);
  uint32_t left = map & 0xFF, right = map >> 8;
  if (iChannels != 2 || (left == 0 && right == 1))
    return;
  for (uint32_t frame = 0; frame < iFrames; ++frame, ioBuffer += 2)
  {
    float in[2] = {ioBuffer[0], ioBuffer[1]};
    ioBuffer[0] = in[left];
    ioBuffer[1] = in[right];
  }
}
