#include "audio/engine/SampleRing.h"

#include <algorithm>
#include <cstring>

namespace
{
// The consumer copies at most this much at a time: small against the capacity, large enough for few rounds.
constexpr size_t kMaxClaimBytes = 64 * 1024;
} // namespace

TSampleRing::TSampleRing(size_t iCapacityBytes, uint32_t iFrameBytes)
    : fFrameBytes(iFrameBytes), fCapacity(iCapacityBytes / iFrameBytes * iFrameBytes),
      fMaxClaim(std::max<size_t>(kMaxClaimBytes / iFrameBytes, 1) * iFrameBytes), fStorage(fCapacity + fMaxClaim),
      fData(new uint8_t[fStorage])
{
}

void TSampleRing::Write(const void* iBuffer, size_t iLength)
{
  const uint8_t* data = static_cast<const uint8_t*>(iBuffer);
  size_t length = iLength / fFrameBytes * fFrameBytes;
  if (length > fCapacity)
  {
    fDropped.fetch_add(length - fCapacity, std::memory_order_relaxed);
    data += length - fCapacity;
    length = fCapacity;
  }
  uint64_t written = fWritten.load(std::memory_order_relaxed);
  uint64_t state = fReadState.load(std::memory_order_acquire);
  for (;;)
  {
    uint64_t read = state >> 1;
    size_t queued = size_t(written - read);
    if (queued + length <= fCapacity)
      break;
    // Drop the oldest frames; the consumer's claim lies before Read, so the busy bit stays as it is.
    uint64_t drop = std::min<uint64_t>(queued + length - fCapacity, queued);
    if (fReadState.compare_exchange_weak(state, ((read + drop) << 1) | (state & 1), std::memory_order_acq_rel,
                                         std::memory_order_acquire))
    {
      fDropped.fetch_add(drop, std::memory_order_relaxed);
      break;
    }
  }
  // A claim that began before the drop may lie further back than fMaxClaim: keep clear of it.
  if (fReadState.load(std::memory_order_acquire) & 1)
  {
    uint64_t limit = fClaimStart.load(std::memory_order_acquire) + fStorage;
    if (written + length > limit)
    {
      size_t excess = size_t(written + length - limit);
      fDropped.fetch_add(excess, std::memory_order_relaxed);
      data += excess;
      length -= excess;
    }
  }
  CopyIn(written, data, length);
  fWritten.store(written + length, std::memory_order_release);
}

size_t TSampleRing::Read(void* oBuffer, size_t iLength)
{
  uint8_t* out = static_cast<uint8_t*>(oBuffer);
  size_t wanted = iLength / fFrameBytes * fFrameBytes;
  size_t done = 0;
  while (done < wanted)
  {
    uint64_t state = fReadState.load(std::memory_order_acquire);
    uint64_t read = 0, claim = 0;
    do
    {
      read = state >> 1;
      uint64_t written = fWritten.load(std::memory_order_acquire);
      claim = std::min<uint64_t>({wanted - done, written - read, fMaxClaim});
      fClaimStart.store(read, std::memory_order_release);
    } while (claim > 0 && !fReadState.compare_exchange_weak(state, ((read + claim) << 1) | 1, std::memory_order_acq_rel,
                                                            std::memory_order_acquire));
    if (claim == 0)
      break;
    CopyOut(read, out + done, size_t(claim));
    fReadState.fetch_and(~uint64_t(1), std::memory_order_release);
    done += size_t(claim);
  }
  return done;
}

size_t TSampleRing::AvailableBytes() const
{
  uint64_t read = fReadState.load(std::memory_order_acquire) >> 1;
  return size_t(fWritten.load(std::memory_order_acquire) - read);
}

void TSampleRing::CopyIn(uint64_t iPosition, const uint8_t* iData, size_t iLength)
{
  size_t offset = size_t(iPosition % fStorage);
  size_t first = std::min(iLength, fStorage - offset);
  std::memcpy(fData.get() + offset, iData, first);
  std::memcpy(fData.get(), iData + first, iLength - first);
}

void TSampleRing::CopyOut(uint64_t iPosition, uint8_t* oData, size_t iLength) const
{
  size_t offset = size_t(iPosition % fStorage);
  size_t first = std::min(iLength, fStorage - offset);
  std::memcpy(oData, fData.get() + offset, first);
  std::memcpy(oData + first, fData.get(), iLength - first);
}
