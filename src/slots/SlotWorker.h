#pragma once
// A slot's worker: runs the slot's jobs that may wait (database writes, stopping an encoder program, checking
// a finished file) on a thread of its own, in the order they were handed over, so that the controller's thread
// never waits for them under the slot's lock. A job that could not finish (a locked database) keeps its place
// and runs again after a pause, while the jobs behind it go on; so nothing handed over is lost while the
// program runs.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class TSlotWorker
{
public:
  // True when the job is done; false to run it again after the retry pause. An exception counts as done and
  // goes to the error handler with its text.
  using TJob = std::function<bool()>;
  using TErrorHandler = std::function<void(const std::string& iText)>;

  TSlotWorker(std::string iName, TErrorHandler iOnError,
              std::chrono::milliseconds iRetryPause = std::chrono::milliseconds(2000));
  // Finishes without a deadline for jobs that succeed; jobs that keep failing are given up.
  ~TSlotWorker();
  TSlotWorker(const TSlotWorker&) = delete;
  TSlotWorker& operator=(const TSlotWorker&) = delete;

  // Never waits for a job; any thread.
  void Post(TJob iJob);
  // Runs every queued job, retrying failed ones without the long pause, until the queue is empty or
  // iDeadline has passed; what is left then is given up. Ends the thread. Returns the number given up.
  size_t Finish(std::chrono::steady_clock::time_point iDeadline);
  // Waits until nothing is queued or waiting for a retry; false when that did not happen within iTimeout.
  bool WaitIdle(std::chrono::milliseconds iTimeout);

private:
  struct TEntry
  {
    TJob Job;
    std::chrono::steady_clock::time_point Due;
  };
  void Run();

  std::string fName;
  TErrorHandler fOnError;
  std::chrono::milliseconds fRetryPause;
  std::mutex fLock;
  std::condition_variable fChanged;
  std::deque<TEntry> fJobs; // handed-over order; the running job stays in front of the jobs behind it
  bool fRunning = false;    // a job runs outside the lock
  bool fFinishing = false;
  std::chrono::steady_clock::time_point fDeadline;
  size_t fGivenUp = 0;
  std::thread fThread;
};
