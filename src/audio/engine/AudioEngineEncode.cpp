// Encoders on channels.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/CastSender.h"
#include "audio/engine/ChainEncoder.h"
#include "audio/engine/Channel.h"
#include "audio/engine/EngineState.h"
#include "audio/engine/LastError.h"

#include <algorithm>

namespace
{
// iReplaces (0: none) may give its place in iChannel's chain to a new encoder.
bool Replaceable(uint32_t iReplaces, const TPinned<TChannel>& iChannel, const TPinned<TChainEncoder>& iOld)
{
  return iChannel && (!iReplaces || (iOld && &iOld->Channel() == iChannel.Get() && !iOld->IsDetached()));
}
// Puts iEncoder into iChannel's chain, in iOld's place if given. Under the structural lock.
void Attach(TChannel& iChannel, TChainEncoder& iEncoder, TChainEncoder* iOld)
{
  if (iOld)
  {
    iChannel.ReplaceElement(iOld, &iEncoder);
    iOld->SetDetached();
  }
  else
    iChannel.InsertElement(&iEncoder);
}
// Starts an encoder for iChannel outside its chain (see EncodeStart); its handle, or 0 with the error set.
uint32_t StartEncoder(uint32_t iChannel, const std::string& iCommand, uint32_t iFlags, TEncodeNotify iNotify,
                      uint32_t iReplaces, const TCodecSettings& iCodec)
{
  TEngineState& state = TEngineState::Instance();
  THandleTable& table = THandleTable::Instance();
  // Starting (a program, a file, a queue with its thread) is slow: it happens under pins alone, without the
  // structural lock, so that other channels' file changes never wait for it. No pin is held while taking that
  // lock, as a free under it waits for pins.
  TPinned<TChannel> channel = table.Pin<TChannel>(iChannel);
  if (!channel)
    return Fail(ecHandle, 0u);
  if (!channel->Format().Float)
    return Fail(ecFormat, 0u);
  if (!Replaceable(iReplaces, channel, iReplaces ? table.Pin<TChainEncoder>(iReplaces) : TPinned<TChainEncoder>()))
    return Fail(ecHandle, 0u);
  auto element = std::make_unique<TChainEncoder>(*channel, state.EncodePriority.load(), std::move(iNotify));
  TChainEncoder* encoder = element.get();
  const uint32_t handle = table.Add(std::move(element));
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
  return handle;
}
} // namespace

uint32_t TAudioEngine::EncodeStart(uint32_t iChannel, const std::string& iCommand, uint32_t iFlags,
                                   TEncodeNotify iNotify, uint32_t iReplaces, const TCodecSettings& iCodec)
{
  TEngineState& state = TEngineState::Instance();
  THandleTable& table = THandleTable::Instance();
  const uint32_t handle = StartEncoder(iChannel, iCommand, iFlags, std::move(iNotify), iReplaces, iCodec);
  if (handle == 0)
    return 0;
  {
    std::lock_guard lock(state.Graph);
    // The channel or the replaced encoder may have gone meanwhile.
    TPinned<TChannel> channel = table.Pin<TChannel>(iChannel);
    TPinned<TChainEncoder> old = iReplaces ? table.Pin<TChainEncoder>(iReplaces) : TPinned<TChainEncoder>();
    TPinned<TChainEncoder> encoder = table.Pin<TChainEncoder>(handle);
    if (Replaceable(iReplaces, channel, old))
    {
      Attach(*channel, *encoder, old.Get());
      return Fail(ecOK, handle);
    }
  }
  // It never joined a chain: stopped outside the structural lock.
  std::unique_ptr<TEngineObject> unused = table.Remove(handle);
  static_cast<TChainEncoder*>(unused.get())->Stop();
  return Fail(ecHandle, 0u);
}

uint32_t TAudioEngine::EncodePrepare(uint32_t iChannel, const std::string& iCommand, uint32_t iFlags,
                                     TEncodeNotify iNotify, const TCodecSettings& iCodec)
{
  THandleTable& table = THandleTable::Instance();
  const uint32_t handle =
      StartEncoder(iChannel, iCommand, iFlags & ~uint32_t(efContinue), std::move(iNotify), 0, iCodec);
  if (handle == 0)
    return 0;
  {
    std::lock_guard lock(TEngineState::Instance().Graph);
    // Kept with its channel, which frees it with itself.
    if (TPinned<TChannel> channel = table.Pin<TChannel>(iChannel))
    {
      channel->Standby().push_back(table.Pin<TChainEncoder>(handle).Get());
      return Fail(ecOK, handle);
    }
  }
  std::unique_ptr<TEngineObject> unused = table.Remove(handle);
  static_cast<TChainEncoder*>(unused.get())->Stop();
  return Fail(ecHandle, 0u);
}

bool TAudioEngine::EncodeAttach(uint32_t iStandby, uint32_t iReplaces)
{
  THandleTable& table = THandleTable::Instance();
  std::lock_guard lock(TEngineState::Instance().Graph);
  // A standby's channel lives as long as the standby: freeing the channel frees it.
  TPinned<TChainEncoder> encoder = table.Pin<TChainEncoder>(iStandby);
  if (!encoder)
    return Fail(ecHandle, false);
  TChannel& channel = encoder->Channel();
  std::vector<TChainElement*>& standby = channel.Standby();
  const auto found = std::find(standby.begin(), standby.end(), encoder.Get());
  if (found == standby.end())
    return Fail(ecAlready, false);
  TPinned<TChainEncoder> old = iReplaces ? table.Pin<TChainEncoder>(iReplaces) : TPinned<TChainEncoder>();
  // The replaced one must be in the chain: not detached, not a standby itself.
  if (iReplaces && (!old || &old->Channel() != &channel || old->IsDetached() ||
                    std::find(standby.begin(), standby.end(), old.Get()) != standby.end()))
    return Fail(ecHandle, false);
  standby.erase(found);
  Attach(channel, *encoder, old.Get());
  return Fail(ecOK, true);
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
      std::vector<TChainElement*>& standby = encoder->Channel().Standby();
      standby.erase(std::remove(standby.begin(), standby.end(), encoder.Get()), standby.end());
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
