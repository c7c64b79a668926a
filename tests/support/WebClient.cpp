#include "WebClient.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <memory>
#include <strings.h>

namespace
{
size_t AppendBody(char* iData, size_t iSize, size_t iCount, void* iReply)
{
  static_cast<TWebReply*>(iReply)->Body.append(iData, iSize * iCount);
  return iSize * iCount;
}

size_t AppendHeader(char* iData, size_t iSize, size_t iCount, void* iReply)
{
  const std::string line(iData, iSize * iCount);
  const size_t colon = line.find(':');
  if (colon != std::string::npos)
  {
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of("\r\n \t") + 1);
    static_cast<TWebReply*>(iReply)->Headers.emplace_back(line.substr(0, colon), value);
  }
  return iSize * iCount;
}

struct TCurlDeleter
{
  void operator()(CURL* iCurl) const { curl_easy_cleanup(iCurl); }
  void operator()(curl_slist* iList) const { curl_slist_free_all(iList); }
};
} // namespace

std::optional<std::string> TWebReply::Header(const std::string& iName) const
{
  for (const auto& [name, value] : Headers)
    if (strcasecmp(name.c_str(), iName.c_str()) == 0)
      return value;
  return std::nullopt;
}

TWebReply WebFetch(uint16_t iPort, const TWebCall& iCall)
{
  TWebReply reply;
  std::unique_ptr<CURL, TCurlDeleter> curl(curl_easy_init());
  const std::string url = iCall.Scheme + "://" + iCall.Host + ":" + std::to_string(iPort) + iCall.Path;
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, iCall.TimeoutSeconds);
  if (iCall.CAFile)
    curl_easy_setopt(curl.get(), CURLOPT_CAINFO, iCall.CAFile->c_str());
  if (iCall.SourceAddress)
    curl_easy_setopt(curl.get(), CURLOPT_INTERFACE, ("host!" + *iCall.SourceAddress).c_str());
  if (iCall.DecodeGzip)
    curl_easy_setopt(curl.get(), CURLOPT_ACCEPT_ENCODING, "gzip");
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &AppendBody);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &reply);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, &AppendHeader);
  curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &reply);
  if (iCall.Method == "HEAD")
    curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
  else if (iCall.Method != "GET" || iCall.Body)
    curl_easy_setopt(curl.get(), CURLOPT_CUSTOMREQUEST, iCall.Method.c_str());
  if (iCall.Body)
  {
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, iCall.Body->data());
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(iCall.Body->size()));
  }
  if (iCall.Credentials)
  {
    curl_easy_setopt(curl.get(), CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl_easy_setopt(curl.get(), CURLOPT_USERNAME, iCall.Credentials->first.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_PASSWORD, iCall.Credentials->second.c_str());
  }
  std::unique_ptr<curl_slist, TCurlDeleter> headers;
  for (const std::string& header : iCall.Headers)
    headers.reset(curl_slist_append(headers.release(), header.c_str()));
  curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
  const CURLcode result = curl_easy_perform(curl.get());
  reply.Error = result;
  if (!iCall.MayFail)
  {
    EXPECT_EQ(result, CURLE_OK) << curl_easy_strerror(result) << " for " << iCall.Method << " " << url;
  }
  if (result == CURLE_OK)
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply.Status);
  return reply;
}

TWebReply WebGet(uint16_t iPort, const std::string& iPath, std::vector<std::string> iHeaders)
{
  TWebCall call;
  call.Path = iPath;
  call.Headers = std::move(iHeaders);
  return WebFetch(iPort, call);
}

std::string WebEscape(const std::string& iText)
{
  std::string result;
  static const char hex[] = "0123456789ABCDEF";
  for (const unsigned char c : iText)
  {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~')
      result += static_cast<char>(c);
    else
    {
      result += '%';
      result += hex[c >> 4];
      result += hex[c & 15];
    }
  }
  return result;
}
