#pragma once
// A decode channel filled by a producer thread (a capture input) through a sample ring, read by its mixer.

#include "audio/engine/Channel.h"
#include "audio/engine/DriftControl.h"
#include "audio/engine/SampleRing.h"

class TPushStream : public TChannel
{
public:
  // The queue holds this much audio; beyond it the oldest is dropped.
  static constexpr double kQueueSeconds = 4.0;

  // iQueueSeconds: what the queue holds; iTargetSeconds: the backlog drift control holds it at.
  explicit TPushStream(const TChannelFormat& iFormat, double iQueueSeconds = kQueueSeconds,
                       double iTargetSeconds = TDriftControl::kTargetSeconds);

  // Producer side: never blocks, never allocates.
  void PutData(const void* iBuffer, size_t iLength) { fRing.Write(iBuffer, iLength); }
  uint64_t QueuedFrames() const { return fRing.AvailableBytes() / Format().FrameBytes(); }
  uint64_t DroppedBytes() const { return fRing.DroppedBytes(); }
  uint64_t CapacityFrames() const { return fCapacityFrames; }
  double TargetSeconds() const { return fTargetSeconds; }

protected:
  uint32_t Produce(void* oBuffer, uint32_t iFrames) override;

private:
  const uint64_t fCapacityFrames;
  const double fTargetSeconds;
  TSampleRing fRing;
};
