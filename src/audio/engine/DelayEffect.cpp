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
  auto Line = std::make_unique<TLine>();
  Line->Parameters = iParameters;
  Line->Channels = Channel().Format().Channels;
  Line->Frames = uint32_t(std::lround(double(iParameters.Delay) * Channel().Format().Rate));
  bool Reuse = Line->Frames == fLine->Frames;
  if (Line->Frames > 0 && !Reuse)
  {
    // calloc: the pages of a long line are only committed as the line fills.
    Line->Samples.reset(static_cast<float*>(std::calloc(size_t(Line->Frames) * Line->Channels, sizeof(float))));
    if (!Line->Samples)
      return ecMemory;
  }
  Channel().BetweenBuffers(
      [&]
      {
        if (Reuse)
        {
          Line->Samples = std::move(fLine->Samples);
          Line->Position = fLine->Position;
        }
        fLine.swap(Line);
      });
  return ecOK;
}

TDelayParameters TDelayEffect::Parameters() const
{
  return fLine->Parameters;
}

void TDelayEffect::Process(float* ioBuffer, uint32_t iFrames, uint32_t iChannels, uint64_t)
{
  TLine& Line = *fLine;
  const float Dry = Line.Parameters.DryMix, Wet = Line.Parameters.WetMix;
  const uint32_t Selected = uint32_t(Line.Parameters.Channels);
  if (Line.Frames == 0)
  {
    for (uint32_t Sample = 0; Sample < iFrames * iChannels; ++Sample)
      if (Selected & (1u << (Sample % iChannels)))
        ioBuffer[Sample] *= Dry + Wet;
    return;
  }
  float* Samples = Line.Samples.get();
  for (uint32_t Frame = 0; Frame < iFrames; ++Frame)
  {
    float* Stored = Samples + size_t(Line.Position) * iChannels;
    for (uint32_t Channel = 0; Channel < iChannels; ++Channel, ++ioBuffer)
    {
      if (!(Selected & (1u << Channel)))
        continue;
      float In = *ioBuffer;
      *ioBuffer = Dry * In + Wet * Stored[Channel];
      Stored[Channel] = In;
    }
    if (++Line.Position == Line.Frames)
      Line.Position = 0;
  }
}
