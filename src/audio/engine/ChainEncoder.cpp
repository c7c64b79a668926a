#include "audio/engine/ChainEncoder.h"

#include "audio/engine/CastSender.h"
#include "audio/engine/Channel.h"
#include "audio/engine/Encoder.h"
#include "audio/engine/StreamServer.h"

TChainEncoder::TChainEncoder(TChannel& iChannel, int32_t iPriority, TEncodeNotify iNotify)
    : TChainElement(iChannel, iPriority), fNotify(std::move(iNotify))
{
}

TChainEncoder::~TChainEncoder() = default;

int TChainEncoder::Start(const std::string& iCommand, uint32_t iFlags, uint32_t iQueueMilliseconds,
                         const TCodecSettings& iCodec)
{
  TEncoderSettings settings;
  settings.SampleRate = Channel().Format().Rate;
  settings.Channels = Channel().Format().Channels;
  settings.Flags = iFlags;
  settings.QueueMilliseconds = iQueueMilliseconds;
  settings.Codec = iCodec;
  settings.OnNotify = [this](int iStatus) { Notify(iStatus); };
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

void TChainEncoder::Process(float* ioBuffer, uint32_t iFrames, uint32_t, uint64_t iFirstFrame)
{
  fEncoder->Write(ioBuffer, iFrames);
  fEndFrame.store(iFirstFrame + iFrames, std::memory_order_release);
}

void TChainEncoder::Attached(uint64_t iPosition)
{
  fFirstFrame.store(iPosition, std::memory_order_release);
  fEndFrame.store(iPosition, std::memory_order_release);
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
  span.DroppedFrames = fEncoder ? fEncoder->DroppedFrames() : 0;
  return span;
}

int64_t TChainEncoder::ReadOutput(void* oBuffer, uint32_t iLength, int iTimeoutMilliseconds)
{
  return fEncoder->ReadOutput(oBuffer, iLength, iTimeoutMilliseconds);
}

void TChainEncoder::Stop()
{
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
