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
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof(name) - 1) != 0)
    return {};
  return name;
}

} // namespace

int EmailPort(const std::string& iPortText)
{
  const char* start = iPortText.c_str();
  char* end = nullptr;
  errno = 0;
  const long port = std::strtol(start, &end, 10);
  if (end == start || *end != '\0' || errno != 0 || port < INT_MIN || port > INT_MAX)
    return 25;
  return static_cast<int>(port);
}

void SendAlarmEmail(const TEmailSettings& iSettings, const std::string& iText, bool iIsTest, const TLogProc& iLog)
{
  try
  {
    TSSLEmail email(iSettings.Server, EmailPort(iSettings.Port), iSettings.User, iSettings.Password);
    email.edSSLConnection = iSettings.Encryption != eeNone;
    email.edRequireTLS = iSettings.Encryption == eeSTARTTLS;
    email.edCertificate = iSettings.Certificate;
    email.edSenderEmail = iSettings.From;
    email.edToEmail = iSettings.Recipients;
    email.edSubject = iText;
    email.edBody = {"Host: " + LocalComputerName(), "Date/Time: " + FormatLogTime(Now())};
    email.SendEmail();
  }
  catch (const std::exception& error)
  {
    if (iIsTest)
      throw;
    iLog(Format("Error sending e-mail: %s", error.what()));
  }
}

void SendTestEmail(const TEmailSettings& iSettings)
{
  SendAlarmEmail(iSettings, "Test from Tapevault", true, {});
}
