#include "slots/SlotWorker.h"

#include <exception>
#include <pthread.h>
#include <vector>

namespace
{
// While finishing, a failing job is retried this often until the deadline.
constexpr std::chrono::milliseconds kFinishRetryPause{100};
} // namespace

TSlotWorker::TSlotWorker(std::string iName, TErrorHandler iOnError, std::chrono::milliseconds iRetryPause)
    : fName(std::move(iName)), fOnError(std::move(iOnError)), fRetryPause(iRetryPause)
{
  fThread = std::thread(&TSlotWorker::Run, this);
}

TSlotWorker::~TSlotWorker()
{
  Finish(std::chrono::steady_clock::now());
  bool ended = false;
  {
    // Unless a job holds it up, the thread ends at once.
    std::unique_lock lock(fLock);
    fChanged.wait(lock, [this] { return fEnded || fRunning; });
    ended = fEnded;
  }
  if (!fThread.joinable())
    return;
  if (ended)
    fThread.join();
  else
    fThread.detach();
}

void TSlotWorker::Post(TJob iJob, TGiveUp iOnGivenUp)
{
  {
    std::lock_guard lock(fLock);
    fJobs.push_back({std::move(iJob), std::chrono::steady_clock::time_point::min(), std::move(iOnGivenUp)});
  }
  fChanged.notify_all();
}

TSlotWorker::TFinishOutcome TSlotWorker::Finish(std::chrono::steady_clock::time_point iDeadline)
{
  std::vector<TGiveUp> giveUps;
  TFinishOutcome outcome;
  {
    std::unique_lock lock(fLock);
    if (fOutcome)
      return *fOutcome;
    fFinishing = true;
    fDeadline = iDeadline;
    // Retries wait no longer than the finishing pause.
    for (TEntry& entry : fJobs)
      entry.Due = std::min(entry.Due, std::chrono::steady_clock::now() + kFinishRetryPause);
    fChanged.notify_all();
    fChanged.wait_until(lock, iDeadline, [this] { return fEnded; });
    // Past the deadline the thread starts no job: unless one holds it up, it ends at once.
    fChanged.wait(lock, [this] { return fEnded || fRunning; });
    outcome.Ended = fEnded;
    // A job that still runs is given up first: it was handed over before those that wait.
    if (!fEnded && fRunning)
      giveUps.push_back(std::move(fRunningGiveUp));
    for (TEntry& entry : fJobs)
      giveUps.push_back(std::move(entry.GiveUp));
    outcome.GivenUp = giveUps.size();
    fJobs.clear();
    fOutcome = outcome;
  }
  fChanged.notify_all();
  for (const TGiveUp& giveUp : giveUps)
    if (giveUp && giveUp())
      ++outcome.Kept;
  if (outcome.Ended)
    fThread.join();
  std::lock_guard lock(fLock);
  fOutcome = outcome;
  return outcome;
}

bool TSlotWorker::WaitIdle(std::chrono::milliseconds iTimeout)
{
  std::unique_lock lock(fLock);
  return fChanged.wait_for(lock, iTimeout, [this] { return fJobs.empty() && !fRunning; });
}

void TSlotWorker::Run()
{
  pthread_setname_np(pthread_self(), fName.substr(0, 15).c_str());
  std::unique_lock lock(fLock);
  for (;;)
  {
    const auto now = std::chrono::steady_clock::now();
    // What is left is given up by Finish.
    if (fFinishing && (fJobs.empty() || now >= fDeadline))
      break;
    // The first job that is due, in handed-over order; a job waiting for its retry does not hold up others.
    auto next = fJobs.begin();
    auto wake = std::chrono::steady_clock::time_point::max();
    for (; next != fJobs.end() && next->Due > now; ++next)
      wake = std::min(wake, next->Due);
    if (next == fJobs.end())
    {
      if (fFinishing)
        wake = std::min(wake, fDeadline);
      fChanged.wait_until(lock, wake);
      continue;
    }
    TJob job = std::move(next->Job);
    fRunningGiveUp = std::move(next->GiveUp);
    const size_t position = static_cast<size_t>(next - fJobs.begin());
    fJobs.erase(next);
    fRunning = true;
    lock.unlock();
    bool done = true;
    try
    {
      done = job();
    }
    catch (const std::exception& e)
    {
      fOnError(e.what());
    }
    lock.lock();
    fRunning = false;
    if (!done)
    {
      const auto pause = fFinishing ? kFinishRetryPause : fRetryPause;
      fJobs.insert(fJobs.begin() + static_cast<std::ptrdiff_t>(std::min(position, fJobs.size())),
                   {std::move(job), std::chrono::steady_clock::now() + pause, std::move(fRunningGiveUp)});
    }
    fRunningGiveUp = nullptr;
    fChanged.notify_all();
  }
  fEnded = true;
  fChanged.notify_all();
}
