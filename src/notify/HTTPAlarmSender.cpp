#include "notify/HTTPAlarmSender.h"

#include "lib/Errors.h"
#include "notify/HTTPAlarmCall.h"

#include <chrono>

namespace
{

constexpr std::chrono::milliseconds IdleWait{60000};

} // namespace

THTTPAlarmSender::THTTPAlarmSender(TLogProc iLog)
    : fLog(std::move(iLog)), fHTTPAlarmThread(std::make_unique<TSimpleThread>(
                                 true, [this](TSimpleThread& iThread) { RunHTTPAlarms(iThread); }, "HTTPAlarmThread"))
{
}

THTTPAlarmSender::~THTTPAlarmSender()
{
  fHTTPAlarmThread->Terminate();
  {
    // Taking the lock orders the request before the worker's next look at it, so the wake-up cannot be missed.
    std::lock_guard Lock(fCS);
  }
  fAlarmQueued.notify_all();
  fHTTPAlarmThread.reset();
}

void THTTPAlarmSender::Start()
{
  fHTTPAlarmThread->Start();
}

void THTTPAlarmSender::QueueHTTPAlarm(const std::string& iURL)
{
  if (iURL.empty())
    return;
  fLog(Format("Making alarm call to %s", iURL.c_str()));
  {
    std::lock_guard Lock(fCS);
    fPendingHTTPAlarms.push_back(iURL);
  }
  fAlarmQueued.notify_one();
}

bool THTTPAlarmSender::TakeNextAlarm(std::string& oURL)
{
  std::lock_guard Lock(fCS);
  if (fPendingHTTPAlarms.empty())
    return false;
  oURL = std::move(fPendingHTTPAlarms.front());
  fPendingHTTPAlarms.pop_front();
  return true;
}

void THTTPAlarmSender::RunHTTPAlarms(TSimpleThread& iThread)
{
  while (!iThread.Terminated())
  {
    std::string URL;
    while (!iThread.Terminated() && TakeNextAlarm(URL))
    {
      try
      {
        PerformHTTPAlarmCall(URL, ReadTimeout);
      }
      catch (const std::exception& Error)
      {
        fLog(Format("Error executing HTTP alarm call to %s: %s", URL.c_str(), Error.what()));
      }
    }
    // Waiting on the queue itself under its lock: a URL queued while the last call ran wakes the worker at once.
    std::unique_lock Lock(fCS);
    fAlarmQueued.wait_for(Lock, IdleWait, [&] { return iThread.Terminated() || !fPendingHTTPAlarms.empty(); });
  }
}
