#include "audio/engine/CastTitle.h"

#include "audio/engine/IcyText.h"

#include <curl/curl.h>
#include <memory>

namespace
{
// How long one title request may take.
constexpr long kRequestTimeoutMilliseconds = 5000;

void InitCurl()
{
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TCurlDeleter
{
  void operator()(CURL* iCurl) const { curl_easy_cleanup(iCurl); }
};

std::string Escaped(CURL* iCurl, const std::string& iText)
{
  char* escaped = curl_easy_escape(iCurl, iText.data(), static_cast<int>(iText.size()));
  if (!escaped)
    return std::string();
  std::string result(escaped);
  curl_free(escaped);
  return result;
}

size_t DiscardBody(char*, size_t iSize, size_t iCount, void*)
{
  return iSize * iCount;
}

int CancelWhenStopping(void* iStopping, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
  return static_cast<const std::atomic<bool>*>(iStopping)->load(std::memory_order_acquire) ? 1 : 0;
}
} // namespace

TCastTitle::TCastTitle(const TCastAddress& iAddress, const std::string& iPassword, bool iHeld)
    : fAddress(iAddress), fPassword(iPassword), fHeld(iHeld)
{
  InitCurl();
  fThread = std::thread([this] { Run(); });
}

TCastTitle::~TCastTitle()
{
  {
    std::lock_guard lock(fLock);
    fStopping.store(true, std::memory_order_release);
  }
  fWake.notify_all();
  fThread.join();
}

void TCastTitle::Set(const std::string& iTitle, const std::string& iURL)
{
  // The server puts them into its listeners' StreamTitle='...'; fields as they are.
  std::string title = IcyFieldValue(iTitle);
  std::string url = IcyFieldValue(iURL);
  {
    std::lock_guard lock(fLock);
    fTitle = std::move(title);
    fURL = std::move(url);
    fPending = true;
  }
  fWake.notify_all();
}

void TCastTitle::Release()
{
  {
    std::lock_guard lock(fLock);
    fHeld = false;
  }
  fWake.notify_all();
}

void TCastTitle::Run()
{
  std::unique_lock lock(fLock);
  for (;;)
  {
    fWake.wait(lock, [this] { return (fPending && !fHeld) || fStopping.load(std::memory_order_acquire); });
    if (fStopping.load(std::memory_order_acquire))
      return;
    fPending = false;
    const std::string title = fTitle;
    const std::string url = fURL;
    lock.unlock();
    Send(title, url);
    lock.lock();
  }
}

void TCastTitle::Send(const std::string& iTitle, const std::string& iURL) const
{
  std::unique_ptr<CURL, TCurlDeleter> curl(curl_easy_init());
  if (!curl)
    return;
  CURL* handle = curl.get();
  const std::string host = fAddress.Host.find(':') != std::string::npos ? "[" + fAddress.Host + "]" : fAddress.Host;
  std::string target = "http://" + host + ":" + std::to_string(fAddress.Port);
  if (fAddress.Protocol == TCastAddress::cpIcecast)
  {
    target += "/admin/metadata?mode=updinfo&charset=UTF-8&mount=" + Escaped(handle, fAddress.Mount) +
              "&song=" + Escaped(handle, iTitle);
    curl_easy_setopt(handle, CURLOPT_USERNAME, "source");
    curl_easy_setopt(handle, CURLOPT_PASSWORD, fPassword.c_str());
  }
  else
  {
    // Shoutcast servers answer admin.cgi only to browsers.
    target += "/admin.cgi?mode=updinfo&pass=" + Escaped(handle, fPassword) + "&song=" + Escaped(handle, iTitle);
    if (!fAddress.StreamID.empty())
      target += "&sid=" + Escaped(handle, fAddress.StreamID);
    if (!iURL.empty())
      target += "&url=" + Escaped(handle, iURL);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "Mozilla/5.0 (compatible; Tapevault)");
  }
  curl_easy_setopt(handle, CURLOPT_URL, target.c_str());
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DiscardBody);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, kRequestTimeoutMilliseconds);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &CancelWhenStopping);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &fStopping);
  // A refused or lost title leaves the stream itself alone; the next title tries again.
  curl_easy_perform(handle);
}
