#pragma once
// The HTTP alarm worker: URLs queued by the controller are called one at a time, oldest first, by the thread
// "HTTPAlarmThread", so that a slow or dead server never holds up the controller.

#include "notify/AlarmWorker.h"
#include "notify/CertificateCheck.h"
#include "notify/NotifyLog.h"

#include <string>

class THTTPAlarmSender
{
public:
  static constexpr unsigned ReadTimeout = 10000; // ms

  // iLog takes the worker's lines ("Making alarm call to %s", "Error executing HTTP alarm call to %s: %s") from
  // the caller's thread and from the worker; iCertificateCheck applies to every https call. The worker is created
  // suspended.
  explicit THTTPAlarmSender(TLogProc iLog, TCertificateCheck iCertificateCheck = {});
  THTTPAlarmSender(const THTTPAlarmSender&) = delete;
  THTTPAlarmSender& operator=(const THTTPAlarmSender&) = delete;

  void Start() { fHTTPAlarmThread.Start(); }
  // Logs the call and queues it; an empty URL does nothing.
  void QueueHTTPAlarm(const std::string& iURL);

private:
  void PerformHTTPAlarm(const std::string& iURL);

  TLogProc fLog;
  const TCertificateCheck fCertificateCheck;
  TAlarmWorker<std::string> fHTTPAlarmThread;
};
