#include "audio/engine/MixerSource.h"

#include "audio/engine/Channel.h"
#include "audio/engine/FrameConvert.h"
#include "audio/engine/PushStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

TMixerSource::TMixerSource(TChannel& iSource, uint32_t iMixerRate)
    : fSource(iSource), fMixerRate(iMixerRate), fStagedChannels(std::min(iSource.Format().Channels, 2u)),
      fPush(dynamic_cast<TPushStream*>(&iSource) != nullptr),
      fResampler(iSource.Format().Rate, iMixerRate, fStagedChannels, fPush),
      fDrift(iSource.Format().Rate,
             fPush ? static_cast<TPushStream&>(iSource).TargetSeconds() : TDriftControl::kTargetSeconds),
      fGathering(fPush), fRaw(new uint8_t[size_t(kChunkFrames) * iSource.Format().FrameBytes()]),
      fStaged(new float[size_t(kChunkFrames) * fStagedChannels])
{
}

void TMixerSource::Render(float* oBuffer, uint32_t iFrames)
{
  uint32_t Filled = 0;
  if (fGathering && Backlog() >= fDrift.TargetFrames())
  {
    fGathering = false;
    fDrift.Restart();
  }
  if (!fGathering)
    Filled = Fill(oBuffer, iFrames);
  if (Filled < iFrames)
  {
    std::memset(oBuffer + size_t(Filled) * fStagedChannels, 0, size_t(iFrames - Filled) * fStagedChannels * 4);
    fSilence.fetch_add(iFrames - Filled, std::memory_order_relaxed);
    fGathering = fPush;
  }
  if (fStagedChannels == 1)
    MonoToStereoInPlace(oBuffer, iFrames);
  const double Backlog = this->Backlog();
  if (fPush && !fGathering)
  {
    double Trim = fDrift.Update(Backlog, double(iFrames) / fMixerRate);
    fResampler.SetTrim(Trim, iFrames);
    fRatio.store(fDrift.ClockRatio(), std::memory_order_relaxed);
  }
  // Taken frames still staged or inside the conversion count as backlog, not as consumed.
  const uint64_t Inside = fStagedCount + uint64_t(std::llround(fResampler.HeldFrames()));
  fBacklog.store(Queued() + Inside, std::memory_order_relaxed);
  fConsumed.store(fTaken - Inside, std::memory_order_relaxed);
}

uint32_t TMixerSource::Fill(float* oBuffer, uint32_t iFrames)
{
  // soxr takes all input it is offered into a queue of its own. So the resampler gets only about what the
  // missing output needs, and a first call without input lets it use what it holds.
  const TChannelFormat& Format = fSource.Format();
  uint32_t Filled = 0;
  for (bool First = true; Filled < iFrames; First = false)
  {
    uint32_t Needed =
        uint32_t(std::clamp(std::ceil((iFrames - Filled) * fResampler.Ratio()), 1.0, double(kChunkFrames)));
    if (!First && fStagedCount == 0)
    {
      uint32_t Got = fSource.Read(fRaw.get(), Needed * Format.FrameBytes()) / Format.FrameBytes();
      if (Got == 0)
        break;
      ConvertToFloat(fRaw.get(), Format, Got, fStaged.get(), fStagedChannels);
      fStagedStart = 0;
      fStagedCount = Got;
      fTaken += Got;
    }
    size_t Offered = First ? 0 : std::min(Needed, fStagedCount);
    size_t Used = 0;
    size_t Written = fResampler.Process(fStaged.get() + size_t(fStagedStart) * fStagedChannels, Offered, Used,
                                        oBuffer + size_t(Filled) * fStagedChannels, iFrames - Filled);
    fStagedStart += uint32_t(Used);
    fStagedCount -= uint32_t(Used);
    Filled += uint32_t(Written);
    if (!First && Used == 0 && Written == 0)
      break;
  }
  return Filled;
}

uint64_t TMixerSource::Queued() const
{
  return fPush ? static_cast<TPushStream*>(&fSource)->QueuedFrames() : 0;
}

double TMixerSource::Backlog() const
{
  // soxr takes input in blocks; what it holds counts, or the backlog would swing by a block.
  return double(Queued() + fStagedCount) + fResampler.HeldFrames();
}

TMixerSourceInfo TMixerSource::Info() const
{
  TMixerSourceInfo Info;
  Info.Ratio = fRatio.load(std::memory_order_relaxed);
  Info.BacklogFrames = fBacklog.load(std::memory_order_relaxed);
  Info.SilenceFrames = fSilence.load(std::memory_order_relaxed);
  Info.ConsumedFrames = fConsumed.load(std::memory_order_relaxed);
  return Info;
}
