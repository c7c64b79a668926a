#pragma once
// The e-mail alarm worker: alarm e-mails are sent one at a time, oldest first, by the thread
// "EMailAlarmThread". A mail server that is slow or unreachable (up to its time-outs) therefore never holds up
// the controller, whose rotation of the recording files must not wait for it.

#include "notify/AlarmWorker.h"
#include "notify/EmailSettings.h"
#include "notify/NotifyLog.h"

#include <string>

class TEmailAlarmSender
{
public:
  // iLog takes "Error sending e-mail: %s" from the worker. The worker is created suspended.
  explicit TEmailAlarmSender(TLogProc iLog);
  TEmailAlarmSender(const TEmailAlarmSender&) = delete;
  TEmailAlarmSender& operator=(const TEmailAlarmSender&) = delete;

  void Start() { fEMailAlarmThread.Start(); }
  // Queues an alarm e-mail with iText as subject, sent with the settings of this moment.
  void QueueAlarmEmail(const TEmailSettings& iSettings, const std::string& iText);

private:
  struct TAlarmEmail
  {
    TEmailSettings Settings;
    std::string Text;
  };

  TLogProc fLog;
  TAlarmWorker<TAlarmEmail> fEMailAlarmThread;
};
