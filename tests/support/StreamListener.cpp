#include "StreamListener.h"

#include "ProcessLauncher.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <strings.h>
#include <unistd.h>

namespace
{
struct TTransfer
{
  TStreamCapture Capture;
  size_t Wanted = 0;
  std::string Body;

  // Splits Body into audio and metadata blocks as far as it is complete.
  void Split()
  {
    if (Capture.MetaInterval <= 0)
    {
      Capture.Audio += Body;
      Body.clear();
      return;
    }
    const size_t interval = static_cast<size_t>(Capture.MetaInterval);
    for (;;)
    {
      if (Body.size() <= interval)
        return;
      const size_t length = static_cast<unsigned char>(Body[interval]) * 16u;
      if (Body.size() < interval + 1 + length)
        return;
      Capture.Audio.append(Body, 0, interval);
      std::string block = Body.substr(interval + 1, length);
      block.erase(block.find_last_not_of('\0') + 1);
      if (!block.empty())
        Capture.Metadata.push_back(block);
      Body.erase(0, interval + 1 + length);
    }
  }
};

size_t OnHeader(char* iData, size_t iSize, size_t iCount, void* iTransfer)
{
  auto& transfer = *static_cast<TTransfer*>(iTransfer);
  const std::string line(iData, iSize * iCount);
  const size_t colon = line.find(':');
  if (colon != std::string::npos)
  {
    const std::string name = line.substr(0, colon);
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t\r\n") + 1);
    std::string lowerName = name;
    for (char& c : lowerName)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    transfer.Capture.Headers[lowerName] = value;
    if (strcasecmp(name.c_str(), "icy-metaint") == 0)
      transfer.Capture.MetaInterval = std::atol(value.c_str());
    if (strcasecmp(name.c_str(), "content-type") == 0)
      transfer.Capture.ContentType = value;
    if (strcasecmp(name.c_str(), "transfer-encoding") == 0)
      transfer.Capture.Chunked = strcasecmp(value.c_str(), "chunked") == 0;
  }
  return iSize * iCount;
}

size_t OnBody(char* iData, size_t iSize, size_t iCount, void* iTransfer)
{
  auto& transfer = *static_cast<TTransfer*>(iTransfer);
  transfer.Body.append(iData, iSize * iCount);
  transfer.Split();
  // Returning less than given ends the transfer: enough came.
  return transfer.Capture.Audio.size() >= transfer.Wanted ? 0 : iSize * iCount;
}
} // namespace

TStreamCapture ListenToStream(const std::string& iURL, size_t iAudioBytes, bool iWantTitles,
                              std::chrono::milliseconds iTimeout)
{
  TTransfer transfer;
  transfer.Wanted = iAudioBytes;
  CURL* curl = curl_easy_init();
  curl_slist* headers = nullptr;
  if (iWantTitles)
    headers = curl_slist_append(headers, "Icy-MetaData: 1");
  curl_easy_setopt(curl, CURLOPT_URL, iURL.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(iTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &transfer.Capture.Status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return transfer.Capture;
}

std::vector<float> DecodeToMono(const std::string& iEncoded)
{
  char folderTemplate[] = "/tmp/tapevault-decode-XXXXXX";
  if (!mkdtemp(folderTemplate))
    return {};
  const std::string folder = folderTemplate;
  std::ofstream(folder + "/in", std::ios::binary) << iEncoded;
  std::string output;
  const int result = RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", folder + "/in", "-af",
                                 "pan=mono|c0=c0", "-ar", "44100", "-f", "f32le", folder + "/out.raw"},
                                {}, output, 20000);
  std::vector<float> samples;
  if (result == 0)
  {
    std::ifstream file(folder + "/out.raw", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    samples.resize(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return samples;
}
