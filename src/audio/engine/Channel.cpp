#include "audio/engine/Channel.h"

#include <algorithm>

TChannel::TChannel(const TChannelFormat& iFormat, bool iDecode) : fFormat(iFormat), fDecode(iDecode) {}

uint32_t TChannel::Read(void* oBuffer, uint32_t iLength)
{
  const uint32_t FrameBytes = fFormat.FrameBytes();
  uint32_t Wanted = iLength / FrameBytes;
  uint8_t* Out = static_cast<uint8_t*>(oBuffer);
  uint32_t Done = 0;
  std::lock_guard Lock(fLock);
  while (Done < Wanted)
  {
    uint32_t Block = std::min(Wanted - Done, kBlockFrames);
    uint32_t Got = Produce(Out + size_t(Done) * FrameBytes, Block);
    if (Got == 0)
      break;
    uint64_t First = fPosition.load(std::memory_order_relaxed);
    if (fFormat.Float)
    {
      float* Samples = reinterpret_cast<float*>(Out + size_t(Done) * FrameBytes);
      for (TChainElement* Element : fElements)
        Element->Process(Samples, Got, fFormat.Channels, First);
    }
    fPosition.store(First + Got, std::memory_order_release);
    Done += Got;
    if (Got < Block)
      break;
  }
  return Done * FrameBytes;
}

void TChannel::InsertElement(TChainElement* iElement)
{
  std::vector<TChainElement*> Elements = fElements;
  auto Place = std::find_if(Elements.begin(), Elements.end(),
                            [&](TChainElement* e) { return e->Priority() < iElement->Priority(); });
  Elements.insert(Place, iElement);
  SwapElements(Elements, nullptr, iElement);
}

bool TChannel::RemoveElement(TChainElement* iElement)
{
  std::vector<TChainElement*> Elements = fElements;
  auto Found = std::find(Elements.begin(), Elements.end(), iElement);
  if (Found == Elements.end())
    return false;
  Elements.erase(Found);
  SwapElements(Elements, iElement, nullptr);
  return true;
}

bool TChannel::ReplaceElement(TChainElement* iOld, TChainElement* iNew)
{
  std::vector<TChainElement*> Elements = fElements;
  auto Found = std::find(Elements.begin(), Elements.end(), iOld);
  if (Found == Elements.end())
    return false;
  if (iNew->Priority() == iOld->Priority())
    *Found = iNew;
  else
  {
    Elements.erase(Found);
    auto Place = std::find_if(Elements.begin(), Elements.end(),
                              [&](TChainElement* e) { return e->Priority() < iNew->Priority(); });
    Elements.insert(Place, iNew);
  }
  SwapElements(Elements, iOld, iNew);
  return true;
}

void TChannel::SwapElements(std::vector<TChainElement*>& ioElements, TChainElement* iLeaving, TChainElement* iJoining)
{
  {
    std::lock_guard Lock(fLock);
    fElements.swap(ioElements);
    uint64_t Position = fPosition.load(std::memory_order_relaxed);
    if (iLeaving)
      iLeaving->Detached(Position);
    if (iJoining)
      iJoining->Attached(Position);
  }
  // ioElements now holds the old list and is freed here, outside the lock.
}
