#include "audio/engine/Mixer.h"

#include "audio/backends/PulseOutput.h"

#include <algorithm>
#include <cstring>

TMixer::TMixer(uint32_t iRate, uint32_t iDevice)
    : TChannel(TChannelFormat{iRate, 2, true}, iDevice == 0), fScratch(new float[size_t(kBlockFrames) * 2]),
      fDevice(iDevice)
{
}

TMixer::~TMixer()
{
  Stop();
  for (const std::unique_ptr<TMixerSource>& Source : fOwned)
    Source->Source().SetMixer(nullptr);
}

void TMixer::AddSource(TChannel& iSource)
{
  fOwned.push_back(std::make_unique<TMixerSource>(iSource, Format().Rate));
  iSource.SetMixer(this);
  Publish();
}

std::unique_ptr<TMixerSource> TMixer::RemoveSource(TChannel& iSource)
{
  auto Found = std::find_if(fOwned.begin(), fOwned.end(), [&](auto& s) { return &s->Source() == &iSource; });
  if (Found == fOwned.end())
    return nullptr;
  std::unique_ptr<TMixerSource> Removed = std::move(*Found);
  fOwned.erase(Found);
  Publish();
  iSource.SetMixer(nullptr);
  return Removed;
}

const TMixerSource* TMixer::FindSource(const TChannel& iSource) const
{
  auto Found = std::find_if(fOwned.begin(), fOwned.end(), [&](auto& s) { return &s->Source() == &iSource; });
  return Found == fOwned.end() ? nullptr : Found->get();
}

std::vector<TChannel*> TMixer::Sources() const
{
  std::vector<TChannel*> Sources;
  for (const std::unique_ptr<TMixerSource>& Source : fOwned)
    Sources.push_back(&Source->Source());
  return Sources;
}

void TMixer::Play()
{
  if (fOutput)
    return;
  fOutput = std::make_unique<TPulseOutput>(fDevice, Format().Rate,
                                           [this](float* oBuffer, uint32_t iFrames) { Read(oBuffer, iFrames * 8); });
}

void TMixer::Stop()
{
  fOutput.reset();
}

void TMixer::Publish()
{
  std::vector<TMixerSource*> Active;
  for (const std::unique_ptr<TMixerSource>& Source : fOwned)
    Active.push_back(Source.get());
  BetweenBuffers([&] { fActive.swap(Active); });
}

uint32_t TMixer::Produce(void* oBuffer, uint32_t iFrames)
{
  float* Out = static_cast<float*>(oBuffer);
  const size_t Samples = size_t(iFrames) * 2;
  if (fActive.empty())
  {
    std::memset(Out, 0, Samples * sizeof(float));
    return iFrames;
  }
  fActive.front()->Render(Out, iFrames);
  float* Scratch = fScratch.get();
  for (size_t Index = 1; Index < fActive.size(); ++Index)
  {
    fActive[Index]->Render(Scratch, iFrames);
    for (size_t Sample = 0; Sample < Samples; ++Sample)
      Out[Sample] += Scratch[Sample];
  }
  return iFrames;
}
