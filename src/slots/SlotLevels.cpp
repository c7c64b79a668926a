// Levels and silence: the peak levels and the last-sound stamp measured on the slot mixer, its byte counter,
// and the silence threshold.

#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"

#include <cmath>

namespace
{
constexpr uint32_t kFrameBytes = 2 * sizeof(float);
}

void TSlotInfo::DoLevelDSP(const float* iBuffer, uint32_t iLength)
{
  float left = 0;
  float right = 0;
  const uint32_t frames = iLength / kFrameBytes;
  for (uint32_t i = 0; i < frames; ++i)
  {
    left = std::max(left, std::fabs(iBuffer[2 * i]));
    right = std::max(right, std::fabs(iBuffer[2 * i + 1]));
  }
  fLevelLeft.store(left, std::memory_order_relaxed);
  fLevelRight.store(right, std::memory_order_relaxed);
  const float threshold = fSilenceThresholdLinear.load(std::memory_order_relaxed);
  if (left >= threshold || right >= threshold)
    fLastOverSilenceTickCount.store(static_cast<int64_t>(MillisecondClock()), std::memory_order_relaxed);
}

void TSlotInfo::DoCounterDSP(uint32_t iLength)
{
  fStreamPosition.fetch_add(iLength, std::memory_order_release);
}

int64_t TSlotInfo::GetStreamPosition() const
{
  return fStreamPosition.load(std::memory_order_acquire);
}

void TSlotInfo::UpdateSilenceThreshold()
{
  const int threshold = fSettings.Silence.Threshold;
  // Extended precision for the conversion; -200 dBFS and below mean "every buffer is sound".
  const float linear =
      threshold > -200 ? static_cast<float>(std::pow(10.0L, static_cast<long double>(threshold) / 20.0L)) : 0.0f;
  fSilenceThresholdLinear.store(linear, std::memory_order_relaxed);
}

int TSlotInfo::WatchedSilenceDetection() const
{
  std::lock_guard lock(fSettingsCS);
  const TSlotSettings::TSilence& silence = fSettings.Silence;
  return (fSettings.Enabled || silence.DetectionIfInactive) && silence.Detection > 0 ? silence.Detection : 0;
}

int64_t TSlotInfo::GetCurrentSilenceDurationMilliseconds()
{
  return static_cast<int64_t>(MillisecondClock()) - fLastOverSilenceTickCount.load(std::memory_order_relaxed);
}

int64_t TSlotInfo::LastOverSilenceTickCount()
{
  return fLastOverSilenceTickCount.load(std::memory_order_relaxed);
}

int64_t TSlotInfo::LastMetadataTickCount()
{
  return fTitles.LastMetadataTickCount();
}
