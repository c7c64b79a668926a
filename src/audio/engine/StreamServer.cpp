#include "audio/engine/StreamServer.h"

#include "audio/engine/Encoder.h"
#include "audio/engine/OggPageTracker.h"
#include "lib/ServerBinding.h"
#include "lib/TapevaultTools.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <microhttpd.h>
#include <stdexcept>

namespace
{

constexpr size_t kFeedBytes = 16 * 1024;
constexpr int kFeedWaitMilliseconds = 200;
// Bytes handed to libmicrohttpd per read of a listener.
constexpr size_t kListenerBlock = 8 * 1024;
// A listener whose socket takes nothing for this long is closed by libmicrohttpd.
constexpr unsigned kListenerTimeoutSeconds = 10;

// "StreamTitle='...';" with the URL when there is one; quotes inside stay as they are, as other servers do.
std::string MetaText(const std::string& iTitle, const std::string& iURL)
{
  std::string text = "StreamTitle='" + iTitle + "';";
  if (!iURL.empty())
    text += "StreamUrl='" + iURL + "';";
  // The length byte counts 16-byte units: at most 255 of them.
  return text.substr(0, 255 * 16);
}

} // namespace

struct TStreamServer::TListener
{
  TStreamServer* Server = nullptr;
  uint64_t Position = 0;
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
    {
      static char text[] = "Method not allowed";
      MHD_Response* refusal = MHD_create_response_from_buffer(sizeof(text) - 1, text, MHD_RESPMEM_PERSISTENT);
      const MHD_Result result = MHD_queue_response(iConnection, MHD_HTTP_METHOD_NOT_ALLOWED, refusal);
      MHD_destroy_response(refusal);
      return result;
    }
    auto listener = std::make_unique<TStreamServer::TListener>();
    listener->Server = server;
    const char* metaRequest = MHD_lookup_connection_value(iConnection, MHD_HEADER_KIND, "Icy-MetaData");
    listener->WantsMeta = server->fSendTitles && metaRequest && std::strcmp(metaRequest, "1") == 0;
    {
      std::lock_guard lock(server->fLock);
      server->PlaceListener(*listener);
      ++server->fListeners;
    }
    MHD_Response* response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kListenerBlock, &Read, listener.get(), &Free);
    if (!response)
    {
      server->ListenerLeft();
      return MHD_NO;
    }
    TStreamServer::TListener* owned = listener.release();
    // The audio as it comes, up to the closing of the connection: players of live streams expect no chunks.
    MHD_set_response_options(response, MHD_RF_HTTP_1_0_COMPATIBLE_STRICT, MHD_RO_END);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, server->ContentType().c_str());
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache, no-store");
    if (owned->WantsMeta)
      MHD_add_response_header(response, "icy-metaint", std::to_string(TStreamServer::kMetaInterval).c_str());
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
    listener->Server->ListenerLeft();
    delete listener;
  }
};

std::unique_ptr<TStreamServer> TStreamServer::Start(const std::string& iAddress, uint32_t iBuffer, uint32_t iBurst,
                                                    bool iSendTitles, TReadOutput iRead)
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
  std::unique_ptr<TStreamServer> server(
      new TStreamServer(std::max<uint32_t>(iBuffer, 1), iBurst, iSendTitles, std::move(iRead)));
  server->fPort = port;
  server->fDaemon =
      MHD_start_daemon(MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD, 0, nullptr, nullptr,
                       &TStreamServerCallbacks::Request, server.get(), MHD_OPTION_LISTEN_SOCKET, socket.Get(),
                       MHD_OPTION_CONNECTION_TIMEOUT, kListenerTimeoutSeconds, MHD_OPTION_END);
  if (!server->fDaemon)
    throw TEncoderError(ecInit, "The stream server could not start");
  socket.Release(); // the daemon closes it
  server->fFeeder = std::thread([raw = server.get()] { raw->Feed(); });
  return server;
}

TStreamServer::TStreamServer(uint32_t iBuffer, uint32_t iBurst, bool iSendTitles, TReadOutput iRead)
    : fBuffer(iBuffer), fBurst(std::min(iBurst, iBuffer)), fSendTitles(iSendTitles), fRead(std::move(iRead)),
      fRing(iBuffer)
{
}

TStreamServer::~TStreamServer()
{
  {
    std::lock_guard lock(fLock);
    fStopping = true;
  }
  fArrived.notify_all();
  if (fFeeder.joinable())
    fFeeder.join();
  if (fDaemon)
    MHD_stop_daemon(fDaemon);
}

void TStreamServer::SetTitle(const std::string& iTitle, const std::string& iURL)
{
  std::string text = MetaText(iTitle, iURL);
  std::lock_guard lock(fLock);
  fMeta = std::move(text);
  ++fMetaVersion;
}

uint32_t TStreamServer::ListenerCount() const
{
  std::lock_guard lock(fLock);
  return fListeners;
}

uint64_t TStreamServer::DroppedListeners() const
{
  std::lock_guard lock(fLock);
  return fDropped;
}

void TStreamServer::ListenerLeft()
{
  std::lock_guard lock(fLock);
  --fListeners;
}

std::string TStreamServer::ContentType()
{
  std::lock_guard lock(fLock);
  const auto head = reinterpret_cast<const unsigned char*>(fHead.data());
  if (fHead.size() >= 4 && fHead.compare(0, 4, "OggS") == 0)
    return "application/ogg";
  if (fHead.size() >= 4 && fHead.compare(0, 4, "fLaC") == 0)
    return "audio/flac";
  if (fHead.size() >= 2 && head[0] == 0xFF && (head[1] & 0xF6) == 0xF0)
    return "audio/aac"; // ADTS: MPEG sync word with layer 0
  return "audio/mpeg";
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
    std::unique_lock lock(fLock);
    if (count < 0)
    {
      fEnded = true;
      lock.unlock();
      fArrived.notify_all();
      return;
    }
    if (count == 0)
      continue;
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
    lock.unlock();
    fArrived.notify_all();
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
  std::unique_lock lock(fLock);
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
  for (;;)
  {
    if (fStopping)
      return MHD_CONTENT_READER_END_OF_STREAM;
    if (fWritten - ioListener.Position > fBuffer)
    {
      ++fDropped;
      return MHD_CONTENT_READER_END_WITH_ERROR;
    }
    if (ioListener.Position < fWritten)
      break;
    if (fEnded)
      return MHD_CONTENT_READER_END_OF_STREAM;
    fArrived.wait(lock);
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
