#include "notify/AlarmEmail.h"

#include "lib/DateTime.h"
#include "lib/Errors.h"
#include "notify/SSLEmail.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace
{

std::string LocalComputerName()
{
  char Name[HOST_NAME_MAX + 1] = {};
  if (gethostname(Name, sizeof(Name) - 1) != 0)
    return {};
  return Name;
}

} // namespace

int EmailPort(const std::string& iPortText)
{
  const char* Start = iPortText.c_str();
  char* End = nullptr;
  errno = 0;
  const long Port = std::strtol(Start, &End, 10);
  if (End == Start || *End != '\0' || errno != 0 || Port < INT_MIN || Port > INT_MAX)
    return 25;
  return static_cast<int>(Port);
}

void SendAlarmEmail(const TEmailSettings& iSettings, const std::string& iText, bool iIsTest, const TLogProc& iLog)
{
  try
  {
    TSSLEmail Email(iSettings.Server, EmailPort(iSettings.Port), iSettings.User, iSettings.Password);
    Email.edSSLConnection = iSettings.Encryption != eeNone;
    Email.edRequireTLS = iSettings.Encryption == eeSTARTTLS;
    Email.edCertificate = iSettings.Certificate;
    Email.edSenderEmail = iSettings.From;
    Email.edToEmail = iSettings.Recipients;
    Email.edSubject = iText;
    Email.edBody = {"Host: " + LocalComputerName(), "Date/Time: " + FormatLogTime(Now())};
    Email.SendEmail();
  }
  catch (const std::exception& Error)
  {
    if (iIsTest)
      throw;
    iLog(Format("Error sending e-mail: %s", Error.what()));
  }
}

void SendTestEmail(const TEmailSettings& iSettings)
{
  SendAlarmEmail(iSettings, "Test from Tapevault", true, {});
}
