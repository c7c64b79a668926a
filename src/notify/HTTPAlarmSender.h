#pragma once
// The HTTP alarm worker: URLs queued by the controller are called one at a time, oldest first, by the thread
// "HTTPAlarmThread", so that a slow or dead server never holds up the controller.

#include "lib/SimpleThread.h"
#include "notify/NotifyLog.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

class THTTPAlarmSender
{
public:
  static constexpr unsigned ReadTimeout = 10000; // ms

  // iLog takes the worker's lines ("Making alarm call to %s", "Error executing HTTP alarm call to %s: %s") from
  // the caller's thread and from the worker. The worker is created suspended.
  explicit THTTPAlarmSender(TLogProc iLog);
  // Stops the worker: a call under way is finished or runs into its time-out; URLs still queued are dropped.
  ~THTTPAlarmSender();
  THTTPAlarmSender(const THTTPAlarmSender&) = delete;
  THTTPAlarmSender& operator=(const THTTPAlarmSender&) = delete;

  void Start();
  // Logs the call and queues it; an empty URL does nothing.
  void QueueHTTPAlarm(const std::string& iURL);

private:
  void RunHTTPAlarms(TSimpleThread& iThread);
  bool TakeNextAlarm(std::string& oURL);

  TLogProc fLog;
  std::mutex fCS; // guards fPendingHTTPAlarms
  std::condition_variable fAlarmQueued;
  std::deque<std::string> fPendingHTTPAlarms;
  std::unique_ptr<TSimpleThread> fHTTPAlarmThread;
};
