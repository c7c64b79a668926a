#include "notify/CurlEasy.h"

#include <string_view>

TCurlEasy::TCurlEasy()
{
  // Thread-safe in this libcurl build; runs once per process.
  static const CURLcode GlobalInit = curl_global_init(CURL_GLOBAL_DEFAULT);
  if (GlobalInit != CURLE_OK)
    throw ECurlError(curl_easy_strerror(GlobalInit));
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
  TCurlEasy& Self = *static_cast<TCurlEasy*>(iSelf);
  // After STARTTLS the server announces its mechanisms anew.
  if (iType == CURLINFO_HEADER_OUT && std::string_view(iData, iSize).starts_with("EHLO "))
    Self.fAnnouncedAuth.clear();
  if (iType != CURLINFO_HEADER_IN || iSize == 0)
    return 0;
  std::string Reply(iData, iSize);
  while (!Reply.empty() && (Reply.back() == '\n' || Reply.back() == '\r'))
    Reply.pop_back();
  // "250-AUTH PLAIN LOGIN" or the older "250-AUTH=PLAIN LOGIN", as libcurl reads the EHLO reply.
  if (Reply.size() > 9 && Reply.starts_with("250") && (Reply[3] == '-' || Reply[3] == ' ') &&
      Reply.compare(4, 4, "AUTH") == 0 && (Reply[8] == ' ' || Reply[8] == '='))
    Self.fAnnouncedAuth = Reply.substr(9);
  // Keeps the last refusal; a later positive reply means it was overcome, except the "221" that answers the
  // QUIT libcurl sends after a failure.
  std::string& Refusal = Self.fLastRefusal;
  if (Reply.front() == '4' || Reply.front() == '5')
    Refusal = Reply;
  else if (!Reply.starts_with("221"))
    Refusal.clear();
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
  std::string Text = fErrorBuffer[0] ? fErrorBuffer : curl_easy_strerror(iCode);
  if (!fLastRefusal.empty())
    Text += ": " + fLastRefusal;
  if (iCode == CURLE_PEER_FAILED_VERIFICATION && !fCertificateSection.empty())
    Text += " (to accept this server anyway, set \"VerifyCertificate\" to \"off\" in section \"" + fCertificateSection +
            "\")";
  throw ECurlError(Text, iCode);
}
