#pragma once
// The built-in stream server: listeners connect over HTTP and get an encoder's output with the stream's icy-
// headers, as from Icecast. A feeder thread appends the output to a ring of recent bytes; each listener reads
// from it at its own position, starting a burst behind the newest byte. libmicrohttpd serves every connection
// from one polling thread: a listener that has everything so far is suspended until the feeder brings more,
// so nothing ever waits on a listener. A listener that falls more than the buffer behind is dropped and its
// socket closed at once; none ever holds up the feeder or the others. Requests must arrive within a few
// seconds, and the listeners per address and in all are capped (503 beyond). Listeners of MP3 and AAC streams
// asking for ICY metadata get the current title every icy-metaint bytes.

#include "audio/engine/EngineTypes.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

struct MHD_Connection;
struct MHD_Daemon;

class TOggPageTracker;

class TStreamServer
{
public:
  // Reads the encoder's output like TEncoder::ReadOutput.
  using TReadOutput = std::function<int64_t(void* oBuffer, size_t iSize, int iTimeoutMilliseconds)>;
  // Audio bytes between two ICY metadata blocks.
  static constexpr uint32_t kMetaInterval = 16000;
  // Listeners served at once, in all (Icecast's default client limit) and from one address (a household or an
  // office behind one router); more get 503.
  static constexpr uint32_t kMaxListeners = 100;
  static constexpr uint32_t kMaxListenersPerAddress = 10;
  // Connections libmicrohttpd keeps, requests not complete yet included; it closes more at once. Above the
  // listener caps, so that a 503 can still be answered, and far below the process's descriptor limit.
  static constexpr unsigned kMaxConnections = 128;
  static constexpr unsigned kMaxConnectionsPerAddress = 16;
  // A request whose header has not come in full by then is closed.
  static constexpr unsigned kRequestTimeoutSeconds = 5;

  // Listens at iAddress (the address rules of ServerBindingFromText; a bare number is the port on every
  // address, port 0 picks a free one). Throws TEncoderError: ecIllegalParam for a bad address, ecInit when it
  // cannot listen there (with the reason in what()).
  static std::unique_ptr<TStreamServer> Start(const std::string& iAddress, uint32_t iBuffer, uint32_t iBurst,
                                              bool iSendTitles, const TStreamInfo& iInfo, TReadOutput iRead);
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
  TStreamServer(uint32_t iBuffer, uint32_t iBurst, bool iSendTitles, const TStreamInfo& iInfo, TReadOutput iRead);
  void Feed();
  // Wakes the suspended listeners and requests after new bytes came (fResuming holds them), and drops the
  // listeners too far behind. Under fLock.
  void ListenersAfterFeed();
  // Where a new listener starts, and what it gets before (an Ogg stream's headers). Under fLock.
  void PlaceListener(TListener& ioListener);
  // Fills oBuffer for a listener; the byte count (0 after suspending it), or an MHD end code.
  ssize_t ReadFor(TListener& ioListener, char* oBuffer, size_t iMax);
  // Counts bytes of audio sent to a listener towards its next ICY metadata block, and makes the block when due.
  void AudioSent(TListener& ioListener, size_t iCount);
  // Suspends a request until the stream's first bytes came; false when they are there.
  bool WaitForStreamStart(MHD_Connection* iConnection);
  // Takes a new listener unless a cap is reached.
  bool AddListener(TListener* iListener);
  void ListenerLeft(TListener* iListener);
  friend struct TStreamServerCallbacks; // libmicrohttpd's callbacks
  // The content type of the stream: the one it was started with, else guessed from its first bytes. Under fLock.
  std::string ContentType() const;
  // Whether listeners may get ICY metadata blocks: only MP3 and AAC players expect them inside the audio.
  bool IcyAllowed() const;
  void AddStreamHeaders(struct MHD_Response* iResponse) const;

  const uint32_t fBuffer;
  const uint32_t fBurst;
  const bool fSendTitles;
  const TStreamInfo fInfo;
  TReadOutput fRead;
  uint16_t fPort = 0;

  mutable std::mutex fLock;
  std::vector<uint8_t> fRing; // the last fRing.size() bytes of the stream, at fWritten % size
  uint64_t fWritten = 0;
  std::string fHead;                     // the stream's first bytes
  std::unique_ptr<TOggPageTracker> fOgg; // when the stream is Ogg
  bool fEnded = false;
  bool fStopping = false;
  std::string fMeta; // "StreamTitle='...';" of the current title
  uint64_t fMetaVersion = 0;
  std::vector<TListener*> fListeners;
  uint64_t fDropped = 0;
  // Requests that came before the stream's first bytes: their content type is not known yet.
  std::vector<MHD_Connection*> fWaiting;
  std::vector<MHD_Connection*> fResuming; // only the feeder and the destructor use it

  MHD_Daemon* fDaemon = nullptr;
  std::thread fFeeder;
};
