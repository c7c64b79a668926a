#pragma once
// A list that one real-time thread reads without ever waiting while a normal thread replaces it. The writer
// builds a new list and publishes it; the old one is freed once no read that began before the swap is still
// walking it. Writers must be serialised by the caller.

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

template <class T> class TPublishedList
{
public:
  using TList = std::vector<T>;

  TPublishedList() : fCurrent(std::make_unique<const TList>()), fPublished(fCurrent.get()) {}
  TPublishedList(const TPublishedList&) = delete;
  TPublishedList& operator=(const TPublishedList&) = delete;

  // The list as last published. Writer side.
  const TList& Current() const { return *fCurrent; }

  // Makes iList the list readers see. Once it returns, no reader uses the previous list any more.
  void Publish(std::unique_ptr<const TList> iList)
  {
    fPublished.store(iList.get());
    // A read that began before the store may still walk the old list. Reads are a few copies long and the
    // reading thread never waits for this one, so this wait is short.
    while (fActiveReaders.load() != 0)
      std::this_thread::yield();
    fCurrent = std::move(iList);
  }

  // Calls iVisit with the published list. Real-time side: no lock, no allocation.
  template <class F> void Read(F&& iVisit)
  {
    fActiveReaders.fetch_add(1);
    iVisit(*fPublished.load());
    fActiveReaders.fetch_sub(1);
  }

private:
  std::unique_ptr<const TList> fCurrent;
  std::atomic<const TList*> fPublished;
  std::atomic<int> fActiveReaders{0};
};
