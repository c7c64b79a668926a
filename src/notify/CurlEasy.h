#pragma once
// One libcurl transfer handle with its error buffer, so that a failure carries libcurl's own explanation.

#include <curl/curl.h>
#include <stdexcept>
#include <string>

// A transfer (e-mail or HTTP call) failed; the text is libcurl's.
class ECurlError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
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
  // For SMTP: a failure also names the server's refusal ("535 ...", "550 ..."), which libcurl's text leaves out.
  void KeepServerReplies();
  // Runs the transfer; throws ECurlError with libcurl's text on failure.
  void Perform();

private:
  static int Debug(CURL* iHandle, curl_infotype iType, char* iData, size_t iSize, void* iSelf);
  void Check(CURLcode iCode) const;

  CURL* fHandle = nullptr;
  char fErrorBuffer[CURL_ERROR_SIZE] = {};
  std::string fLastRefusal;
};
