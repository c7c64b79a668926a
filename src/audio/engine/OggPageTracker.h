#pragma once
// Follows an Ogg stream's pages as the stream passes by: keeps its header pages (all pages before the first
// one with audio) and where recent pages start, so that a listener joining later gets the headers first and
// then audio from a page boundary. Without them a decoder cannot start in the middle of an Ogg stream.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

class TOggPageTracker
{
public:
  TOggPageTracker();
  ~TOggPageTracker();
  TOggPageTracker(const TOggPageTracker&) = delete;
  TOggPageTracker& operator=(const TOggPageTracker&) = delete;

  // The next bytes of the stream.
  void Append(const uint8_t* iData, size_t iSize);
  // Complete once the first audio page was seen; HeaderEnd is the stream position after the header pages.
  bool HeaderComplete() const { return fHeaderComplete; }
  const std::string& Header() const { return fHeader; }
  uint64_t HeaderEnd() const { return fHeaderEnd; }
  // Audio pages seen so far, and the stream position after the last complete page.
  uint64_t AudioPages() const { return fAudioPages; }
  uint64_t PagesEnd() const { return fConsumed; }
  // Where a listener starting at iPosition begins: the last page start at or before it, if not before
  // iOldest, else the first page start after it; iPosition itself when no page start fits.
  uint64_t PageStartNear(uint64_t iPosition, uint64_t iOldest) const;
  // Page starts before iPosition are no longer needed.
  void Forget(uint64_t iPosition);

private:
  struct TSync;
  std::unique_ptr<TSync> fSync;
  uint64_t fConsumed = 0; // stream position of the sync state's next byte
  bool fHeaderComplete = false;
  std::string fHeader;
  uint64_t fHeaderEnd = 0;
  uint64_t fAudioPages = 0;
  std::deque<uint64_t> fPageStarts;
};
