#pragma once
// An internet stream as a decode channel: a reader thread of its own downloads and decodes the stream into the
// channel's queue, so whoever pulls the channel never waits on the network. The queue is bounded: the reader
// waits while it is full, so a server that bursts at connect time is read only as fast as its audio is used.
// No wait is without a bound: a connection that delivers nothing for the time-out, a server that closes it and
// a queue that nobody takes audio from for the time-out all end the stream (syEnd, EndCode says which).
// As a mixer source the stream is a push stream: drift control holds its backlog near kTargetSeconds, which
// follows the server's clock. Callbacks (syncs, download) run on the reader thread; they must not free the
// stream.

#include "audio/engine/EngineTypes.h"
#include "audio/engine/PushStream.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TURLSource;

class TURLStream : public TPushStream
{
public:
  // Wider than a capture input's: network delivery comes in lumps.
  static constexpr double kQueueSeconds = 2.0;
  static constexpr double kTargetSeconds = 1.0;

  TURLStream(std::unique_ptr<TURLSource> iSource, TDownloadProc iDownload);
  ~TURLStream() override;

  // Starts the reader; once the stream has its handle.
  void Start();
  void Stop() override;

  // Sync of type syMeta or syEnd; returns its handle (never 0).
  uint32_t AddSync(uint32_t iType, TSyncProc iProc);
  bool RemoveSync(uint32_t iSync);
  // The metadata text of the last syMeta (or what came with the connection); empty when none.
  std::string Metadata() const;
  // Why the stream ended: ecOK while it runs, ecTimeout when no data came for the time-out, ecNotPlaying when
  // its audio was not taken for that long, ecEnded when the server ended it or it failed.
  int EndCode() const { return fEndCode.load(std::memory_order_acquire); }

private:
  struct TSync
  {
    uint32_t Handle;
    uint32_t Type;
    TSyncProc Proc;
  };
  struct TPendingMetadata
  {
    uint64_t Frame; // stream position where it applies
    std::string Text;
  };

  void ReaderLoop();
  // Waits until the queue has room for iFrames more (the whole capacity: until it is empty). False when the
  // stream is stopped or the consumer took nothing for iPatience.
  bool WaitForRoom(uint64_t iFrames, uint64_t iWrittenFrames, std::chrono::milliseconds iPatience);
  // Hands out the metadata whose audio the consumer has reached.
  void ReleaseMetadata(uint64_t iWrittenFrames);
  void Notify(uint32_t iType);

  std::unique_ptr<TURLSource> fSource;
  TDownloadProc fDownload;
  std::atomic<bool> fStopping{false};
  std::atomic<int> fEndCode{ecOK};
  std::thread fReader;
  std::vector<TPendingMetadata> fPending; // reader thread only

  mutable std::mutex fLock; // syncs and metadata
  std::vector<TSync> fSyncs;
  uint32_t fNextSync = 1;
  std::string fMetadata;
};
