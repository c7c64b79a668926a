#include "audio/engine/CastSender.h"

#include "audio/engine/CastAddress.h"
#include "audio/engine/CastTitle.h"
#include "audio/engine/Encoder.h"
#include "audio/engine/IcyText.h"
#include "audio/engine/OggPageTracker.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <mutex>
#include <shout/shout.h>
#include <strings.h>
#include <vector>

namespace
{

// What libshout may hold unsent before the stream's new data is dropped: about 16 s at 128 kbit/s.
constexpr ssize_t kMaxQueuedBytes = 256 * 1024;
// A server that takes nothing for this long while data waits counts as lost.
constexpr auto kStallLimit = std::chrono::seconds(20);
// Read size from the encoder's output, and how long one read waits.
constexpr size_t kReadBytes = 16 * 1024;
constexpr int kReadWaitMilliseconds = 100;
constexpr int kFlushWaitMilliseconds = 10;
// Ogg titles wait until the stream's headers and this many audio pages have left: Icecast takes the pages in on
// a thread of its own, and a title that overtakes the headers there costs the mount.
constexpr uint64_t kAudioPagesBeforeTitles = 2;
// Polling interval while a non-blocking connection is made (libshout offers no descriptor to wait on).
constexpr auto kConnectPoll = std::chrono::milliseconds(5);

// libshout 2.4.6 frees nothing of a handle once it was closed (shout_free gives up when there is no
// connection), so closed handles are kept here and configured afresh for the next connection instead of
// leaking one per connection attempt.
class THandlePool
{
public:
  static THandlePool& Instance()
  {
    static THandlePool* pool = new THandlePool; // never destroyed: senders may close after exit handlers ran
    return *pool;
  }
  shout_t* Take()
  {
    std::lock_guard lock(fLock);
    if (fFree.empty())
      return shout_new();
    shout_t* handle = fFree.back();
    fFree.pop_back();
    return handle;
  }
  void Give(shout_t* iHandle)
  {
    std::lock_guard lock(fLock);
    fFree.push_back(iHandle);
  }

private:
  THandlePool() { shout_init(); }
  std::mutex fLock;
  std::vector<shout_t*> fFree;
};

int EngineErrorOf(int iShoutError)
{
  switch (iShoutError)
  {
  case SHOUTERR_NOLOGIN:
    return ecCastDenied;
  case SHOUTERR_NOCONNECT:
  case SHOUTERR_SOCKET:
    return ecNoNet;
  case SHOUTERR_MALLOC:
    return ecMemory;
  case SHOUTERR_UNSUPPORTED:
    return ecFileForm;
  case SHOUTERR_INSANE:
    return ecIllegalParam;
  default:
    return ecUnknown;
  }
}

// libshout's container format for a content type; false for types it cannot send.
bool ShoutFormatOf(const std::string& iContent, unsigned& oFormat)
{
  struct TEntry
  {
    const char* Content;
    unsigned Format;
  };
  static constexpr TEntry table[] = {
      {"", SHOUT_FORMAT_MP3},
      {"audio/mpeg", SHOUT_FORMAT_MP3},
      {"audio/mp3", SHOUT_FORMAT_MP3},
      {"audio/ogg", SHOUT_FORMAT_OGG},
      {"application/ogg", SHOUT_FORMAT_OGG},
      {"audio/webm", SHOUT_FORMAT_WEBM},
      {"audio/x-matroska", SHOUT_FORMAT_MATROSKA},
  };
  for (const TEntry& entry : table)
    if (strcasecmp(iContent.c_str(), entry.Content) == 0)
    {
      oFormat = entry.Format;
      return true;
    }
  return false;
}

std::string Trimmed(const std::string& iText)
{
  const size_t first = iText.find_first_not_of(" \t");
  if (first == std::string::npos)
    return std::string();
  return iText.substr(first, iText.find_last_not_of(" \t") - first + 1);
}

void Check(int iShoutResult)
{
  if (iShoutResult != SHOUTERR_SUCCESS)
    throw TEncoderError(EngineErrorOf(iShoutResult), "Invalid cast setting");
}

// The "icy-aim:", "icy-irc:" and "icy-icq:" lines become libshout's stream meta data, which it sends as icy-
// headers; libshout takes no other names. Each is set, empty when missing, as a reused handle may hold old ones.
void SetHeaders(shout_t* iShout, const std::string& iHeaders)
{
  const char* names[] = {SHOUT_META_AIM, SHOUT_META_IRC, SHOUT_META_ICQ};
  std::string values[std::size(names)];
  size_t start = 0;
  while (start < iHeaders.size())
  {
    size_t end = iHeaders.find('\n', start);
    if (end == std::string::npos)
      end = iHeaders.size();
    std::string line = iHeaders.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    const size_t colon = line.find(':');
    if (colon == std::string::npos)
      continue;
    const std::string name = Trimmed(line.substr(0, colon));
    const std::string value = Trimmed(line.substr(colon + 1));
    for (size_t index = 0; index < std::size(names); ++index)
      if (strcasecmp(name.c_str(), (std::string("icy-") + names[index]).c_str()) == 0)
        values[index] = OneLineText(value);
  }
  for (size_t index = 0; index < std::size(names); ++index)
    Check(shout_set_meta(iShout, names[index], values[index].c_str()));
}

} // namespace

