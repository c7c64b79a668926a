#include "audio/engine/StreamServer.h"

#include "audio/engine/Encoder.h"
#include "audio/engine/IcyText.h"
#include "audio/engine/OggPageTracker.h"
#include "lib/ServerBinding.h"
#include "lib/TapevaultTools.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <stdexcept>
#include <strings.h>
#include <sys/socket.h>

namespace
{

constexpr size_t kFeedBytes = 16 * 1024;
constexpr int kFeedWaitMilliseconds = 200;
// Bytes handed to libmicrohttpd per read of a listener.
constexpr size_t kListenerBlock = 8 * 1024;
// A listener whose socket takes nothing for this long is closed by libmicrohttpd.
constexpr unsigned kListenerTimeoutSeconds = 10;
// The kernel's send buffer of a listener's socket (it doubles it). Left to itself it grows to megabytes on
// loopback and fast links, and a listener that reads nothing would then be noticed behind only minutes later;
// this is still a second of a 128 kbit/s stream, plenty for a distant listener.
constexpr int kListenerSendBuffer = 16 * 1024;

// The client's address without its port: the key of the per-address cap.
std::string AddressOf(MHD_Connection* iConnection)
{
  const MHD_ConnectionInfo* info = MHD_get_connection_info(iConnection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (!info || !info->client_addr)
    return std::string();
  const sockaddr* address = info->client_addr;
  if (address->sa_family == AF_INET)
  {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    return std::string(reinterpret_cast<const char*>(&v4->sin_addr), sizeof(v4->sin_addr));
  }
  if (address->sa_family == AF_INET6)
  {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    return std::string(reinterpret_cast<const char*>(&v6->sin6_addr), sizeof(v6->sin6_addr));
  }
  return std::string();
}

int SocketOf(MHD_Connection* iConnection)
{
  const MHD_ConnectionInfo* info = MHD_get_connection_info(iConnection, MHD_CONNECTION_INFO_CONNECTION_FD);
  return info ? info->connect_fd : -1;
}

MHD_Result Refuse(MHD_Connection* iConnection, unsigned iStatus, const char* iText)
{
  MHD_Response* refusal =
      MHD_create_response_from_buffer(std::strlen(iText), const_cast<char*>(iText), MHD_RESPMEM_PERSISTENT);
  if (!refusal)
    return MHD_NO;
  MHD_add_response_header(refusal, MHD_HTTP_HEADER_CONNECTION, "close");
  const MHD_Result result = MHD_queue_response(iConnection, iStatus, refusal);
  MHD_destroy_response(refusal);
  return result;
}

} // namespace

struct TStreamServer::TListener
{
  TStreamServer* Server = nullptr;
  MHD_Connection* Connection = nullptr;
  int Socket = -1;
  std::string Address;
  uint64_t Position = 0;
  bool Suspended = false; // waiting for the feeder's next bytes
  bool Dropped = false;   // fell behind; its socket is shut down
  bool WantsMeta = false;
  uint32_t UntilMeta = kMetaInterval;
  uint64_t MetaVersionSent = 0;
  std::string MetaBlock; // the block being sent, from MetaSent on
  size_t MetaSent = 0;
  std::string Prefix; // sent before the stream's bytes, from PrefixSent on
  size_t PrefixSent = 0;
};

struct TStreamServerCallbacks
{
  static MHD_Result Request(void* iServer, MHD_Connection* iConnection, const char*, const char* iMethod, const char*,
                            const char*, size_t*, void**)
  {
    auto* server = static_cast<TStreamServer*>(iServer);
    if (std::strcmp(iMethod, "GET") != 0 && std::strcmp(iMethod, "HEAD") != 0)
      return Refuse(iConnection, MHD_HTTP_METHOD_NOT_ALLOWED, "Method not allowed");
    if (server->WaitForStreamStart(iConnection))
      return MHD_YES; // called again once resumed
    auto listener = std::make_unique<TStreamServer::TListener>();
    listener->Server = server;
    listener->Connection = iConnection;
    listener->Socket = SocketOf(iConnection);
    listener->Address = AddressOf(iConnection);
    const char* metaRequest = MHD_lookup_connection_value(iConnection, MHD_HEADER_KIND, "Icy-MetaData");
    const bool asksForMeta = metaRequest && std::strcmp(metaRequest, "1") == 0;
    if (!server->AddListener(listener.get()))
      return Refuse(iConnection, MHD_HTTP_SERVICE_UNAVAILABLE, "Too many listeners");
    listener->WantsMeta = server->fSendTitles && asksForMeta && server->IcyAllowed();
    MHD_Response* response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kListenerBlock, &Read, listener.get(), &Free);
    if (!response)
    {
      server->ListenerLeft(listener.get());
      return MHD_NO;
    }
    TStreamServer::TListener* owned = listener.release();
    // The audio as it comes, up to the closing of the connection: players of live streams expect no chunks.
    MHD_set_response_options(response, MHD_RF_HTTP_1_0_COMPATIBLE_STRICT, MHD_RO_END);
    server->AddStreamHeaders(response);
    if (owned->WantsMeta)
      MHD_add_response_header(response, "icy-metaint", std::to_string(TStreamServer::kMetaInterval).c_str());
    // From here on the socket may wait for a slow reader longer than for a request.
    MHD_set_connection_option(iConnection, MHD_CONNECTION_OPTION_TIMEOUT, kListenerTimeoutSeconds);
    setsockopt(owned->Socket, SOL_SOCKET, SO_SNDBUF, &kListenerSendBuffer, sizeof(kListenerSendBuffer));
    const MHD_Result result = MHD_queue_response(iConnection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return result;
  }

