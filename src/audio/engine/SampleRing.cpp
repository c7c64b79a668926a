#include "audio/engine/SampleRing.h"

#include <algorithm>
#include <cstring>

TSampleRing::TSampleRing(size_t iCapacityBytes, uint32_t iFrameBytes)
    : fFrameBytes(iFrameBytes), fCapacity(iCapacityBytes / iFrameBytes * iFrameBytes), fData(new uint8_t[fCapacity])
{
}

size_t TSampleRing::Write(const void* iBuffer, size_t iLength)
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
    size_t Free = fCapacity - static_cast<size_t>(Written - Read);
    if (Free >= Length)
      break;
    size_t Need = Length - Free;
    if (State & 1)
    {
      // The consumer is copying the oldest frames right now: give up the oldest of the new ones.
      fDropped.fetch_add(Need, std::memory_order_relaxed);
      Data += Need;
      Length = Free;
      break;
    }
    if (fReadState.compare_exchange_weak(State, (Read + Need) << 1, std::memory_order_acq_rel,
                                         std::memory_order_acquire))
    {
      fDropped.fetch_add(Need, std::memory_order_relaxed);
      break;
    }
  }
  CopyIn(Written, Data, Length);
  fWritten.store(Written + Length, std::memory_order_release);
  return Length;
}

size_t TSampleRing::Read(void* oBuffer, size_t iLength)
{
  uint64_t State = fReadState.load(std::memory_order_acquire);
  while (!fReadState.compare_exchange_weak(State, State | 1, std::memory_order_acq_rel, std::memory_order_acquire))
  {
  }
  uint64_t Read = State >> 1;
  uint64_t Written = fWritten.load(std::memory_order_acquire);
  size_t Length = std::min<size_t>(iLength / fFrameBytes * fFrameBytes, static_cast<size_t>(Written - Read));
  CopyOut(Read, static_cast<uint8_t*>(oBuffer), Length);
  fReadState.store((Read + Length) << 1, std::memory_order_release);
  return Length;
}

size_t TSampleRing::AvailableBytes() const
{
  uint64_t Read = fReadState.load(std::memory_order_acquire) >> 1;
  return static_cast<size_t>(fWritten.load(std::memory_order_acquire) - Read);
}

void TSampleRing::CopyIn(uint64_t iPosition, const uint8_t* iData, size_t iLength)
{
  size_t Offset = static_cast<size_t>(iPosition % fCapacity);
  size_t First = std::min(iLength, fCapacity - Offset);
  std::memcpy(fData.get() + Offset, iData, First);
  std::memcpy(fData.get(), iData + First, iLength - First);
}

void TSampleRing::CopyOut(uint64_t iPosition, uint8_t* oData, size_t iLength) const
{
  size_t Offset = static_cast<size_t>(iPosition % fCapacity);
  size_t First = std::min(iLength, fCapacity - Offset);
  std::memcpy(oData, fData.get() + Offset, First);
  std::memcpy(oData + First, fData.get(), iLength - First);
}
