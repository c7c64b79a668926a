#include "audio/engine/EncoderQueue.h"

#include "audio/engine/EncoderSamples.h"
#include "audio/engine/EncoderScheduling.h"

#include <algorithm>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

TEncoderQueue::TEncoderQueue(size_t iCapacityFrames, uint32_t iChannels, bool i16Bit, TWriter iWriter,
                             std::function<void()> iOnFailure)
    : fCapacity(std::max<size_t>(iCapacityFrames, 1) * iChannels),
      fWakeSamples(std::max<size_t>(iCapacityFrames / 4, 1) * iChannels), fChannels(iChannels), f16Bit(i16Bit),
      fBytesPerSample(EncoderBytesPerSample(i16Bit)),
      // Not filled: the queue's thread makes its pages present (PrefaultRing), away from the caller and the
      // pulling thread.
      fRing(std::make_unique_for_overwrite<uint8_t[]>(fCapacity * fBytesPerSample)), fWriter(std::move(iWriter)),
      fOnFailure(std::move(iOnFailure))
{
  fThread = std::thread(&TEncoderQueue::Run, this);
}

TEncoderQueue::~TEncoderQueue()
{
  if (fThread.joinable())
    Finish(std::chrono::steady_clock::time_point::max(), [] {});
}

void TEncoderQueue::Push(const float* iFrames, size_t iFrameCount)
{
  const uint64_t written = fWritten.load(std::memory_order_relaxed);
  const uint64_t free = fCapacity - (written - fRead.load(std::memory_order_acquire));
  const size_t count = std::min<size_t>(iFrameCount * fChannels, free / fChannels * fChannels);
  const size_t start = written % fCapacity;
  const size_t first = std::min(count, fCapacity - start);
  ConvertEncoderSamples(iFrames, first, f16Bit, fRing.get() + start * fBytesPerSample);
  ConvertEncoderSamples(iFrames + first, count - first, f16Bit, fRing.get());
  fWritten.store(written + count, std::memory_order_release);
  if (count < iFrameCount * fChannels)
    fDropped.fetch_add(iFrameCount - count / fChannels, std::memory_order_relaxed);
  if (written == 0 || Queued() >= fWakeSamples)
    fWake.notify_one();
}

bool TEncoderQueue::Mark(TQueueMarks& ioMarks)
{
  const uint64_t at = fWritten.load(std::memory_order_relaxed);
  for (TQueueMark& mark : ioMarks)
    mark.At = at;
  const size_t count = ioMarks.size();
  {
    std::lock_guard lock(fMarksLock);
    if (fMarksClosed)
      return false;
    fMarks.splice(fMarks.end(), ioMarks);
    fPendingMarks.fetch_add(count, std::memory_order_release);
  }
  // Run soon: whoever waits for the mark need not wait for the next drain.
  fWake.notify_one();
  return true;
}

uint64_t TEncoderQueue::Queued() const
{
  return fWritten.load(std::memory_order_acquire) - fRead.load(std::memory_order_acquire);
}

void TEncoderQueue::Finish(std::chrono::steady_clock::time_point iDeadline, const std::function<void()>& iCancel)
{
  {
    std::lock_guard lock(fWakeLock);
    fFinishing.store(true, std::memory_order_release);
  }
  fWake.notify_one();
  {
    std::unique_lock lock(fDoneLock);
    if (!fDoneSignal.wait_until(lock, iDeadline, [this] { return fDone; }))
      iCancel();
  }
  fThread.join();
}

void TEncoderQueue::Run()
{
  pthread_setname_np(pthread_self(), "EncoderQueue");
  FavourEncoderTask(0);
  PrefaultRing();
  for (;;)
  {
    const bool finishing = fFinishing.load(std::memory_order_acquire);
    if (!Drain())
    {
      fOnFailure();
      break;
    }
    // What was pushed before Finish has been written now.
    if (finishing)
      break;
    std::unique_lock lock(fWakeLock);
    fWake.wait_for(lock, kDrainInterval,
                   [this]
                   {
                     return fFinishing.load(std::memory_order_acquire) || Queued() >= fWakeSamples ||
                            (fRead.load(std::memory_order_relaxed) == 0 && Queued() > 0) ||
                            fPendingMarks.load(std::memory_order_acquire) > 0;
                   });
  }
  DropMarks();
  std::lock_guard lock(fDoneLock);
  fDone = true;
  fDoneSignal.notify_all();
}

void TEncoderQueue::PrefaultRing()
{
  // The whole pages inside the ring; the two partial ones at its ends are faulted in by their first use. Pages
  // made present this way keep their content, so the producer may already be writing. Without the call (older
  // kernels) the pages come in as they are first written.
  const uintptr_t pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(fRing.get()) + pageSize - 1) / pageSize * pageSize;
  const uintptr_t end = reinterpret_cast<uintptr_t>(fRing.get() + fCapacity * fBytesPerSample) / pageSize * pageSize;
  if (end > begin)
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

bool TEncoderQueue::Drain()
{
  // What was pushed until now, in pieces that end at the ring's end or at a mark; each frees its space once
  // written.
  const uint64_t written = fWritten.load(std::memory_order_acquire);
  for (;;)
  {
    const uint64_t read = fRead.load(std::memory_order_relaxed);
    uint64_t end = written;
    TQueueMarks due;
    {
      std::lock_guard lock(fMarksLock);
      if (!fMarks.empty() && fMarks.front().At <= end)
      {
        end = fMarks.front().At;
        if (end == read)
          due.splice(due.end(), fMarks, fMarks.begin());
      }
    }
    if (!due.empty())
    {
      due.front().Action(true);
      fPendingMarks.fetch_sub(1, std::memory_order_release);
      continue;
    }
    if (read == end)
      return true;
    const size_t start = read % fCapacity;
    const size_t count = std::min<uint64_t>(end - read, fCapacity - start);
    const bool ok = fWriter(fRing.get() + start * fBytesPerSample, count / fChannels);
    fRead.store(read + count, std::memory_order_release);
    if (!ok)
      return false;
  }
}

void TEncoderQueue::DropMarks()
{
  TQueueMarks left;
  {
    std::lock_guard lock(fMarksLock);
    left.swap(fMarks);
    fMarksClosed = true;
    fPendingMarks.store(0, std::memory_order_release);
  }
  for (TQueueMark& mark : left)
    mark.Action(false);
}
