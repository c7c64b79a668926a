#pragma once
// Sends an encoder's output to an Icecast or Shoutcast server over libshout, on a thread of its own. The
// connection is non-blocking: a slow server lets libshout's queue grow up to a limit, beyond which the stream's
// own data is dropped; a server that takes nothing for long, or a broken connection, counts as lost.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct TCastSettings
{
  std::string Server; // see TCastAddress
  std::string Password;
  std::string Content; // MIME type; empty = MPEG audio
  std::string Name;
  std::string URL;
  std::string Genre;
  std::string Description;
  std::string Headers;  // "icy-...:value" lines, each ended by CR LF
  uint32_t Bitrate = 0; // kbit/s
  bool Public = false;
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

  // Hands a title to the sender's thread, which sends it as the stream's metadata; never blocks on the server.
  void SetTitle(const std::string& iTitle, const std::string& iURL);
  // Bytes of the encoder's output dropped because the server did not take them in time.
  uint64_t DroppedBytes() const { return fDroppedBytes.load(std::memory_order_relaxed); }

private:
  struct TShout;
  TCastSender(std::unique_ptr<TShout> iShout, TReadOutput iRead, std::function<void()> iOnLost);
  void Run();
  // Sends the title set last, if it was not sent yet.
  void SendPendingTitle();

  std::unique_ptr<TShout> fShout;
  TReadOutput fRead;
  std::function<void()> fOnLost;
  std::atomic<bool> fStopping{false};
  std::atomic<uint64_t> fDroppedBytes{0};
  std::mutex fTitleLock;
  bool fTitlePending = false;
  std::string fTitle;
  std::string fTitleURL;
  std::thread fThread;
};
