#pragma once
// A worker thread that performs queued alarm jobs one at a time, oldest first, so that a slow or dead server
// never holds up the controller that queues them.

#include "lib/SimpleThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

template <class TJob> class TAlarmWorker
{
public:
  using TPerform = std::function<void(TJob& iJob)>;

  // iPerform runs on the worker and must catch its own errors. The worker is created suspended.
  TAlarmWorker(std::string iThreadName, TPerform iPerform)
      : fPerform(std::move(iPerform)),
        fThread(std::make_unique<TSimpleThread>(
            true, [this](TSimpleThread& iThread) { Run(iThread); }, std::move(iThreadName)))
  {
  }

  // Stops the worker: a job under way is finished or runs into its time-out; jobs still queued are dropped.
  ~TAlarmWorker()
  {
    fThread->Terminate();
    {
      // Taking the lock orders the request before the worker's next look at it, so the wake-up cannot be missed.
      std::lock_guard lock(fCS);
    }
    fQueued.notify_all();
    fThread.reset();
  }

  TAlarmWorker(const TAlarmWorker&) = delete;
  TAlarmWorker& operator=(const TAlarmWorker&) = delete;

  void Start() { fThread->Start(); }

  void Queue(TJob iJob)
  {
    {
      std::lock_guard lock(fCS);
      fPending.push_back(std::move(iJob));
    }
    fQueued.notify_one();
  }

private:
  static constexpr std::chrono::milliseconds IdleWait{60000};

  bool TakeNext(TJob& oJob)
  {
    std::lock_guard lock(fCS);
    if (fPending.empty())
      return false;
    oJob = std::move(fPending.front());
    fPending.pop_front();
    return true;
  }

  void Run(TSimpleThread& iThread)
  {
    while (!iThread.Terminated())
    {
      TJob job;
      while (!iThread.Terminated() && TakeNext(job))
        fPerform(job);
      // Waiting on the queue itself under its lock: a job queued while the last one ran wakes the worker at once.
      std::unique_lock lock(fCS);
      fQueued.wait_for(lock, IdleWait, [&] { return iThread.Terminated() || !fPending.empty(); });
    }
  }

  TPerform fPerform;
  std::mutex fCS; // guards fPending
  std::condition_variable fQueued;
  std::deque<TJob> fPending;
  std::unique_ptr<TSimpleThread> fThread;
};
