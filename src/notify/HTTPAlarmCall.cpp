#include "notify/HTTPAlarmCall.h"

#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "notify/CurlEasy.h"

namespace
{

// Connecting is bounded too, so that a dead address cannot hold up the calls queued behind it for minutes.
constexpr long ConnectTimeoutSeconds = 10;
constexpr long MaxRedirects = 5;

size_t DiscardAnswer(char*, size_t iSize, size_t iCount, void*)
{
  return iSize * iCount;
}

} // namespace

const std::string& HTTPAlarmUserAgent()
{
  static const std::string userAgent = []
  {
    TProgramVersion version;
    if (!ProgramVersion(version))
      return Format("Mozilla/5.0 (compatible; %s)", "Tapevault");
    return Format("Mozilla/5.0 (compatible; %s/%d.%d.%d.%d)", "Tapevault", version.Major, version.Minor,
                  version.Release, version.Build);
  }();
  return userAgent;
}

void PerformHTTPAlarmCall(const std::string& iURL, unsigned iReadTimeout, const TCertificateCheck& iCertificateCheck)
{
  TCurlEasy curl;
  curl.SetOption(CURLOPT_URL, iURL.c_str());
  // Only web addresses: an alarm URL must never read local files or speak other protocols.
  curl.SetOption(CURLOPT_DEFAULT_PROTOCOL, "http");
  curl.SetOption(CURLOPT_PROTOCOLS_STR, "http,https");
  curl.SetOption(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl.SetOption(CURLOPT_FOLLOWLOCATION, 1L);
  curl.SetOption(CURLOPT_MAXREDIRS, MaxRedirects);
  curl.SetOption(CURLOPT_USERAGENT, HTTPAlarmUserAgent().c_str());
  curl.SetOption(CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
  // A read time-out: less than one byte per second over the whole period ends the call.
  curl.SetOption(CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl.SetOption(CURLOPT_LOW_SPEED_TIME, static_cast<long>((iReadTimeout + 999) / 1000));
  curl.SetOption(CURLOPT_SSLVERSION,
                 static_cast<long>(CURL_SSLVERSION_TLSv1) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
  curl.CheckCertificate(iCertificateCheck, "HTTPAlarms");
  // Credentials of the URL's user-info are sent only when the server asks for them.
  curl.SetOption(CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
  curl.SetOption(CURLOPT_FAILONERROR, 1L);
  curl.SetOption(CURLOPT_WRITEFUNCTION, DiscardAnswer);
  curl.Perform();
}
