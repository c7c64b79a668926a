#include "audio/engine/PushStream.h"

TPushStream::TPushStream(const TChannelFormat& iFormat, double iQueueSeconds, double iTargetSeconds)
    : TChannel(iFormat, true), fCapacityFrames(uint64_t(iQueueSeconds * iFormat.Rate)), fTargetSeconds(iTargetSeconds),
      fRing(size_t(fCapacityFrames) * iFormat.FrameBytes(), iFormat.FrameBytes())
{
}

uint32_t TPushStream::Produce(void* oBuffer, uint32_t iFrames)
{
  return uint32_t(fRing.Read(oBuffer, size_t(iFrames) * Format().FrameBytes()) / Format().FrameBytes());
}
