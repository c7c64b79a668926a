#pragma once
// One libcurl transfer handle with its error buffer, so that a failure carries libcurl's own explanation.

#include "notify/CertificateCheck.h"

#include <curl/curl.h>
#include <stdexcept>
#include <string>

// A transfer (e-mail or HTTP call) failed; the text is libcurl's.
class ECurlError : public std::runtime_error
{
public:
  explicit ECurlError(const std::string& iText, CURLcode iCode = CURLE_OK) : std::runtime_error(iText), fCode(iCode) {}
  // libcurl's code of the failure; CURLE_OK for one found before libcurl ran.
  CURLcode Code() const { return fCode; }

private:
  CURLcode fCode;
};

class TCurlEasy
{
public:
  TCurlEasy();
  ~TCurlEasy();
  TCurlEasy(const TCurlEasy&) = delete;
  TCurlEasy& operator=(const TCurlEasy&) = delete;

  CURL* Handle() const { return fHandle; }

  template <typename T> void SetOption(CURLoption iOption, T iValue)
  {
    Check(curl_easy_setopt(fHandle, iOption, iValue));
  }
  // Checks the server's certificate and its name as iCheck says. A refused certificate fails with a text that
  // names the key "VerifyCertificate" of iSection, the setting that turns the check off for this client.
  void CheckCertificate(const TCertificateCheck& iCheck, const std::string& iSection);
  // For SMTP: a failure also names the server's refusal ("535 ...", "550 ..."), which libcurl's text leaves out.
  void KeepServerReplies();
  // For SMTP, after a transfer: the SASL mechanisms of the server's last EHLO reply ("PLAIN LOGIN"), empty when
  // it announced none or no EHLO reply came.
  const std::string& AnnouncedAuth() const { return fAnnouncedAuth; }
  // Runs the transfer; throws ECurlError with libcurl's text on failure.
  void Perform();

private:
  static int Debug(CURL* iHandle, curl_infotype iType, char* iData, size_t iSize, void* iSelf);
  void Check(CURLcode iCode) const;

  CURL* fHandle = nullptr;
  char fErrorBuffer[CURL_ERROR_SIZE] = {};
  std::string fLastRefusal;
  std::string fAnnouncedAuth;
  std::string fCertificateSection; // empty while certificates are not checked
};
