#pragma once
// A mixer: 2 float channels at its own rate, the sum of its sources, never stopping (silence for whatever the
// sources cannot supply). A decode mixer is pulled by reading; a playing one by its output device.

#include "audio/engine/Channel.h"
#include "audio/engine/MixerSource.h"

#include <memory>
#include <vector>

class TPulseOutput;

class TMixer : public TChannel
{
public:
  // iDevice 0: a decode mixer; else the output device that plays it (1 = default).
  TMixer(uint32_t iRate, uint32_t iDevice);
  ~TMixer() override;

  // Structural changes (callers serialise them). AddSource throws std::runtime_error when the source's
  // conversion cannot be set up.
  void AddSource(TChannel& iSource);
  // Returns the source's converter to be destroyed by the caller; nullptr when iSource is no source here.
  std::unique_ptr<TMixerSource> RemoveSource(TChannel& iSource);
  const TMixerSource* FindSource(const TChannel& iSource) const;
  std::vector<TChannel*> Sources() const;

  // Playing mixers: starts the output device pulling the mixer at its pace (muted: it is a clock); nothing
  // when it plays already. Throws std::runtime_error when the device cannot be opened.
  void Play();
  void Stop() override;

protected:
  uint32_t Produce(void* oBuffer, uint32_t iFrames) override;

private:
  void Publish();

  std::vector<std::unique_ptr<TMixerSource>> fOwned; // structural side
  std::vector<TMixerSource*> fActive;                // what the pulling thread mixes, swapped between buffers
  std::unique_ptr<float[]> fScratch;
  const uint32_t fDevice;
  std::unique_ptr<TPulseOutput> fOutput;
};
