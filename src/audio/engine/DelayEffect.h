#pragma once
// Delay line: out = dry * in + wet * (in delayed) on the selected channels. With dry 0 and wet 1 it is a pure
// delay: the first Delay seconds are silence. New parameters build a new line outside the chain's lock and
// swap it in between two buffers; a line of the same length keeps its contents.

#include "audio/engine/ChainElement.h"
#include "audio/engine/EngineTypes.h"

#include <cstdlib>
#include <memory>

class TDelayEffect : public TChainElement
{
public:
  static constexpr float kMaxDelaySeconds = 3600;

  TDelayEffect(TChannel& iChannel, int32_t iPriority);
  ~TDelayEffect() override;

  // ecOK, ecIllegalParam (delay outside 0 .. kMaxDelaySeconds, non-finite mix, no channel selected) or
  // ecMemory. The line is allocated here, never on the pulling thread.
  int SetParameters(const TDelayParameters& iParameters);
  TDelayParameters Parameters() const;
  void Process(float* ioBuffer, uint32_t iFrames, uint32_t iChannels, uint64_t iFirstFrame) override;

private:
  struct TFree
  {
    void operator()(float* iLine) const { std::free(iLine); }
  };
  struct TLine
  {
    TDelayParameters Parameters;
    uint32_t Frames = 0;                     // delay in frames; 0: no line
    uint32_t Channels = 0;                   // the channel's channel count
    std::unique_ptr<float[], TFree> Samples; // Frames * Channels, zeroed pages until written
    uint32_t Position = 0;
  };

  std::unique_ptr<TLine> fLine; // swapped between buffers
};
