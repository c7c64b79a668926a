#include "audio/engine/Channel.h"

#include <algorithm>

TChannel::TChannel(const TChannelFormat& iFormat, bool iDecode) : fFormat(iFormat), fDecode(iDecode) {}

uint32_t TChannel::Read(void* oBuffer, uint32_t iLength)
{
  const uint32_t frameBytes = fFormat.FrameBytes();
  uint32_t wanted = iLength / frameBytes;
  uint8_t* out = static_cast<uint8_t*>(oBuffer);
  uint32_t done = 0;
  std::lock_guard lock(fLock);
  while (done < wanted)
  {
    uint32_t block = std::min(wanted - done, kBlockFrames);
    uint32_t got = Produce(out + size_t(done) * frameBytes, block);
    if (got == 0)
      break;
    uint64_t first = fPosition.load(std::memory_order_relaxed);
    if (fFormat.Float)
    {
      float* samples = reinterpret_cast<float*>(out + size_t(done) * frameBytes);
      for (TChainElement* element : fElements)
        element->Process(samples, got, fFormat.Channels, first);
    }
    fPosition.store(first + got, std::memory_order_release);
    done += got;
    if (got < block)
      break;
  }
  return done * frameBytes;
}

void TChannel::InsertElement(TChainElement* iElement)
{
  std::vector<TChainElement*> elements = fElements;
  auto place = std::find_if(elements.begin(), elements.end(),
                            [&](TChainElement* e) { return e->Priority() < iElement->Priority(); });
  elements.insert(place, iElement);
  SwapElements(elements, nullptr, iElement);
}

bool TChannel::RemoveElement(TChainElement* iElement)
{
  std::vector<TChainElement*> elements = fElements;
  auto found = std::find(elements.begin(), elements.end(), iElement);
  if (found == elements.end())
    return false;
  elements.erase(found);
  SwapElements(elements, iElement, nullptr);
  return true;
}

bool TChannel::ReplaceElement(TChainElement* iOld, TChainElement* iNew)
{
  std::vector<TChainElement*> elements = fElements;
  auto found = std::find(elements.begin(), elements.end(), iOld);
  if (found == elements.end())
    return false;
  if (iNew->Priority() == iOld->Priority())
    *found = iNew;
  else
  {
    elements.erase(found);
    auto place = std::find_if(elements.begin(), elements.end(),
                              [&](TChainElement* e) { return e->Priority() < iNew->Priority(); });
    elements.insert(place, iNew);
  }
  SwapElements(elements, iOld, iNew);
  return true;
}

void TChannel::SwapElements(std::vector<TChainElement*>& ioElements, TChainElement* iLeaving, TChainElement* iJoining)
{
  {
    std::lock_guard lock(fLock);
    fElements.swap(ioElements);
    uint64_t position = fPosition.load(std::memory_order_relaxed);
    if (iLeaving)
      iLeaving->Detached(position);
    if (iJoining)
      iJoining->Attached(position);
  }
  // ioElements now holds the old list and is freed here, outside the lock.
}
