#pragma once
// The built-in stream server: listeners connect over HTTP (libmicrohttpd, a thread per connection) and get an
// encoder's output. A feeder thread appends the output to a ring of recent bytes; each listener reads from it
// at its own position, starting a burst behind the newest byte. A listener that falls more than the buffer
// behind is dropped; none ever holds up the feeder or the others. Listeners asking for ICY metadata get the
// current title every icy-metaint bytes.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

struct MHD_Daemon;

class TOggPageTracker;

class TStreamServer
{
public:
  // Reads the encoder's output like TEncoder::ReadOutput.
  using TReadOutput = std::function<int64_t(void* oBuffer, size_t iSize, int iTimeoutMilliseconds)>;
  // Audio bytes between two ICY metadata blocks.
  static constexpr uint32_t kMetaInterval = 16000;

  // Listens at iAddress (the address rules of ServerBindingFromText; a bare number is the port on every
  // address, port 0 picks a free one). Throws TEncoderError: ecIllegalParam for a bad address, ecInit when it
  // cannot listen there (with the reason in what()).
  static std::unique_ptr<TStreamServer> Start(const std::string& iAddress, uint32_t iBuffer, uint32_t iBurst,
                                              bool iSendTitles, TReadOutput iRead);
  ~TStreamServer(); // disconnects every listener and ends the threads

  TStreamServer(const TStreamServer&) = delete;
  TStreamServer& operator=(const TStreamServer&) = delete;

  uint16_t Port() const { return fPort; }
  // The title sent to listeners that asked for metadata, from the next metadata block on.
  void SetTitle(const std::string& iTitle, const std::string& iURL);
  // Listeners connected now, and listeners dropped for falling behind.
  uint32_t ListenerCount() const;
  uint64_t DroppedListeners() const;

private:
  struct TListener;
  TStreamServer(uint32_t iBuffer, uint32_t iBurst, bool iSendTitles, TReadOutput iRead);
  void Feed();
  // Where a new listener starts, and what it gets before (an Ogg stream's headers). Under fLock.
  void PlaceListener(TListener& ioListener);
  // Fills oBuffer for a listener; the byte count, or an MHD end code.
  ssize_t ReadFor(TListener& ioListener, char* oBuffer, size_t iMax);
  // Counts bytes of audio sent to a listener towards its next ICY metadata block, and makes the block when due.
  void AudioSent(TListener& ioListener, size_t iCount);
  void ListenerLeft();
  friend struct TStreamServerCallbacks; // libmicrohttpd's callbacks
  // Content type guessed from the first bytes of the stream.
  std::string ContentType();

  const uint32_t fBuffer;
  const uint32_t fBurst;
  const bool fSendTitles;
  TReadOutput fRead;
  uint16_t fPort = 0;

  mutable std::mutex fLock;
  std::condition_variable fArrived;
  std::vector<uint8_t> fRing; // the last fRing.size() bytes of the stream, at fWritten % size
  uint64_t fWritten = 0;
  std::string fHead;                     // the stream's first bytes
  std::unique_ptr<TOggPageTracker> fOgg; // when the stream is Ogg
  bool fEnded = false;
  bool fStopping = false;
  std::string fMeta; // "StreamTitle='...';" of the current title
  uint64_t fMetaVersion = 0;
  uint32_t fListeners = 0;
  uint64_t fDropped = 0;

  MHD_Daemon* fDaemon = nullptr;
  std::thread fFeeder;
};
