#include "audio/engine/OggPageTracker.h"

#include <cstring>
#include <ogg/ogg.h>

struct TOggPageTracker::TSync
{
  ogg_sync_state State{};
  TSync() { ogg_sync_init(&State); }
  ~TSync() { ogg_sync_clear(&State); }
};

TOggPageTracker::TOggPageTracker() : fSync(std::make_unique<TSync>()) {}

TOggPageTracker::~TOggPageTracker() = default;

void TOggPageTracker::Append(const uint8_t* iData, size_t iSize)
{
  char* buffer = ogg_sync_buffer(&fSync->State, static_cast<long>(iSize));
  if (!buffer)
    return;
  std::memcpy(buffer, iData, iSize);
  ogg_sync_wrote(&fSync->State, static_cast<long>(iSize));
  ogg_page page;
  for (;;)
  {
    const long result = ogg_sync_pageseek(&fSync->State, &page);
    if (result == 0)
      return; // the rest of a page is still to come
    if (result < 0)
    {
      fConsumed += static_cast<uint64_t>(-result); // not a page: skipped
      continue;
    }
    if (!fHeaderComplete && ogg_page_granulepos(&page) == 0)
    {
      fHeader.append(reinterpret_cast<const char*>(page.header), static_cast<size_t>(page.header_len));
      fHeader.append(reinterpret_cast<const char*>(page.body), static_cast<size_t>(page.body_len));
      fHeaderEnd = fConsumed + static_cast<uint64_t>(result);
    }
    else
    {
      fHeaderComplete = true;
      ++fAudioPages;
    }
    fPageStarts.push_back(fConsumed);
    fConsumed += static_cast<uint64_t>(result);
  }
}

uint64_t TOggPageTracker::PageStartNear(uint64_t iPosition, uint64_t iOldest) const
{
  uint64_t before = 0;
  bool hasBefore = false;
  for (const uint64_t start : fPageStarts)
  {
    if (start <= iPosition)
    {
      before = start;
      hasBefore = true;
    }
    else
      return hasBefore && before >= iOldest ? before : start;
  }
  return hasBefore && before >= iOldest ? before : iPosition;
}

void TOggPageTracker::Forget(uint64_t iPosition)
{
  // One older start stays: PageStartNear may want the page that holds iPosition.
  while (fPageStarts.size() > 1 && fPageStarts[1] <= iPosition)
    fPageStarts.pop_front();
}
