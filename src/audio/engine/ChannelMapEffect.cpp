#include "audio/engine/ChannelMapEffect.h"

bool TChannelMapEffect::SetParameters(const TChannelMapParameters& iParameters)
{
  for (int32_t Channel : iParameters.Channels)
    if (Channel < 1 || Channel > 2)
      return false;
  fMap.store(uint32_t(iParameters.Channels[0] - 1) | (uint32_t(iParameters.Channels[1] - 1) << 8),
             std::memory_order_relaxed);
  return true;
}

TChannelMapParameters TChannelMapEffect::Parameters() const
{
  uint32_t Map = fMap.load(std::memory_order_relaxed);
  return TChannelMapParameters{{int32_t(Map & 0xFF) + 1, int32_t(Map >> 8) + 1}};
}

void TChannelMapEffect::Process(float* ioBuffer, uint32_t iFrames, uint32_t iChannels, uint64_t)
{
  uint32_t Map = fMap.load(std::memory_order_relaxed);
  uint32_t Left = Map & 0xFF, Right = Map >> 8;
  if (iChannels != 2 || (Left == 0 && Right == 1))
    return;
  for (uint32_t Frame = 0; Frame < iFrames; ++Frame, ioBuffer += 2)
  {
    float In[2] = {ioBuffer[0], ioBuffer[1]};
    ioBuffer[0] = In[Left];
    ioBuffer[1] = In[Right];
  }
}
