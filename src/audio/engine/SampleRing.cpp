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
  const uint8_t* Data = static_cast<const uint8_t*>(iBuffer);
  size_t Length = iLength / fFrameBytes * fFrameBytes;
  if (Length > fCapacity)
  {
    fDropped.fetch_add(Length - fCapacity, std::memory_order_relaxed);
    Data += Length - fCapacity;
    Length = fCapacity;
  }
  uint64_t Written = fWritten.load(std::memory_order_relaxed);
  uint64_t State = fReadState.load(std::memory_order_acquire);
  for (;;)
  {
    uint64_t Read = State >> 1;
    size_t Queued = size_t(Written - Read);
    if (Queued + Length <= fCapacity)
      break;
    // Drop the oldest frames; the consumer's claim lies before Read, so the busy bit stays as it is.
    uint64_t Drop = std::min<uint64_t>(Queued + Length - fCapacity, Queued);
    if (fReadState.compare_exchange_weak(State, ((Read + Drop) << 1) | (State & 1), std::memory_order_acq_rel,
                                         std::memory_order_acquire))
    {
      fDropped.fetch_add(Drop, std::memory_order_relaxed);
      break;
    }
  }
  // A claim that began before the drop may lie further back than fMaxClaim: keep clear of it.
  if (fReadState.load(std::memory_order_acquire) & 1)
  {
    uint64_t Limit = fClaimStart.load(std::memory_order_acquire) + fStorage;
    if (Written + Length > Limit)
    {
      size_t Excess = size_t(Written + Length - Limit);
      fDropped.fetch_add(Excess, std::memory_order_relaxed);
      Data += Excess;
      Length -= Excess;
    }
  }
  CopyIn(Written, Data, Length);
  fWritten.store(Written + Length, std::memory_order_release);
}

size_t TSampleRing::Read(void* oBuffer, size_t iLength)
{
  uint8_t* Out = static_cast<uint8_t*>(oBuffer);
  size_t Wanted = iLength / fFrameBytes * fFrameBytes;
  size_t Done = 0;
  while (Done < Wanted)
  {
    uint64_t State = fReadState.load(std::memory_order_acquire);
    uint64_t Read = 0, Claim = 0;
    do
    {
      Read = State >> 1;
      uint64_t Written = fWritten.load(std::memory_order_acquire);
      Claim = std::min<uint64_t>({Wanted - Done, Written - Read, fMaxClaim});
      fClaimStart.store(Read, std::memory_order_release);
    } while (Claim > 0 && !fReadState.compare_exchange_weak(State, ((Read + Claim) << 1) | 1, std::memory_order_acq_rel,
                                                            std::memory_order_acquire));
    if (Claim == 0)
      break;
    CopyOut(Read, Out + Done, size_t(Claim));
    fReadState.fetch_and(~uint64_t(1), std::memory_order_release);
    Done += size_t(Claim);
  }
  return Done;
}

size_t TSampleRing::AvailableBytes() const
{
  uint64_t Read = fReadState.load(std::memory_order_acquire) >> 1;
  return size_t(fWritten.load(std::memory_order_acquire) - Read);
}

void TSampleRing::CopyIn(uint64_t iPosition, const uint8_t* iData, size_t iLength)
{
  size_t Offset = size_t(iPosition % fStorage);
  size_t First = std::min(iLength, fStorage - Offset);
  std::memcpy(fData.get() + Offset, iData, First);
  std::memcpy(fData.get(), iData + First, iLength - First);
}

void TSampleRing::CopyOut(uint64_t iPosition, uint8_t* oData, size_t iLength) const
{
  size_t Offset = size_t(iPosition % fStorage);
  size_t First = std::min(iLength, fStorage - Offset);
  std::memcpy(oData, fData.get() + Offset, First);
  std::memcpy(oData + First, fData.get(), iLength - First);
}
