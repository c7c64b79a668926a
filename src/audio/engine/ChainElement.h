#pragma once
// One element of a channel's processing chain: an effect, a DSP callback or an encoder's intake. Elements run
// on the pulling thread, on the channel's float samples, in descending priority. An element lives no longer
// than its channel: freeing the channel frees its elements.

#include "audio/engine/HandleTable.h"

#include <cstdint>

class TChannel;

class TChainElement : public TEngineObject
{
public:
  TChainElement(TChannel& iChannel, int32_t iPriority) : fChannel(iChannel), fPriority(iPriority) {}
  TChannel& Channel() const { return fChannel; }
  int32_t Priority() const { return fPriority; }
  // iFirstFrame: the channel position of the buffer's first frame. Must not block or allocate.
  virtual void Process(float* ioBuffer, uint32_t iFrames, uint32_t iChannels, uint64_t iFirstFrame) = 0;
  // The element joined or left the chain between two buffers; iPosition is the channel position there.
  virtual void Attached(uint64_t iPosition) {}
  virtual void Detached(uint64_t iPosition) {}

private:
  TChannel& fChannel;
  const int32_t fPriority;
};