struct TCastSender::TShout
{
  shout_t* Handle = THandlePool::Instance().Take();
  ~TShout()
  {
    if (!Handle)
      return;
    // Closing drops the connection with whatever libshout still queued for it.
    const int result = shout_close(Handle);
    static_cast<void>(result);
    THandlePool::Instance().Give(Handle);
  }
};

std::unique_ptr<TCastSender> TCastSender::Connect(const TCastSettings& iSettings, int iTimeoutMilliseconds,
                                                  TReadOutput iRead, std::function<void()> iOnLost)
{
  const std::optional<TCastAddress> address = ParseCastAddress(iSettings.Server);
  if (!address)
    throw TEncoderError(ecIllegalParam, "Invalid cast server address");
  unsigned format = 0;
  const TStreamInfo& info = iSettings.Info;
  if (!ShoutFormatOf(info.Content, format))
    throw TEncoderError(ecFileForm, "libshout cannot send this content type");
  auto shout = std::make_unique<TShout>();
  if (!shout->Handle)
    throw TEncoderError(ecMemory, "Not enough memory for the cast");
  shout_t* handle = shout->Handle;
  Check(shout_set_host(handle, address->Host.c_str()));
  Check(shout_set_port(handle, address->Port));
  Check(shout_set_tls(handle, SHOUT_TLS_DISABLED));
  Check(shout_set_content_format(handle, format, SHOUT_USAGE_AUDIO, nullptr));
  Check(shout_set_nonblocking(handle, SHOUT_BLOCKING_NONE));
  if (address->Protocol == TCastAddress::cpIcecast)
  {
    Check(shout_set_protocol(handle, SHOUT_PROTOCOL_HTTP));
    Check(shout_set_mount(handle, address->Mount.c_str()));
    Check(shout_set_password(handle, iSettings.Password.c_str()));
  }
  else
  {
    Check(shout_set_protocol(handle, SHOUT_PROTOCOL_ICY));
    const std::string password = CastSourcePassword(*address, iSettings.Password);
    Check(shout_set_password(handle, password.c_str()));
  }
  Check(shout_set_user(handle, "source"));
  const std::pair<const char*, const std::string*> metas[] = {{SHOUT_META_NAME, &info.Name},
                                                              {SHOUT_META_URL, &info.URL},
                                                              {SHOUT_META_GENRE, &info.Genre},
                                                              {SHOUT_META_DESCRIPTION, &info.Description}};
  // They travel as request headers: one line each.
  for (const auto& [name, value] : metas)
    Check(shout_set_meta(handle, name, OneLineText(*value).c_str()));
  SetHeaders(handle, info.Headers);
  Check(shout_set_audio_info(handle, SHOUT_AI_BITRATE, std::to_string(info.Bitrate).c_str()));
  Check(shout_set_public(handle, info.Public ? 1 : 0));

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iTimeoutMilliseconds);
  int result = shout_open(handle);
  while (result == SHOUTERR_BUSY || result == SHOUTERR_RETRY)
  {
    if (std::chrono::steady_clock::now() >= deadline)
      throw TEncoderError(ecTimeout, "The cast server did not answer in time");
    std::this_thread::sleep_for(kConnectPoll);
    result = shout_get_connected(handle);
  }
  if (result != SHOUTERR_SUCCESS && result != SHOUTERR_CONNECTED)
    throw TEncoderError(EngineErrorOf(result), shout_get_error(handle));
  const bool ogg = format == SHOUT_FORMAT_OGG;
  auto title = std::make_unique<TCastTitle>(*address, iSettings.Password, ogg);
  return std::unique_ptr<TCastSender>(
      new TCastSender(std::move(shout), std::move(title), ogg, std::move(iRead), std::move(iOnLost)));
}

