#include "audio/engine/ChainEncoder.h"

#include "audio/engine/Channel.h"
#include "audio/engine/Encoder.h"

TChainEncoder::TChainEncoder(TChannel& iChannel, int32_t iPriority, TEncodeNotify iNotify)
    : TChainElement(iChannel, iPriority), fNotify(std::move(iNotify))
{
}

TChainEncoder::~TChainEncoder() = default;

int TChainEncoder::Start(const std::string& iCommand, uint32_t iFlags, uint32_t iQueueMilliseconds)
{
  TEncoderSettings Settings;
  Settings.SampleRate = Channel().Format().Rate;
  Settings.Channels = Channel().Format().Channels;
  Settings.Flags = iFlags;
  Settings.QueueMilliseconds = iQueueMilliseconds;
  Settings.OnNotify = [this](int iStatus) { Notify(iStatus); };
  try
  {
    fEncoder = TEncoder::Start(iCommand, Settings);
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
  std::lock_guard Lock(fNotifyLock);
  fNotify = std::move(iNotify);
}

TEncodeSpan TChainEncoder::Span() const
{
  TEncodeSpan Span;
  Span.FirstFrame = fFirstFrame.load(std::memory_order_acquire);
  Span.EndFrame = fEndFrame.load(std::memory_order_acquire);
  Span.DroppedFrames = fEncoder ? fEncoder->DroppedFrames() : 0;
  return Span;
}

int64_t TChainEncoder::ReadOutput(void* oBuffer, uint32_t iLength, int iTimeoutMilliseconds)
{
  return fEncoder->ReadOutput(oBuffer, iLength, iTimeoutMilliseconds);
}

void TChainEncoder::Stop()
{
  if (fEncoder)
    fEncoder->Stop();
}

void TChainEncoder::Notify(int iStatus)
{
  std::lock_guard Lock(fNotifyLock);
  if (fNotify)
    fNotify(Handle(), uint32_t(iStatus));
}
