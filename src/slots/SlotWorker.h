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
#include <optional>
#include <string>
#include <thread>

class TSlotWorker
{
public:
  // True when the job is done; false to run it again after the retry pause. An exception counts as done and
  // goes to the error handler with its text.
  using TJob = std::function<bool()>;
  using TErrorHandler = std::function<void(const std::string& iText)>;
  // Run for a job given up at the end, on the thread that finishes the worker: keeps elsewhere (the journal)
  // what the job would have stored; true when it did.
  using TGiveUp = std::function<bool()>;
  struct TFinishOutcome
  {
    size_t GivenUp = 0; // jobs not done by the deadline
    size_t Kept = 0;    // of these, the ones whose give-up handler kept what they would have stored
    bool Ended = true;  // false: a job still ran at the deadline, and the thread was left to it
  };

  TSlotWorker(std::string iName, TErrorHandler iOnError,
              std::chrono::milliseconds iRetryPause = std::chrono::milliseconds(2000));
  // Finishes at once: what is queued is given up. A thread left to a job that never returned is detached; the
  // owner of a worker that did not end must therefore not free what its jobs use (the program ends instead).
  ~TSlotWorker();
  TSlotWorker(const TSlotWorker&) = delete;
  TSlotWorker& operator=(const TSlotWorker&) = delete;

  // Never waits for a job; any thread.
  void Post(TJob iJob, TGiveUp iOnGivenUp = nullptr);
  // Runs every queued job, retrying failed ones without the long pause, until the queue is empty or
  // iDeadline has passed; what is left then, and a job that still runs, is given up and its give-up handler
  // run. Never waits past the deadline: a thread held up by its job is not joined. Later calls return the
  // first outcome.
  TFinishOutcome Finish(std::chrono::steady_clock::time_point iDeadline);
  // Waits until nothing is queued or waiting for a retry; false when that did not happen within iTimeout.
  bool WaitIdle(std::chrono::milliseconds iTimeout);

private:
  struct TEntry
  {
    TJob Job;
    std::chrono::steady_clock::time_point Due;
    TGiveUp GiveUp;
  };
  void Run();

  std::string fName;
  TErrorHandler fOnError;
  std::chrono::milliseconds fRetryPause;
  std::mutex fLock;
  std::condition_variable fChanged;
  std::deque<TEntry> fJobs; // handed-over order; the running job stays in front of the jobs behind it
  bool fRunning = false;    // a job runs outside the lock
  TGiveUp fRunningGiveUp;   // the running job's
  bool fFinishing = false;
  bool fEnded = false; // the thread left its loop
  std::chrono::steady_clock::time_point fDeadline;
  std::optional<TFinishOutcome> fOutcome;
  std::thread fThread;
};
