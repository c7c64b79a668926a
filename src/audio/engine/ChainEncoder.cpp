#include "audio/engine/ChainEncoder.h"

#include "audio/engine/CastSender.h"
#include "audio/engine/Channel.h"
#include "audio/engine/Encoder.h"
#include "audio/engine/EncoderTarget.h"
#include "audio/engine/StreamServer.h"

namespace
{
// How long the end of a file waits for the encoder's thread to finish it after the encoder went on in the next
// one: the time a stop gives a program, and a little more.
constexpr std::chrono::milliseconds kHandOverTimeout{6000};
} // namespace

TChainEncoder::TChainEncoder(TChannel& iChannel, int32_t iPriority, TEncodeNotify iNotify)
    : TChainElement(iChannel, iPriority), fNotify(std::move(iNotify))
{
}

TChainEncoder::~TChainEncoder()
{
  if (fRoute)
  {
    std::lock_guard lock(fRoute->Lock);
    if (fRoute->Element == this)
      fRoute->Element = nullptr;
  }
}

int TChainEncoder::Start(const std::string& iCommand, uint32_t iFlags, uint32_t iQueueMilliseconds,
                         const TCodecSettings& iCodec)
{
  fFlags = iFlags;
  fQueueMilliseconds = iQueueMilliseconds;
  fCodec = iCodec;
  fRoute = std::make_shared<TNotifyRoute>();
  fRoute->Element = this;
  TEncoderSettings settings;
  settings.SampleRate = Channel().Format().Rate;
  settings.Channels = Channel().Format().Channels;
  settings.Flags = iFlags;
  settings.QueueMilliseconds = iQueueMilliseconds;
  settings.Codec = iCodec;
  settings.OnNotify = [route = fRoute](int iStatus)
  {
    std::lock_guard lock(route->Lock);
    if (route->Element)
      route->Element->Notify(iStatus);
  };
  try
  {
    fEncoder = TEncoder::Start(iCommand, settings);
  }
  catch (const TEncoderError& e)
  {
    return e.Code();
  }
  catch (const std::bad_alloc&)
  {
    return ecMemory;
  }
  return ecOK;
}

int TChainEncoder::Continue(TChainEncoder& iOld, const std::string& iPath, uint32_t iFlags, uint32_t iQueueMilliseconds,
                            const TCodecSettings& iCodec)
{
  if (!iOld.fEncoder || !iOld.fEncoder->CanContinue() || iOld.fOutputTaken || iOld.fFlags != iFlags ||
      iOld.fQueueMilliseconds != iQueueMilliseconds || !(iOld.fCodec == iCodec))
    return ecNotAvailable;
  try
  {
    std::unique_ptr<IEncoderTarget> next = iOld.fEncoder->MakeNextFile(iPath);
    fPredecessorEnd = std::make_shared<THandOver>();
    fSwitch = iOld.fEncoder->ContinuationMark(std::move(next),
                                              [end = fPredecessorEnd](bool)
                                              {
                                                std::lock_guard lock(end->Lock);
                                                end->Finished = true;
                                                end->Signal.notify_all();
                                              });
  }
  catch (const TEncoderError& e)
  {
    return e.Code();
  }
  catch (const std::bad_alloc&)
  {
    return ecMemory;
  }
  fFlags = iFlags;
  fQueueMilliseconds = iQueueMilliseconds;
  fCodec = iCodec;
  fRoute = iOld.fRoute;
  fEncoder = iOld.fEncoder;
  fPredecessor = &iOld;
  return ecOK;
}

void TChainEncoder::Process(float* ioBuffer, uint32_t iFrames, uint32_t, uint64_t iFirstFrame)
{
  fEncoder->Write(ioBuffer, iFrames);
  fEndFrame.store(iFirstFrame + iFrames, std::memory_order_release);
}

void TChainEncoder::Attached(uint64_t iPosition)
{
  fFirstFrame.store(iPosition, std::memory_order_release);
  fEndFrame.store(iPosition, std::memory_order_release);
  if (!fPredecessor)
    return;
  // In the predecessor's place, between two buffers: the file changes here. Nothing here allocates or waits
  // for more than the notification route, which an encoder thread holds only while it notifies.
  fContinued = true;
  fDroppedBase = fEncoder->DroppedFrames();
  fPredecessor->fDroppedEnd.store(fDroppedBase, std::memory_order_release);
  fPredecessor->fHandOver = fPredecessorEnd;
  fPredecessor->fHandedOver.store(true, std::memory_order_release);
  {
    std::lock_guard lock(fRoute->Lock);
    fRoute->Element = this;
  }
  // A dead encoder takes no mark: the predecessor's file ended when it died.
  if (!fEncoder->Continue(fSwitch))
    fSwitch.front().Action(false);
}

void TChainEncoder::Detached(uint64_t iPosition)
{
  fEndFrame.store(iPosition, std::memory_order_release);
}

