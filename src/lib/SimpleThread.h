#pragma once
// The one kind of background thread: runs a single callback of its owner, with a wake-up event on which the
// callback sleeps between passes and an orderly termination.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class TSimpleThread
{
public:
  using TThreadProc = std::function<void(TSimpleThread& iThread)>;

  // iName (cut to the 15 characters Linux allows) is shown by debuggers and ps; empty leaves the default.
  TSimpleThread(bool createSuspended, TThreadProc iProc, std::string iName);
  // Requests termination, wakes the thread, waits for it to end. A never-started thread never runs iProc.
  ~TSimpleThread();
  TSimpleThread(const TSimpleThread&) = delete;
  TSimpleThread& operator=(const TSimpleThread&) = delete;

  // Starts a thread created suspended; does nothing when it runs already.
  void Start();
  // Sleeps until SignalEvent or until iTimeout ms pass; returns at once when termination was requested before
  // or during the wait.
  // The event is reset before the wait, so a signal given before the call does not shorten it.
  void WaitForEvent(unsigned iTimeout);
  void SignalEvent();
  // Sets Terminated and ends a running WaitForEvent, without waiting for the thread (the destructor does this
  // too).
  void Terminate();
  bool Terminated() const { return fTerminated.load(std::memory_order_acquire); }

private:
  void Run();

  TThreadProc fProc;
  std::string fName;
  std::thread fThread;
  std::mutex fMutex;
  std::condition_variable fCondition;
  bool fEvent = false;
  std::atomic<bool> fTerminated{false};
};
