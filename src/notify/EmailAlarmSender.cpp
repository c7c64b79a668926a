#include "notify/EmailAlarmSender.h"

#include "notify/AlarmEmail.h"

TEmailAlarmSender::TEmailAlarmSender(TLogProc iLog)
    : fLog(std::move(iLog)), fEMailAlarmThread("EMailAlarmThread", [this](const TAlarmEmail& iEmail)
                                               { SendAlarmEmail(iEmail.Settings, iEmail.Text, false, fLog); })
{
}

void TEmailAlarmSender::QueueAlarmEmail(const TEmailSettings& iSettings, const std::string& iText)
{
  fEMailAlarmThread.Queue({iSettings, iText});
}
