#pragma once
// Single-producer single-consumer queue of sample frames. The producer (a capture thread) never blocks and
// never allocates: when the queue is full it drops the oldest frames and counts them. The consumer (the
// pulling thread) marks itself busy while it copies, so the producer never drops a region being read; the
// producer instead drops the oldest part of its own new data in that rare moment.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class TSampleRing
{
public:
  // iCapacityBytes is rounded down to whole frames of iFrameBytes.
  TSampleRing(size_t iCapacityBytes, uint32_t iFrameBytes);

  // Producer: queues whole frames of iBuffer (iLength bytes, a trailing partial frame is ignored).
  // Returns the bytes queued (what did not fit is counted as dropped).
  size_t Write(const void* iBuffer, size_t iLength);
  // Consumer: takes up to iLength bytes (whole frames); returns the bytes taken.
  size_t Read(void* oBuffer, size_t iLength);

  size_t AvailableBytes() const;
  uint64_t DroppedBytes() const { return fDropped.load(std::memory_order_relaxed); }
  uint32_t FrameBytes() const { return fFrameBytes; }

private:
  void CopyIn(uint64_t iPosition, const uint8_t* iData, size_t iLength);
  void CopyOut(uint64_t iPosition, uint8_t* oData, size_t iLength) const;

  const uint32_t fFrameBytes;
  const size_t fCapacity;
  std::unique_ptr<uint8_t[]> fData;
  std::atomic<uint64_t> fWritten{0};   // bytes ever queued; written by the producer only
  std::atomic<uint64_t> fReadState{0}; // (bytes ever consumed or dropped) << 1 | consumer busy
  std::atomic<uint64_t> fDropped{0};
};
