#pragma once
// A caller's DSP callback in a channel's chain.

#include "audio/engine/ChainElement.h"
#include "audio/engine/EngineTypes.h"

class TDspElement : public TChainElement
{
public:
  TDspElement(TChannel& iChannel, int32_t iPriority, TDspCallback iCallback)
      : TChainElement(iChannel, iPriority), fCallback(std::move(iCallback))
  {
  }
  void Process(float* ioBuffer, uint32_t iFrames, uint32_t iChannels, uint64_t) override
  {
    fCallback(ioBuffer, iFrames * iChannels * uint32_t(sizeof(float)));
  }

private:
  const TDspCallback fCallback;
};