bool TChainEncoder::IsActive() const
{
  return !fDetached && fEncoder && fEncoder->IsActive();
}

void TChainEncoder::SetNotify(TEncodeNotify iNotify)
{
  std::lock_guard lock(fNotifyLock);
  fNotify = std::move(iNotify);
}

TEncodeSpan TChainEncoder::Span() const
{
  TEncodeSpan span;
  span.FirstFrame = fFirstFrame.load(std::memory_order_acquire);
  span.EndFrame = fEndFrame.load(std::memory_order_acquire);
  const uint64_t dropped = fHandedOver.load(std::memory_order_acquire) ? fDroppedEnd.load(std::memory_order_acquire)
                                                                       : (fEncoder ? fEncoder->DroppedFrames() : 0);
  span.DroppedFrames = dropped - fDroppedBase;
  return span;
}

int64_t TChainEncoder::ReadOutput(void* oBuffer, uint32_t iLength, int iTimeoutMilliseconds)
{
  return fEncoder->ReadOutput(oBuffer, iLength, iTimeoutMilliseconds);
}

void TChainEncoder::Stop()
{
  // The encoder went on in the next file: this one is finished on the encoder's thread.
  if (fHandedOver.load(std::memory_order_acquire))
  {
    std::unique_lock lock(fHandOver->Lock);
    fHandOver->Signal.wait_for(lock, kHandOverTimeout, [this] { return fHandOver->Finished; });
    return;
  }
  // Prepared to go on in a predecessor's encoder but never in its place: that encoder is not this one's.
  if (fPredecessor && !fContinued)
    return;
  // The sender goes on reading while the program finishes, so that the stream's last bytes still go out.
  if (fEncoder)
    fEncoder->Stop();
  std::unique_ptr<TCastSender> cast;
  std::unique_ptr<TStreamServer> server;
  {
    std::lock_guard lock(fTakerLock);
    cast = std::move(fCast);
    server = std::move(fServer);
  }
}

int TChainEncoder::TakeOutput(const std::function<void(const TOutputReader&)>& iTake)
{
  if (!fEncoder || !fEncoder->IsActive())
    return ecNotPlaying;
  if (fOutputTaken.exchange(true))
    return ecAlready;
  TEncoder* encoder = fEncoder.get();
  try
  {
    iTake([encoder](void* oBuffer, size_t iSize, int iTimeout)
          { return encoder->ReadOutput(oBuffer, iSize, iTimeout); });
  }
  catch (const TEncoderError& e)
  {
    fOutputTaken = false;
    return e.Code();
  }
  catch (const std::bad_alloc&)
  {
    fOutputTaken = false;
    return ecMemory;
  }
  return ecOK;
}

int TChainEncoder::CastInit(const TCastSettings& iSettings, int iTimeoutMilliseconds)
{
  TEncoder* encoder = fEncoder.get();
  return TakeOutput(
      [&](const TOutputReader& iRead)
      {
        // Connecting may take long: no lock is held meanwhile.
        std::unique_ptr<TCastSender> cast =
            TCastSender::Connect(iSettings, iTimeoutMilliseconds, iRead, [encoder] { encoder->Abandon(enCastLost); });
        std::lock_guard lock(fTakerLock);
        fCast = std::move(cast);
      });
}

int TChainEncoder::ServerInit(const std::string& iAddress, uint32_t iBuffer, uint32_t iBurst, bool iSendTitles,
                              const TStreamInfo& iInfo, uint16_t& oPort)
{
  return TakeOutput(
      [&](const TOutputReader& iRead)
      {
        std::unique_ptr<TStreamServer> server =
            TStreamServer::Start(iAddress, iBuffer, iBurst, iSendTitles, iInfo, iRead);
        oPort = server->Port();
        std::lock_guard lock(fTakerLock);
        fServer = std::move(server);
      });
}

TEncodeOutputInfo TChainEncoder::OutputInfo()
{
  TEncodeOutputInfo info;
  std::lock_guard lock(fTakerLock);
  if (fCast)
    info.DroppedBytes = fCast->DroppedBytes();
  if (fServer)
  {
    info.Listeners = fServer->ListenerCount();
    info.DroppedListeners = fServer->DroppedListeners();
  }
  return info;
}

int TChainEncoder::SetTitle(const std::string& iTitle, const std::string& iURL)
{
  std::lock_guard lock(fTakerLock);
  if (fCast)
    fCast->SetTitle(iTitle, iURL);
  else if (fServer)
    fServer->SetTitle(iTitle, iURL);
  else
    return ecNotAvailable;
  return ecOK;
}

void TChainEncoder::Notify(int iStatus)
{
  std::lock_guard lock(fNotifyLock);
  if (fNotify)
    fNotify(Handle(), uint32_t(iStatus));
}
