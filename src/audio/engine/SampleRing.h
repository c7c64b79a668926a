#pragma once
// Single-producer single-consumer queue of sample frames. The producer (a capture thread) never blocks and
// never allocates: when the queue holds its capacity it drops the oldest frames and counts them. The consumer
// (the pulling thread) claims the frames it copies by moving the read position past them first and marking
// itself busy; the producer drops only frames after that position. The storage holds the capacity plus the
// largest claim, so new frames never land on frames being copied. (Only a producer that writes more than the
// whole storage during one claim's copy would have to give up the start of its own new frames instead.)

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class TSampleRing
{
public:
  // iCapacityBytes is rounded down to whole frames of iFrameBytes.
  TSampleRing(size_t iCapacityBytes, uint32_t iFrameBytes);

  // Producer: queues whole frames of iBuffer (iLength bytes, a trailing partial frame is ignored), dropping
  // the oldest queued frames (or the start of iBuffer itself when it is larger than the capacity).
  void Write(const void* iBuffer, size_t iLength);
  // Consumer: takes up to iLength bytes (whole frames); returns the bytes taken.
  size_t Read(void* oBuffer, size_t iLength);

  size_t AvailableBytes() const;
  uint64_t DroppedBytes() const { return fDropped.load(std::memory_order_relaxed); }

private:
  void CopyIn(uint64_t iPosition, const uint8_t* iData, size_t iLength);
  void CopyOut(uint64_t iPosition, uint8_t* oData, size_t iLength) const;

  const uint32_t fFrameBytes;
  const size_t fCapacity; // what may be queued
  const size_t fMaxClaim; // what the consumer copies at a time
  const size_t fStorage;  // fCapacity + fMaxClaim
  std::unique_ptr<uint8_t[]> fData;
  std::atomic<uint64_t> fWritten{0};    // bytes ever queued; written by the producer only
  std::atomic<uint64_t> fReadState{0};  // (bytes ever claimed or dropped) << 1 | consumer copying
  std::atomic<uint64_t> fClaimStart{0}; // where the consumer's current claim begins
  std::atomic<uint64_t> fDropped{0};
};
