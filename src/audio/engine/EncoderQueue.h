#pragma once
// The feeding queue of an encoder: the pulling thread pushes float frames into a preallocated single-producer
// single-consumer ring without blocking, converted on the way to the samples the encoder takes (16-bit or
// float): a 16-bit ring is half as large, and each sample is converted once. The queue's own thread hands
// them to the encoder's writer. The thread
// drains the ring every kDrainInterval, or earlier when the ring is a quarter full: a wake-up per push would
// cost more than the writing. The first push is written at once, so that a new file holds audio from its start.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

// A point in the queue's stream: its action runs on the queue's thread once everything pushed before the point
// has been written and before anything pushed after it (true), or when the thread ends without getting there
// (false: the writer failed). Made outside any lock, so that placing it allocates nothing.
struct TQueueMark
{
  uint64_t At = 0; // in samples since the start
  std::function<void(bool iReached)> Action;
};
using TQueueMarks = std::list<TQueueMark>;

class TEncoderQueue
{
public:
  static constexpr std::chrono::milliseconds kDrainInterval{500};

  // Writes converted frames on the queue's thread; false when the target failed (the thread then ends).
  using TWriter = std::function<bool(const uint8_t* iFrames, size_t iFrameCount)>;

  // iCapacityFrames frames of iChannels samples, kept as i16Bit says (ConvertEncoderSamples), allocated here.
  // iOnFailure runs on the queue's thread after the writer failed. Starts the thread.
  TEncoderQueue(size_t iCapacityFrames, uint32_t iChannels, bool i16Bit, TWriter iWriter,
                std::function<void()> iOnFailure);
  ~TEncoderQueue(); // finishes without time limit if Finish was not called

  TEncoderQueue(const TEncoderQueue&) = delete;
  TEncoderQueue& operator=(const TEncoderQueue&) = delete;

  // Producer side: never blocks, allocates or makes I/O (at most wakes the sleeping queue thread, when the
  // ring is a quarter full). What does not fit is dropped and counted.
  void Push(const float* iFrames, size_t iFrameCount);
  uint64_t DroppedFrames() const { return fDropped.load(std::memory_order_relaxed); }
  // Places the marks of ioMarks here, between what was pushed and what will be: only between two pushes (the
  // producer waits meanwhile). Takes their nodes without allocating; false, leaving them, when the thread has
  // ended (the writer failed).
  bool Mark(TQueueMarks& ioMarks);

  // Lets the thread write out what was pushed before, then ends it. If it is not done by iDeadline, iCancel
  // is called (it must make the writer return) and the thread is joined.
  void Finish(std::chrono::steady_clock::time_point iDeadline, const std::function<void()>& iCancel);

private:
  void Run();
  // Makes the ring's memory present before the producer needs it.
  void PrefaultRing();
  // Writes everything queued, running the marks it passes; false when the writer failed.
  bool Drain();
  // The marks not reached run with false.
  void DropMarks();
  uint64_t Queued() const;

  const size_t fCapacity; // in samples, whole frames
  const size_t fWakeSamples;
  const uint32_t fChannels;
  const bool f16Bit;
  const size_t fBytesPerSample;
  std::unique_ptr<uint8_t[]> fRing;
  TWriter fWriter;
  std::function<void()> fOnFailure;

  // Monotonic sample counters; the producer owns fWritten, the thread fRead.
  alignas(64) std::atomic<uint64_t> fWritten{0};
  alignas(64) std::atomic<uint64_t> fRead{0};
  std::atomic<bool> fFinishing{false}; // set under fWakeLock
  // The thread sleeps on fWake. The producer signals it without the lock: a signal lost in a race only delays
  // the drain to the next interval.
  std::mutex fWakeLock;
  std::condition_variable fWake;
  std::atomic<uint64_t> fDropped{0};
  std::mutex fMarksLock; // the placing thread and the queue's
  TQueueMarks fMarks;
  bool fMarksClosed = false;
  std::atomic<size_t> fPendingMarks{0};

  std::mutex fDoneLock;
  std::condition_variable fDoneSignal;
  bool fDone = false;
  std::thread fThread;
};
