#pragma once
// An encoder's place in a channel's chain: hands every buffer to the encoder and keeps the channel positions
// of its first sample and one past its last, so that a file's length is known to the frame. After it was
// replaced (or stopped) it is detached: it gets no more audio and no longer refers to its channel.

#include "audio/engine/ChainElement.h"
#include "audio/engine/EncoderQueue.h"
#include "audio/engine/EngineTypes.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class TEncoder;
class TCastSender;
class TStreamServer;
struct TCastSettings;

class TChainEncoder : public TChainElement
{
public:
  TChainEncoder(TChannel& iChannel, int32_t iPriority, TEncodeNotify iNotify);
  ~TChainEncoder() override; // stops the encoder

  // Starts the encoder (no lock held: it may start a program). Returns ecOK or the encoder's error code.
  int Start(const std::string& iCommand, uint32_t iFlags, uint32_t iQueueMilliseconds, const TCodecSettings& iCodec);
  // Prepares to take iOld's place going on in iOld's encoder, in the file iPath (created here; no lock held):
  // at the place change, iOld's file ends between two buffers. ecNotAvailable when iOld's encoder cannot go on
  // with these settings (then Start it is), else ecOK or the encoder's error code.
  int Continue(TChainEncoder& iOld, const std::string& iPath, uint32_t iFlags, uint32_t iQueueMilliseconds,
               const TCodecSettings& iCodec);

  void Process(float* ioBuffer, uint32_t iFrames, uint32_t iChannels, uint64_t iFirstFrame) override;
  void Attached(uint64_t iPosition) override;
  void Detached(uint64_t iPosition) override;

  // Set under the engine's structural lock once the element left its chain for good.
  bool IsDetached() const { return fDetached.load(std::memory_order_acquire); }
  void SetDetached() { fDetached.store(true, std::memory_order_release); }

  bool IsActive() const;
  void SetNotify(TEncodeNotify iNotify);
  TEncodeSpan Span() const;
  int64_t ReadOutput(void* oBuffer, uint32_t iLength, int iTimeoutMilliseconds);
  // Closes the encoder's input and waits (bounded) for its program, then ends its cast or server. An element
  // whose encoder went on in its successor waits (bounded) until its file is finished. Call once it is out of
  // the chain.
  void Stop();

  // The encoder's output goes to one taker: a cast sender or a stream server. Each returns ecOK or the
  // engine error code (ecAlready when the output is taken already).
  int CastInit(const TCastSettings& iSettings, int iTimeoutMilliseconds);
  int ServerInit(const std::string& iAddress, uint32_t iBuffer, uint32_t iBurst, bool iSendTitles,
                 const TStreamInfo& iInfo, uint16_t& oPort);
  TEncodeOutputInfo OutputInfo();
  // ecNotAvailable when the output goes to neither.
  int SetTitle(const std::string& iTitle, const std::string& iURL);

private:
  using TOutputReader = std::function<int64_t(void* oBuffer, size_t iSize, int iTimeoutMilliseconds)>;

  // Where the encoder's notification goes: the element writing its present file.
  struct TNotifyRoute
  {
    std::mutex Lock;
    TChainEncoder* Element = nullptr;
  };
  // The end of a file whose encoder went on in the next one.
  struct THandOver
  {
    std::mutex Lock;
    std::condition_variable Signal;
    bool Finished = false;
  };

  void Notify(int iStatus);
  // Hands the encoder's output to the taker iTake installs, once; its TEncoderError becomes the result.
  int TakeOutput(const std::function<void(const TOutputReader&)>& iTake);

  // Declared before the encoder, so that they outlive its threads, which may be notifying.
  std::mutex fNotifyLock; // the notification comes from an encoder thread while the owner may replace it
  TEncodeNotify fNotify;
  std::shared_ptr<TNotifyRoute> fRoute;
  // Shared with the element of the previous or the next file while one goes on in the other's encoder.
  std::shared_ptr<TEncoder> fEncoder;
  uint32_t fFlags = 0;
  uint32_t fQueueMilliseconds = 0;
  TCodecSettings fCodec;
  // Going on from a predecessor: the mark that switches files, placed when this element takes its place.
  TChainEncoder* fPredecessor = nullptr;
  TQueueMarks fSwitch;
  bool fContinued = false;                    // attached in the predecessor's place
  std::shared_ptr<THandOver> fPredecessorEnd; // the predecessor's file end
  std::shared_ptr<THandOver> fHandOver;       // this element's file end, once its encoder went on ...
  std::atomic<bool> fHandedOver{false};       // ... which this tells
  uint64_t fDroppedBase = 0;                  // the encoder's dropped frames when this file began
  std::atomic<uint64_t> fDroppedEnd{0};       // ... and when it ended, once handed over
  // Declared after the encoder, so that their threads, which read its output, end before it goes.
  std::atomic<bool> fOutputTaken{false};
  std::mutex fTakerLock; // the taker is installed by one thread while another sets a title
  std::unique_ptr<TCastSender> fCast;
  std::unique_ptr<TStreamServer> fServer;
  std::atomic<bool> fDetached{false};
  std::atomic<uint64_t> fFirstFrame{0};
  std::atomic<uint64_t> fEndFrame{0};
};
