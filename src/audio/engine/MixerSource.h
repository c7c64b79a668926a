#pragma once
// One source of a mixer: pulls the source channel, converts its samples to float, reduces it to its first two
// channels (mono is widened after resampling, so it is resampled once), converts the rate, and fills with
// silence what the source cannot supply. A push source gets a variable resampler trimmed by drift control;
// it gathers kTargetSeconds of backlog before it starts, and again after it ran dry.

#include "audio/engine/DriftControl.h"
#include "audio/engine/EngineTypes.h"
#include "audio/engine/Resampler.h"

#include <atomic>
#include <cstdint>
#include <memory>

class TChannel;

class TMixerSource
{
public:
  // Input frames taken from the source at a time.
  static constexpr uint32_t kChunkFrames = 1024;

  // Throws std::runtime_error when the resampler cannot be set up.
  TMixerSource(TChannel& iSource, uint32_t iMixerRate);

  TChannel& Source() const { return fSource; }
  // Writes iFrames stereo float frames (the mixer's rate) to oBuffer, which holds room for them.
  // Runs on the pulling thread; never blocks, never allocates.
  void Render(float* oBuffer, uint32_t iFrames);
  // Any thread.
  TMixerSourceInfo Info() const;

private:
  uint64_t Queued() const;
  // Input not yet turned into output: queued, staged or inside the resampler.
  double Backlog() const;
  uint32_t Fill(float* oBuffer, uint32_t iFrames);

  TChannel& fSource;
  const uint32_t fMixerRate;
  const uint32_t fStagedChannels; // 1 or 2
  const bool fPush;
  TResampler fResampler;
  TDriftControl fDrift;
  bool fGathering;
  std::unique_ptr<uint8_t[]> fRaw;
  std::unique_ptr<float[]> fStaged;
  uint32_t fStagedStart = 0;
  uint32_t fStagedCount = 0;
  uint64_t fTaken = 0; // frames read from the source

  std::atomic<double> fRatio{1.0};
  std::atomic<uint64_t> fBacklog{0};
  std::atomic<uint64_t> fSilence{0};
  std::atomic<uint64_t> fConsumed{0};
};