  static ssize_t Read(void* iListener, uint64_t, char* oBuffer, size_t iMax)
  {
    auto* listener = static_cast<TStreamServer::TListener*>(iListener);
    return listener->Server->ReadFor(*listener, oBuffer, iMax);
  }

  static void Free(void* iListener)
  {
    auto* listener = static_cast<TStreamServer::TListener*>(iListener);
    listener->Server->ListenerLeft(listener);
    delete listener;
  }
};

std::unique_ptr<TStreamServer> TStreamServer::Start(const std::string& iAddress, uint32_t iBuffer, uint32_t iBurst,
                                                    bool iSendTitles, const TStreamInfo& iInfo, TReadOutput iRead)
{
  uint16_t defaultPort = 0;
  TServerBinding binding;
  try
  {
    if (iAddress.find(':') == std::string::npos && DigitsToInt(iAddress) < 0)
      throw std::runtime_error("Invalid port " + iAddress);
    binding = ServerBindingFromText(iAddress, defaultPort);
  }
  catch (const std::runtime_error& e)
  {
    throw TEncoderError(ecIllegalParam, e.what());
  }
  TFileHandle socket;
  uint16_t port = 0;
  try
  {
    socket = OpenListenSocket(binding, port);
  }
  catch (const std::runtime_error& e)
  {
    throw TEncoderError(ecInit, e.what());
  }
  // The polling thread accepts until nothing is left: the socket must not block it.
  fcntl(socket.Get(), F_SETFL, fcntl(socket.Get(), F_GETFL) | O_NONBLOCK);
  std::unique_ptr<TStreamServer> server(
      new TStreamServer(std::max<uint32_t>(iBuffer, 1), iBurst, iSendTitles, iInfo, std::move(iRead)));
  server->fPort = port;
  server->fDaemon =
      MHD_start_daemon(MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME, 0, nullptr, nullptr,
                       &TStreamServerCallbacks::Request, server.get(), MHD_OPTION_LISTEN_SOCKET, socket.Get(),
                       MHD_OPTION_CONNECTION_TIMEOUT, kRequestTimeoutSeconds, MHD_OPTION_CONNECTION_LIMIT,
                       kMaxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, kMaxConnectionsPerAddress, MHD_OPTION_END);
  if (!server->fDaemon)
    throw TEncoderError(ecInit, "The stream server could not start");
  socket.Release(); // the daemon closes it
  server->fFeeder = std::thread([raw = server.get()] { raw->Feed(); });
  return server;
}

TStreamServer::TStreamServer(uint32_t iBuffer, uint32_t iBurst, bool iSendTitles, const TStreamInfo& iInfo,
                             TReadOutput iRead)
    : fBuffer(iBuffer), fBurst(std::min(iBurst, iBuffer)), fSendTitles(iSendTitles), fInfo(iInfo),
      fRead(std::move(iRead)), fRing(iBuffer)
{
  // Reserved, so that taking a listener or waking them never allocates under the lock.
  fListeners.reserve(kMaxListeners);
  fWaiting.reserve(kMaxConnections);
  fResuming.reserve(kMaxListeners + kMaxConnections);
}

TStreamServer::~TStreamServer()
{
  {
    std::lock_guard lock(fLock);
    fStopping = true;
  }
  if (fFeeder.joinable())
    fFeeder.join();
  if (!fDaemon)
    return;
  // libmicrohttpd must not stop with suspended connections; resumed, they read the end of the stream.
  {
    std::lock_guard lock(fLock);
    ListenersAfterFeed();
  }
  for (MHD_Connection* connection : fResuming)
    MHD_resume_connection(connection);
  MHD_stop_daemon(fDaemon);
}

void TStreamServer::SetTitle(const std::string& iTitle, const std::string& iURL)
{
  std::string text = IcyMetadata(iTitle, iURL);
  std::lock_guard lock(fLock);
  fMeta.swap(text);
  ++fMetaVersion;
}

uint32_t TStreamServer::ListenerCount() const
{
  std::lock_guard lock(fLock);
  return static_cast<uint32_t>(fListeners.size());
}

uint64_t TStreamServer::DroppedListeners() const
{
  std::lock_guard lock(fLock);
  return fDropped;
}

bool TStreamServer::WaitForStreamStart(MHD_Connection* iConnection)
{
  std::lock_guard lock(fLock);
  if (fHead.size() >= 4 || fEnded || fStopping)
    return false;
  fWaiting.push_back(iConnection);
  MHD_suspend_connection(iConnection);
  return true;
}

bool TStreamServer::AddListener(TListener* iListener)
{
  std::lock_guard lock(fLock);
  const auto fromAddress =
      std::count_if(fListeners.begin(), fListeners.end(),
                    [&](const TListener* iOther) { return iOther->Address == iListener->Address; });
  if (fListeners.size() >= kMaxListeners || fromAddress >= kMaxListenersPerAddress)
    return false;
  PlaceListener(*iListener);
  fListeners.push_back(iListener);
  return true;
}

void TStreamServer::ListenerLeft(TListener* iListener)
{
  std::lock_guard lock(fLock);
  const auto found = std::find(fListeners.begin(), fListeners.end(), iListener);
  if (found != fListeners.end())
    fListeners.erase(found);
}

std::string TStreamServer::ContentType() const
{
  if (!fInfo.Content.empty())
    return fInfo.Content;
  const auto head = reinterpret_cast<const unsigned char*>(fHead.data());
  if (fHead.size() >= 4 && fHead.compare(0, 4, "OggS") == 0)
    return "audio/ogg";
  if (fHead.size() >= 4 && fHead.compare(0, 4, "fLaC") == 0)
    return "audio/flac";
  if (fHead.size() >= 2 && head[0] == 0xFF && (head[1] & 0xF6) == 0xF0)
    return "audio/aac"; // ADTS: MPEG sync word with layer 0
  return "audio/mpeg";
}

bool TStreamServer::IcyAllowed() const
{
  std::string type;
  {
    std::lock_guard lock(fLock);
    if (fOgg)
      return false; // whatever its type says, metadata blocks would break its pages
    type = ContentType();
  }
  type = type.substr(0, type.find(';'));
  for (const char* icyType : {"audio/mpeg", "audio/mp3", "audio/aac", "audio/aacp"})
    if (strcasecmp(type.c_str(), icyType) == 0)
      return true;
  return false;
}

void TStreamServer::AddStreamHeaders(MHD_Response* iResponse) const
{
  std::string type;
  {
    std::lock_guard lock(fLock);
    type = ContentType();
  }
  MHD_add_response_header(iResponse, MHD_HTTP_HEADER_CONTENT_TYPE, OneLineText(type).c_str());
  MHD_add_response_header(iResponse, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache, no-store");
  const std::pair<const char*, const std::string*> texts[] = {{"icy-name", &fInfo.Name},
                                                              {"icy-description", &fInfo.Description},
                                                              {"icy-genre", &fInfo.Genre},
                                                              {"icy-url", &fInfo.URL}};
  for (const auto& [name, value] : texts)
    if (!value->empty())
      MHD_add_response_header(iResponse, name, OneLineText(*value).c_str());
  if (fInfo.Bitrate > 0)
    MHD_add_response_header(iResponse, "icy-br", std::to_string(fInfo.Bitrate).c_str());
  MHD_add_response_header(iResponse, "icy-pub", fInfo.Public ? "1" : "0");
}

void TStreamServer::Feed()
{
  std::vector<uint8_t> buffer(kFeedBytes);
  for (;;)
  {
    {
      std::lock_guard lock(fLock);
      if (fStopping)
        return;
    }
    const int64_t count = fRead(buffer.data(), buffer.size(), kFeedWaitMilliseconds);
    if (count == 0)
      continue;
    std::unique_lock lock(fLock);
    if (count < 0)
    {
      fEnded = true;
      ListenersAfterFeed();
      lock.unlock();
      for (MHD_Connection* connection : fResuming)
        MHD_resume_connection(connection);
      return;
    }
    const size_t size = static_cast<size_t>(count);
    if (fHead.size() < 4)
    {
      fHead.append(reinterpret_cast<const char*>(buffer.data()), std::min<size_t>(size, 4 - fHead.size()));
      if (fHead.size() == 4 && fHead == "OggS")
        fOgg = std::make_unique<TOggPageTracker>();
    }
    // Only the last ring-size bytes of a large read can be kept.
    const size_t skip = size > fRing.size() ? size - fRing.size() : 0;
    uint64_t at = fWritten + skip;
    for (size_t offset = skip; offset < size;)
    {
      const size_t slot = static_cast<size_t>(at % fRing.size());
      const size_t piece = std::min(size - offset, fRing.size() - slot);
      std::memcpy(fRing.data() + slot, buffer.data() + offset, piece);
      offset += piece;
      at += piece;
    }
    fWritten += size;
    if (fOgg)
    {
      fOgg->Append(buffer.data(), size);
      fOgg->Forget(fWritten - std::min<uint64_t>(fWritten, fRing.size()));
    }
    ListenersAfterFeed();
    lock.unlock();
    // Outside the lock: libmicrohttpd's thread takes its own lock before it calls back into this object.
    for (MHD_Connection* connection : fResuming)
      MHD_resume_connection(connection);
  }
}

void TStreamServer::ListenersAfterFeed()
{
  fResuming.clear();
  if (fHead.size() >= 4 || fEnded || fStopping)
  {
    fResuming.insert(fResuming.end(), fWaiting.begin(), fWaiting.end());
    fWaiting.clear();
  }
  for (TListener* listener : fListeners)
  {
    if (listener->Suspended)
    {
      listener->Suspended = false;
      fResuming.push_back(listener->Connection);
    }
    else if (!listener->Dropped && fWritten - listener->Position > fBuffer)
    {
      // Its socket is full: libmicrohttpd will not ask for more. Shut down, the socket fails its next poll and
      // is closed now rather than after the time-out.
      listener->Dropped = true;
      ++fDropped;
      shutdown(listener->Socket, SHUT_RDWR);
    }
  }
}

void TStreamServer::PlaceListener(TListener& ioListener)
{
  const uint64_t oldest = fWritten - std::min<uint64_t>(fWritten, fRing.size());
  uint64_t start = fWritten - std::min<uint64_t>(fWritten, fBurst);
  if (fOgg)
  {
    if (fOgg->HeaderComplete() && (oldest > 0 || start >= fOgg->HeaderEnd()))
    {
      const uint64_t audio = std::max(oldest, fOgg->HeaderEnd());
      start = fOgg->PageStartNear(std::max(start, audio), audio);
      ioListener.Prefix = fOgg->Header();
    }
    else
      start = oldest; // the stream from its beginning, headers included
  }
  ioListener.Position = start;
}

ssize_t TStreamServer::ReadFor(TListener& ioListener, char* oBuffer, size_t iMax)
{
  std::lock_guard lock(fLock);
  if (ioListener.Dropped)
    return MHD_CONTENT_READER_END_WITH_ERROR;
  if (ioListener.MetaSent < ioListener.MetaBlock.size())
  {
    const size_t count = std::min(iMax, ioListener.MetaBlock.size() - ioListener.MetaSent);
    std::memcpy(oBuffer, ioListener.MetaBlock.data() + ioListener.MetaSent, count);
    ioListener.MetaSent += count;
    return static_cast<ssize_t>(count);
  }
  if (ioListener.PrefixSent < ioListener.Prefix.size())
  {
    size_t count = std::min(iMax, ioListener.Prefix.size() - ioListener.PrefixSent);
    if (ioListener.WantsMeta)
      count = std::min<size_t>(count, ioListener.UntilMeta);
    std::memcpy(oBuffer, ioListener.Prefix.data() + ioListener.PrefixSent, count);
    ioListener.PrefixSent += count;
    AudioSent(ioListener, count);
    return static_cast<ssize_t>(count);
  }
  if (fStopping)
    return MHD_CONTENT_READER_END_OF_STREAM;
  if (fWritten - ioListener.Position > fBuffer)
  {
    ioListener.Dropped = true;
    ++fDropped;
    return MHD_CONTENT_READER_END_WITH_ERROR;
  }
  if (ioListener.Position == fWritten)
  {
    if (fEnded)
      return MHD_CONTENT_READER_END_OF_STREAM;
    // Nothing new: the feeder resumes it with the next bytes. Suspended under the lock, so that the feeder
    // cannot look for it in between.
    ioListener.Suspended = true;
    MHD_suspend_connection(ioListener.Connection);
    return 0;
  }
  size_t count = std::min<uint64_t>(iMax, fWritten - ioListener.Position);
  if (ioListener.WantsMeta)
    count = std::min<size_t>(count, ioListener.UntilMeta);
  for (size_t done = 0; done < count;)
  {
    const size_t slot = static_cast<size_t>((ioListener.Position + done) % fRing.size());
    const size_t piece = std::min(count - done, fRing.size() - slot);
    std::memcpy(oBuffer + done, fRing.data() + slot, piece);
    done += piece;
  }
  ioListener.Position += count;
  AudioSent(ioListener, count);
  return static_cast<ssize_t>(count);
}

void TStreamServer::AudioSent(TListener& ioListener, size_t iCount)
{
  if (!ioListener.WantsMeta)
    return;
  ioListener.UntilMeta -= static_cast<uint32_t>(iCount);
  if (ioListener.UntilMeta > 0)
    return;
  // A block with the title when it changed since the last one, else the empty block (one zero byte).
  ioListener.UntilMeta = kMetaInterval;
  ioListener.MetaSent = 0;
  ioListener.MetaBlock.assign(1, '\0');
  if (ioListener.MetaVersionSent != fMetaVersion)
  {
    ioListener.MetaVersionSent = fMetaVersion;
    const size_t units = (fMeta.size() + 15) / 16;
    ioListener.MetaBlock[0] = static_cast<char>(units);
    ioListener.MetaBlock += fMeta;
    ioListener.MetaBlock.resize(1 + units * 16, '\0');
  }
}
