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
  for (const std::unique_ptr<TMixerSource>& source : fOwned)
    source->Source().SetMixer(nullptr);
}

void TMixer::AddSource(TChannel& iSource)
{
  fOwned.push_back(std::make_unique<TMixerSource>(iSource, Format().Rate));
  iSource.SetMixer(this);
  Publish();
}

std::unique_ptr<TMixerSource> TMixer::RemoveSource(TChannel& iSource)
{
  auto found = std::find_if(fOwned.begin(), fOwned.end(), [&](auto& s) { return &s->Source() == &iSource; });
  if (found == fOwned.end())
    return nullptr;
  std::unique_ptr<TMixerSource> removed = std::move(*found);
  fOwned.erase(found);
  Publish();
  iSource.SetMixer(nullptr);
  return removed;
}

const TMixerSource* TMixer::FindSource(const TChannel& iSource) const
{
  auto found = std::find_if(fOwned.begin(), fOwned.end(), [&](auto& s) { return &s->Source() == &iSource; });
  return found == fOwned.end() ? nullptr : found->get();
}

std::vector<TChannel*> TMixer::Sources() const
{
  std::vector<TChannel*> sources;
  for (const std::unique_ptr<TMixerSource>& source : fOwned)
    sources.push_back(&source->Source());
  return sources;
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
  std::vector<TMixerSource*> active;
  for (const std::unique_ptr<TMixerSource>& source : fOwned)
    active.push_back(source.get());
  BetweenBuffers([&] { fActive.swap(active); });
}

uint32_t TMixer::Produce(void* oBuffer, uint32_t iFrames)
{
  float* out = static_cast<float*>(oBuffer);
  const size_t samples = size_t(iFrames) * 2;
  if (fActive.empty())
  {
    std::memset(out, 0, samples * sizeof(float));
    return iFrames;
  }
  fActive.front()->Render(out, iFrames);
  float* scratch = fScratch.get();
  for (size_t index = 1; index < fActive.size(); ++index)
  {
    fActive[index]->Render(scratch, iFrames);
    for (size_t sample = 0; sample < samples; ++sample)
      out[sample] += scratch[sample];
  }
  return iFrames;
}
