// Encoders on channels.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/CastSender.h"
#include "audio/engine/ChainEncoder.h"
#include "audio/engine/Channel.h"
#include "audio/engine/EngineState.h"
#include "audio/engine/LastError.h"

namespace
{
// iReplaces (0: none) may give its place in iChannel's chain to a new encoder.
bool Replaceable(uint32_t iReplaces, const TPinned<TChannel>& iChannel, const TPinned<TChainEncoder>& iOld)
{
  return iChannel && (!iReplaces || (iOld && &iOld->Channel() == iChannel.Get() && !iOld->IsDetached()));
}
} // namespace

uint32_t TAudioEngine::EncodeStart(uint32_t iChannel, const std::string& iCommand, uint32_t iFlags,
                                   TEncodeNotify iNotify, uint32_t iReplaces, const TCodecSettings& iCodec)
{
  TEngineState& state = TEngineState::Instance();
  THandleTable& table = THandleTable::Instance();
  uint32_t handle = 0;
  TChainEncoder* encoder = nullptr;
  {
    // Starting (a program, a file, a queue with its thread) is slow: it happens under pins alone, without the
    // structural lock, so that other channels' file changes never wait for it. No pin is held while taking
    // that lock, as a free under it waits for pins.
    TPinned<TChannel> channel = table.Pin<TChannel>(iChannel);
    if (!channel)
      return Fail(ecHandle, 0u);
    if (!channel->Format().Float)
      return Fail(ecFormat, 0u);
    if (!Replaceable(iReplaces, channel, iReplaces ? table.Pin<TChainEncoder>(iReplaces) : TPinned<TChainEncoder>()))
      return Fail(ecHandle, 0u);
    auto element = std::make_unique<TChainEncoder>(*channel, state.EncodePriority.load(), std::move(iNotify));
    encoder = element.get();
    handle = table.Add(std::move(element));
    if (handle == 0)
      return Fail(ecNoChannel, 0u);
    // Added before it starts, so that a program that dies at once already notifies with its handle.
    const uint32_t flags = iFlags & ~uint32_t(efContinue);
    const uint32_t queue = uint32_t(state.EncodeQueueMilliseconds.load());
    int error = ecNotAvailable;
    if ((iFlags & efContinue) && iReplaces)
      if (TPinned<TChainEncoder> old = table.Pin<TChainEncoder>(iReplaces))
        error = encoder->Continue(*old, iCommand, flags, queue, iCodec);
    if (error == ecNotAvailable)
      error = encoder->Start(iCommand, flags, queue, iCodec);
    if (error != ecOK)
    {
      table.Remove(handle);
      return Fail(error, 0u);
    }
  }
  {
    std::lock_guard lock(state.Graph);
    // The channel or the replaced encoder may have gone meanwhile.
    TPinned<TChannel> channel = table.Pin<TChannel>(iChannel);
    TPinned<TChainEncoder> old = iReplaces ? table.Pin<TChainEncoder>(iReplaces) : TPinned<TChainEncoder>();
    if (Replaceable(iReplaces, channel, old))
    {
      if (old)
      {
        channel->ReplaceElement(old.Get(), encoder);
        old->SetDetached();
      }
      else
        channel->InsertElement(encoder);
      return Fail(ecOK, handle);
    }
  }
  // It never joined a chain: stopped outside the structural lock.
  std::unique_ptr<TEngineObject> unused = table.Remove(handle);
  static_cast<TChainEncoder*>(unused.get())->Stop();
  return Fail(ecHandle, 0u);
}

bool TAudioEngine::EncodeStop(uint32_t iEncoder)
{
  THandleTable& table = THandleTable::Instance();
  {
    std::lock_guard lock(TEngineState::Instance().Graph);
    TPinned<TChainEncoder> encoder = table.Pin<TChainEncoder>(iEncoder);
    if (!encoder)
      return Fail(ecHandle, false);
    if (!encoder->IsDetached())
    {
      encoder->Channel().RemoveElement(encoder.Get());
      encoder->SetDetached();
    }
  }
  // Out of the chain: removing it and waiting for its program need no structural lock.
  std::unique_ptr<TEngineObject> removed = table.Remove(iEncoder);
  if (!removed)
    return Fail(ecHandle, false);
  static_cast<TChainEncoder*>(removed.get())->Stop();
  return Fail(ecOK, true);
}

int TAudioEngine::EncodeIsActive(uint32_t iEncoder)
{
  TPinned<TChainEncoder> encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!encoder)
    return Fail(ecHandle, int(esStopped));
  return Fail(ecOK, int(encoder->IsActive() ? esRunning : esStopped));
}

bool TAudioEngine::EncodeSetNotify(uint32_t iEncoder, TEncodeNotify iNotify)
{
  TPinned<TChainEncoder> encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!encoder)
    return Fail(ecHandle, false);
  encoder->SetNotify(std::move(iNotify));
  return Fail(ecOK, true);
}

int64_t TAudioEngine::EncodeReadOutput(uint32_t iEncoder, void* oBuffer, uint32_t iLength, int iTimeoutMilliseconds)
{
  TPinned<TChainEncoder> encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!encoder)
    return Fail(ecHandle, int64_t(-1));
  if (!oBuffer && iLength > 0)
    return Fail(ecIllegalParam, int64_t(-1));
  int64_t read = encoder->ReadOutput(oBuffer, iLength, iTimeoutMilliseconds);
  if (read < 0)
    return Fail(ecEnded, int64_t(-1));
  return Fail(ecOK, read);
}

bool TAudioEngine::EncodeGetSpan(uint32_t iEncoder, TEncodeSpan& oSpan)
{
  TPinned<TChainEncoder> encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!encoder)
    return Fail(ecHandle, false);
  oSpan = encoder->Span();
  return Fail(ecOK, true);
}

bool TAudioEngine::EncodeGetOutputInfo(uint32_t iEncoder, TEncodeOutputInfo& oInfo)
{
  TPinned<TChainEncoder> encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!encoder)
    return Fail(ecHandle, false);
  oInfo = encoder->OutputInfo();
  return Fail(ecOK, true);
}

bool TAudioEngine::EncodeCastInit(uint32_t iEncoder, const std::string& iServer, const std::string& iPassword,
                                  const TStreamInfo& iInfo)
{
  TPinned<TChainEncoder> encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!encoder)
    return Fail(ecHandle, false);
  const int error =
      encoder->CastInit({iServer, iPassword, iInfo}, TEngineState::Instance().NetTimeoutMilliseconds.load());
  return Fail(error, error == ecOK);
}

bool TAudioEngine::EncodeCastSetTitle(uint32_t iEncoder, const std::string& iTitle, const std::string& iURL)
{
  TPinned<TChainEncoder> encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!encoder)
    return Fail(ecHandle, false);
  const int error = encoder->SetTitle(iTitle, iURL);
  return Fail(error, error == ecOK);
}

uint32_t TAudioEngine::EncodeServerInit(uint32_t iEncoder, const std::string& iAddress, uint32_t iBuffer,
                                        uint32_t iBurst, uint32_t iFlags, const TStreamInfo& iInfo)
{
  TPinned<TChainEncoder> encoder = THandleTable::Instance().Pin<TChainEncoder>(iEncoder);
  if (!encoder)
    return Fail(ecHandle, 0u);
  if (iBuffer == 0)
    return Fail(ecIllegalParam, 0u);
  uint16_t port = 0;
  const int error = encoder->ServerInit(iAddress, iBuffer, iBurst, (iFlags & esfSendTitles) != 0, iInfo, port);
  return Fail(error, error == ecOK ? uint32_t(port) : 0u);
}
