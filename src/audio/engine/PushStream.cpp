#include "audio/engine/PushStream.h"

TPushStream::TPushStream(const TChannelFormat& iFormat)
    : TChannel(iFormat, true), fRing(size_t(kQueueSeconds * iFormat.Rate) * iFormat.FrameBytes(), iFormat.FrameBytes())
{
}

uint32_t TPushStream::Produce(void* oBuffer, uint32_t iFrames)
{
  return uint32_t(fRing.Read(oBuffer, size_t(iFrames) * Format().FrameBytes()) / Format().FrameBytes());
}
