#include "notify/CurlEasy.h"

#include <string_view>

TCurlEasy::TCurlEasy()
{
  // Thread-safe in this libcurl build; runs once per process.
  static const CURLcode globalInit = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (globalInit != CURLE_OK)
    throw ECurlError(curl_easy_strerror(globalInit));
  fHandle = curl_easy_init();
  if (!fHandle)
    throw ECurlError("Cannot create a libcurl handle");
  Check(curl_easy_setopt(fHandle, CURLOPT_ERRORBUFFER, fErrorBuffer));
  // Worker threads must not get signals from name lookups.
  Check(curl_easy_setopt(fHandle, CURLOPT_NOSIGNAL, 1L));
}

TCurlEasy::~TCurlEasy()
{
  curl_easy_cleanup(fHandle);
}

void TCurlEasy::CheckCertificate(const TCertificateCheck& iCheck, const std::string& iSection)
{
  Check(curl_easy_setopt(fHandle, CURLOPT_SSL_VERIFYPEER, iCheck.Verify ? 1L : 0L));
  Check(curl_easy_setopt(fHandle, CURLOPT_SSL_VERIFYHOST, iCheck.Verify ? 2L : 0L));
  if (!iCheck.CAFile.empty())
    Check(curl_easy_setopt(fHandle, CURLOPT_CAINFO, iCheck.CAFile.c_str()));
  fCertificateSection = iCheck.Verify ? iSection : std::string();
}

void TCurlEasy::KeepServerReplies()
{
  Check(curl_easy_setopt(fHandle, CURLOPT_DEBUGFUNCTION, Debug));
  Check(curl_easy_setopt(fHandle, CURLOPT_DEBUGDATA, this));
  Check(curl_easy_setopt(fHandle, CURLOPT_VERBOSE, 1L));
}

int TCurlEasy::Debug(CURL*, curl_infotype iType, char* iData, size_t iSize, void* iSelf)
{
  TCurlEasy& self = *static_cast<TCurlEasy*>(iSelf);
  // After STARTTLS the server announces its mechanisms anew.
  if (iType == CURLINFO_HEADER_OUT && std::string_view(iData, iSize).starts_with("EHLO "))
    self.fAnnouncedAuth.clear();
  if (iType != CURLINFO_HEADER_IN || iSize == 0)
    return 0;
  std::string reply(iData, iSize);
  while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r'))
    reply.pop_back();
  // "250-AUTH PLAIN LOGIN" or the older "250-AUTH=PLAIN LOGIN", as libcurl reads the EHLO reply.
  if (reply.size() > 9 && reply.starts_with("250") && (reply[3] == '-' || reply[3] == ' ') &&
      reply.compare(4, 4, "AUTH") == 0 && (reply[8] == ' ' || reply[8] == '='))
    self.fAnnouncedAuth = reply.substr(9);
  // Keeps the last refusal; a later positive reply means it was overcome, except the "221" that answers the
  // QUIT libcurl sends after a failure.
  std::string& refusal = self.fLastRefusal;
  if (reply.front() == '4' || reply.front() == '5')
    refusal = reply;
  else if (!reply.starts_with("221"))
    refusal.clear();
  return 0;
}

void TCurlEasy::Perform()
{
  fErrorBuffer[0] = '\0';
  fLastRefusal.clear();
  fAnnouncedAuth.clear();
  Check(curl_easy_perform(fHandle));
}

void TCurlEasy::Check(CURLcode iCode) const
{
  if (iCode == CURLE_OK)
    return;
  std::string text = fErrorBuffer[0] ? fErrorBuffer : curl_easy_strerror(iCode);
  if (!fLastRefusal.empty())
    text += ": " + fLastRefusal;
  if (iCode == CURLE_PEER_FAILED_VERIFICATION && !fCertificateSection.empty())
    text += " (to accept this server anyway, set \"VerifyCertificate\" to \"off\" in section \"" + fCertificateSection +
            "\")";
  throw ECurlError(text, iCode);
}
