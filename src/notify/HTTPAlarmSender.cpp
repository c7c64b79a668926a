#include "notify/HTTPAlarmSender.h"

#include "lib/Errors.h"
#include "notify/HTTPAlarmCall.h"

THTTPAlarmSender::THTTPAlarmSender(TLogProc iLog, TCertificateCheck iCertificateCheck)
    : fLog(std::move(iLog)), fCertificateCheck(std::move(iCertificateCheck)),
      fHTTPAlarmThread("HTTPAlarmThread", [this](const std::string& iURL) { PerformHTTPAlarm(iURL); })
{
}

void THTTPAlarmSender::QueueHTTPAlarm(const std::string& iURL)
{
  if (iURL.empty())
    return;
  fLog(Format("Making alarm call to %s", iURL.c_str()));
  fHTTPAlarmThread.Queue(iURL);
}

void THTTPAlarmSender::PerformHTTPAlarm(const std::string& iURL)
{
  try
  {
    PerformHTTPAlarmCall(iURL, ReadTimeout, fCertificateCheck);
  }
  catch (const std::exception& error)
  {
    fLog(Format("Error executing HTTP alarm call to %s: %s", iURL.c_str(), error.what()));
  }
}
