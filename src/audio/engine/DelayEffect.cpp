#include "audio/engine/DelayEffect.h"

#include "audio/engine/Channel.h"

#include <cmath>

TDelayEffect::TDelayEffect(TChannel& iChannel, int32_t iPriority)
    : TChainElement(iChannel, iPriority), fLine(std::make_unique<TLine>())
{
  fLine->Channels = iChannel.Format().Channels;
}

TDelayEffect::~TDelayEffect() = default;

int TDelayEffect::SetParameters(const TDelayParameters& iParameters)
{
  if (!(iParameters.Delay >= 0 && iParameters.Delay <= kMaxDelaySeconds) || !std::isfinite(iParameters.DryMix) ||
      !std::isfinite(iParameters.WetMix) || (iParameters.Channels != -1 && iParameters.Channels <= 0))
    return ecIllegalParam;
  auto line = std::make_unique<TLine>();
  line->Parameters = iParameters;
  line->Channels = Channel().Format().Channels;
  line->Frames = uint32_t(std::lround(double(iParameters.Delay) * Channel().Format().Rate));
  bool reuse = line->Frames == fLine->Frames;
  if (line->Frames > 0 && !reuse)
  {
    // calloc: the pages of a long line are only committed as the line fills.
    line->Samples.reset(static_cast<float*>(std::calloc(size_t(line->Frames) * line->Channels, sizeof(float))));
    if (!line->Samples)
      return ecMemory;
  }
  Channel().BetweenBuffers(
      [&]
      {
        if (reuse)
        {
          line->Samples = std::move(fLine->Samples);
          line->Position = fLine->Position;
        }
        fLine.swap(line);
      });
  return ecOK;
}

TDelayParameters TDelayEffect::Parameters() const
{
  return fLine->Parameters;
}

void TDelayEffect::Process(float* ioBuffer, uint32_t iFrames, uint32_t iChannels, uint64_t)
{
  TLine& line = *fLine;
  const float dry = line.Parameters.DryMix, wet = line.Parameters.WetMix;
  const uint32_t selected = uint32_t(line.Parameters.Channels);
  if (line.Frames == 0)
  {
    for (uint32_t sample = 0; sample < iFrames * iChannels; ++sample)
      if (selected & (1u << (sample % iChannels)))
        ioBuffer[sample] *= dry + wet;
    return;
  }
  float* samples = line.Samples.get();
  for (uint32_t frame = 0; frame < iFrames; ++frame)
  {
    float* stored = samples + size_t(line.Position) * iChannels;
    for (uint32_t channel = 0; channel < iChannels; ++channel, ++ioBuffer)
    {
      if (!(selected & (1u << channel)))
        continue;
      float in = *ioBuffer;
      *ioBuffer = dry * in + wet * stored[channel];
      stored[channel] = in;
    }
    if (++line.Position == line.Frames)
      line.Position = 0;
  }
}
