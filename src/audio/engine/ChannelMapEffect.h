#pragma once
// Channel map of a stereo channel: each output channel takes the input channel its parameter names. The
// parameters may change while the chain runs; each buffer uses one consistent pair.

#include "audio/engine/ChainElement.h"
#include "audio/engine/EngineTypes.h"

#include <atomic>

class TChannelMapEffect : public TChainElement
{
public:
  TChannelMapEffect(TChannel& iChannel, int32_t iPriority) : TChainElement(iChannel, iPriority) {}

  // False when a channel number is not 1 or 2.
  bool SetParameters(const TChannelMapParameters& iParameters);
  TChannelMapParameters Parameters() const;
  void Process(float* ioBuffer, uint32_t iFrames, uint32_t iChannels, uint64_t iFirstFrame) override;

private:
  // Both zero-based source channels in one word: first in the low byte.
  std::atomic<uint32_t> fMap{0 | (1u << 8)};
};
