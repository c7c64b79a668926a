#pragma once
// One opened internet stream over libavformat/libavcodec: connection (http, https, ICY, HLS), demuxer and
// decoder of its audio. Opening resolves .pls and .m3u playlists to their first entry that opens, probes with a
// format hint from the content type and a small probe size, and decodes the first frame, so that the stream's
// rate and channels are known when it returns. Every network wait is bounded by the time-out and ends early
// when the abort flag is set; only http and https (and what HLS builds on) are ever opened.

#include "audio/engine/EngineTypes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// A failure to open, with the engine's error code (ecTimeout, ecNoNet, ecFileOpen, ecFileForm, ecCodec,
// ecProtocol).
class EURLError : public std::runtime_error
{
public:
  EURLError(int iCode, const std::string& iWhat) : std::runtime_error(iWhat), fCode(iCode) {}
  int Code() const { return fCode; }

private:
  int fCode;
};

class TURLSource
{
public:
  // Throws EURLError. Only http and https addresses are opened, also as playlist entries. The whole attempt is
  // bounded by a few time-outs, each connection by one. iAbort (may be null) ends the attempt early.
  TURLSource(const std::string& iURL, int iTimeoutMilliseconds, bool iPlaylists, const std::atomic<bool>* iAbort);
  ~TURLSource();
  TURLSource(const TURLSource&) = delete;
  TURLSource& operator=(const TURLSource&) = delete;

  uint32_t Rate() const { return fRate; }
  // 1 or 2: further channels are left out.
  uint32_t Channels() const { return fChannels; }

  // Decodes the next interleaved float frames (Channels() per frame) into ioSamples (replaced). False at the end
  // of the stream or on a network or decoding failure that ends it. oPacket gets the raw packet's bytes when one
  // was read. Blocks on the network at most the time-out; Stop() ends the wait.
  bool Next(std::vector<float>& ioSamples, std::vector<uint8_t>& oPacket);
  // The stream's metadata as "StreamTitle='...';" text whenever it changed since the last call; empty else.
  std::string TakeChangedMetadata();
  // Why Next returned false: ecTimeout when nothing came for the time-out, ecEnded for an end or a failure.
  int EndCode() const { return fEndCode; }
  int TimeoutMilliseconds() const { return fTimeoutMilliseconds; }
  // Makes a blocked Next return; any thread.
  void Stop() { fStop.store(true, std::memory_order_release); }

private:
  struct TInterrupt
  {
    const std::atomic<bool>* Abort = nullptr;
    const std::atomic<bool>* Stop = nullptr;
    std::atomic<int64_t> Deadline{0}; // CLOCK_MONOTONIC milliseconds, 0 = none
    bool TimedOut = false;
  };
  static int Interrupted(void* iInterrupt);

  void Open(const std::string& iURL, bool iPlaylists, int iDepth);
  void OpenMedia(const std::string& iURL, const std::string& iContentType, struct AVIOContext* iIO);
  void Close();
  [[noreturn]] void Fail(int iError, const std::string& iURL);
  bool DecodeInto(std::vector<float>& ioSamples, std::vector<uint8_t>* oPacket);
  void PollMetadata();
  void Append(const AVFrame& iFrame, std::vector<float>& ioSamples) const;
  std::string CommentTitle() const;

  int fTimeoutMilliseconds;
  int64_t fAttemptDeadline; // CLOCK_MONOTONIC milliseconds
  bool fReading = false;    // opened: reads are bounded one by one
  int fEndCode = ecEnded;
  std::atomic<bool> fStop{false};
  TInterrupt fInterrupt;
  AVFormatContext* fFormat = nullptr;
  struct AVIOContext* fIO = nullptr; // ours when the demuxer reads through it
  AVCodecContext* fCodec = nullptr;
  AVPacket* fPacket = nullptr;
  AVFrame* fFrame = nullptr;
  int fStreamIndex = -1;
  uint32_t fRate = 0;
  uint32_t fChannels = 0;
  bool fDraining = false;
  std::vector<float> fFirst; // the frame decoded while opening, handed out by the first Next
  std::string fLastIcy;
  std::string fPendingMetadata;
};
