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
  uint32_t filled = 0;
  if (fGathering && Backlog() >= fDrift.TargetFrames())
  {
    fGathering = false;
    fDrift.Restart();
  }
  if (!fGathering)
    filled = Fill(oBuffer, iFrames);
  if (filled < iFrames)
  {
    std::memset(oBuffer + size_t(filled) * fStagedChannels, 0, size_t(iFrames - filled) * fStagedChannels * 4);
    fSilence.fetch_add(iFrames - filled, std::memory_order_relaxed);
    fGathering = fPush;
  }
  if (fStagedChannels == 1)
    MonoToStereoInPlace(oBuffer, iFrames);
  const double backlog = this->Backlog();
  if (fPush && !fGathering)
  {
    double trim = fDrift.Update(backlog, double(iFrames) / fMixerRate);
    fResampler.SetTrim(trim, iFrames);
    fRatio.store(fDrift.ClockRatio(), std::memory_order_relaxed);
  }
  // Taken frames still staged or inside the conversion count as backlog, not as consumed.
  const uint64_t inside = fStagedCount + uint64_t(std::llround(fResampler.HeldFrames()));
  fBacklog.store(Queued() + inside, std::memory_order_relaxed);
  fConsumed.store(fTaken - inside, std::memory_order_relaxed);
}

uint32_t TMixerSource::Fill(float* oBuffer, uint32_t iFrames)
{
  // soxr takes all input it is offered into a queue of its own. So the resampler gets only about what the
  // missing output needs, and a first call without input lets it use what it holds.
  const TChannelFormat& format = fSource.Format();
  uint32_t filled = 0;
  for (bool first = true; filled < iFrames; first = false)
  {
    uint32_t needed =
        uint32_t(std::clamp(std::ceil((iFrames - filled) * fResampler.Ratio()), 1.0, double(kChunkFrames)));
    if (!first && fStagedCount == 0)
    {
      uint32_t got = fSource.Read(fRaw.get(), needed * format.FrameBytes()) / format.FrameBytes();
      if (got == 0)
        break;
      ConvertToFloat(fRaw.get(), format, got, fStaged.get(), fStagedChannels);
      fStagedStart = 0;
      fStagedCount = got;
      fTaken += got;
    }
    size_t offered = first ? 0 : std::min(needed, fStagedCount);
    size_t used = 0;
    size_t written = fResampler.Process(fStaged.get() + size_t(fStagedStart) * fStagedChannels, offered, used,
                                        oBuffer + size_t(filled) * fStagedChannels, iFrames - filled);
    fStagedStart += uint32_t(used);
    fStagedCount -= uint32_t(used);
    filled += uint32_t(written);
    if (!first && used == 0 && written == 0)
      break;
  }
  return filled;
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
  TMixerSourceInfo info;
  info.Ratio = fRatio.load(std::memory_order_relaxed);
  info.BacklogFrames = fBacklog.load(std::memory_order_relaxed);
  info.SilenceFrames = fSilence.load(std::memory_order_relaxed);
  info.ConsumedFrames = fConsumed.load(std::memory_order_relaxed);
  return info;
}
