#pragma once
// Sends an encoder's output to an Icecast or Shoutcast server over libshout, on a thread of its own (titles go
// by TCastTitle). The connection is non-blocking: a slow server lets libshout's queue grow up to a limit, beyond
// which the stream's own data is dropped; a server that takes nothing for long, or a broken connection, counts
// as lost. Titles of an Ogg stream wait until its headers and first audio pages have reached the server.

#include "audio/engine/EngineTypes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class TCastTitle;

struct TCastSettings
{
  std::string Server; // see TCastAddress
  std::string Password;
  TStreamInfo Info;
};

class TCastSender
{
public:
  // Reads the encoder's output like TEncoder::ReadOutput.
  using TReadOutput = std::function<int64_t(void* oBuffer, size_t iSize, int iTimeoutMilliseconds)>;

  // Connects, waiting up to iTimeoutMilliseconds, then starts sending. iOnLost runs once on the sender's thread
  // when the connection breaks later (never after the destructor started). Throws TEncoderError with the
  // engine error code.
  static std::unique_ptr<TCastSender> Connect(const TCastSettings& iSettings, int iTimeoutMilliseconds,
                                              TReadOutput iRead, std::function<void()> iOnLost);
  ~TCastSender(); // ends the thread and closes the connection

  TCastSender(const TCastSender&) = delete;
  TCastSender& operator=(const TCastSender&) = delete;

  // The stream's title, sent by a thread of its own; never blocks on the server.
  void SetTitle(const std::string& iTitle, const std::string& iURL);
  // Bytes of the encoder's output dropped because the server did not take them in time.
  uint64_t DroppedBytes() const { return fDroppedBytes.load(std::memory_order_relaxed); }

private:
  struct TShout;
  TCastSender(std::unique_ptr<TShout> iShout, std::unique_ptr<TCastTitle> iTitle, bool iOgg, TReadOutput iRead,
              std::function<void()> iOnLost);
  void Run();

  std::unique_ptr<TShout> fShout;
  std::unique_ptr<TCastTitle> fTitle;
  const bool fOgg;
  TReadOutput fRead;
  std::function<void()> fOnLost;
  std::atomic<bool> fStopping{false};
  std::atomic<uint64_t> fDroppedBytes{0};
  std::thread fThread;
};