TCastSender::TCastSender(std::unique_ptr<TShout> iShout, std::unique_ptr<TCastTitle> iTitle, bool iOgg,
                         TReadOutput iRead, std::function<void()> iOnLost)
    : fShout(std::move(iShout)), fTitle(std::move(iTitle)), fOgg(iOgg), fRead(std::move(iRead)),
      fOnLost(std::move(iOnLost))
{
  fThread = std::thread([this] { Run(); });
}

TCastSender::~TCastSender()
{
  fStopping.store(true, std::memory_order_release);
  if (fThread.joinable())
    fThread.join();
}

void TCastSender::SetTitle(const std::string& iTitle, const std::string& iURL)
{
  fTitle->Set(iTitle, iURL);
}

void TCastSender::Run()
{
  shout_t* handle = fShout->Handle;
  std::vector<unsigned char> buffer(kReadBytes);
  ssize_t lastQueued = 0;
  auto lastProgress = std::chrono::steady_clock::now();
  bool lost = false;
  // An Ogg stream's pages until titles may go, the bytes handed to libshout so far, and how many of them must
  // have left before (0 while not known yet).
  std::unique_ptr<TOggPageTracker> ogg = fOgg ? std::make_unique<TOggPageTracker>() : nullptr;
  uint64_t handed = 0;
  uint64_t titlesFrom = 0;
  while (!fStopping.load(std::memory_order_acquire))
  {
    if (ogg && titlesFrom == 0 && ogg->AudioPages() >= kAudioPagesBeforeTitles)
      titlesFrom = ogg->PagesEnd();
    if (titlesFrom > 0 && handed - static_cast<uint64_t>(std::max<ssize_t>(shout_queuelen(handle), 0)) >= titlesFrom)
    {
      fTitle->Release();
      ogg.reset();
      titlesFrom = 0;
    }
    const ssize_t queued = shout_queuelen(handle);
    const auto now = std::chrono::steady_clock::now();
    if (queued <= 0 || queued < lastQueued)
      lastProgress = now;
    else if (now - lastProgress > kStallLimit)
    {
      lost = true;
      break;
    }
    lastQueued = queued;
    const int64_t count =
        fRead(buffer.data(), buffer.size(), queued > 0 ? kFlushWaitMilliseconds : kReadWaitMilliseconds);
    if (count < 0)
      break; // the encoder's program ended: nothing more to send
    int result = SHOUTERR_SUCCESS;
    if (count > 0 && queued < kMaxQueuedBytes)
    {
      result = shout_send(handle, buffer.data(), static_cast<size_t>(count));
      if (ogg)
      {
        ogg->Append(buffer.data(), static_cast<size_t>(count));
        handed += static_cast<uint64_t>(count);
      }
    }
    else
    {
      if (count > 0)
        fDroppedBytes.fetch_add(static_cast<uint64_t>(count), std::memory_order_relaxed);
      if (queued > 0)
        result = shout_send(handle, nullptr, 0);
    }
    if (result != SHOUTERR_SUCCESS && result != SHOUTERR_BUSY && result != SHOUTERR_RETRY)
    {
      lost = true;
      break;
    }
  }
  if (lost && !fStopping.load(std::memory_order_acquire) && fOnLost)
    fOnLost();
}
