// DSP callbacks and effects in a channel's chain.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/Channel.h"
#include "audio/engine/ChannelMapEffect.h"
#include "audio/engine/DelayEffect.h"
#include "audio/engine/DspElement.h"
#include "audio/engine/EngineState.h"
#include "audio/engine/LastError.h"

namespace
{
// Adds a new chain element to the float channel iHandle; returns its handle or 0 with the error set.
template <class TElement, class... TArgs> uint32_t AddElement(uint32_t iHandle, int32_t iPriority, TArgs&&... iArgs)
{
  std::lock_guard lock(TEngineState::Instance().Graph);
  THandleTable& table = THandleTable::Instance();
  TPinned<TChannel> channel = table.Pin<TChannel>(iHandle);
  if (!channel)
    return Fail(ecHandle, 0u);
  if (!channel->Format().Float)
    return Fail(ecFormat, 0u);
  auto element = std::make_unique<TElement>(*channel, iPriority, std::forward<TArgs>(iArgs)...);
  TElement* added = element.get();
  uint32_t handle = table.Add(std::move(element));
  if (handle == 0)
    return Fail(ecNoChannel, 0u);
  channel->InsertElement(added);
  return Fail(ecOK, handle);
}

// Removes chain element iElement of type TElement from channel iHandle.
template <class TElement> bool RemoveElement(uint32_t iHandle, uint32_t iElement)
{
  std::unique_ptr<TEngineObject> removed;
  std::lock_guard lock(TEngineState::Instance().Graph);
  THandleTable& table = THandleTable::Instance();
  {
    TPinned<TChannel> channel = table.Pin<TChannel>(iHandle);
    TPinned<TElement> element = table.Pin<TElement>(iElement);
    if (!channel || !element || &element->Channel() != channel.Get())
      return Fail(ecHandle, false);
    channel->RemoveElement(element.Get());
  }
  removed = table.Remove(iElement);
  return Fail(ecOK, true);
}

// The effect of type TEffect behind iFX: ecIllegalType when it is an effect of another type.
template <class TEffect> TPinned<TEffect> PinEffect(uint32_t iFX)
{
  THandleTable& table = THandleTable::Instance();
  TPinned<TEffect> effect = table.Pin<TEffect>(iFX);
  if (!effect)
    SetLastEngineError(table.Pin<TChainElement>(iFX) ? ecIllegalType : ecHandle);
  return effect;
}
} // namespace

uint32_t TAudioEngine::ChannelSetDSP(uint32_t iHandle, TDspCallback iCallback, int32_t iPriority, uint32_t iReplaces)
{
  if (!iCallback)
    return Fail(ecIllegalParam, 0u);
  if (iReplaces == 0)
    return AddElement<TDspElement>(iHandle, iPriority, std::move(iCallback));
  std::unique_ptr<TEngineObject> replaced;
  std::lock_guard lock(TEngineState::Instance().Graph);
  THandleTable& table = THandleTable::Instance();
  uint32_t handle = 0;
  {
    TPinned<TChannel> channel = table.Pin<TChannel>(iHandle);
    TPinned<TDspElement> old = table.Pin<TDspElement>(iReplaces);
    if (!channel || !old || &old->Channel() != channel.Get())
      return Fail(ecHandle, 0u);
    auto element = std::make_unique<TDspElement>(*channel, iPriority, std::move(iCallback));
    TDspElement* added = element.get();
    handle = table.Add(std::move(element));
    if (handle == 0)
      return Fail(ecNoChannel, 0u);
    channel->ReplaceElement(old.Get(), added);
  }
  replaced = table.Remove(iReplaces);
  return Fail(ecOK, handle);
}

bool TAudioEngine::ChannelRemoveDSP(uint32_t iHandle, uint32_t iDSP)
{
  return RemoveElement<TDspElement>(iHandle, iDSP);
}

uint32_t TAudioEngine::ChannelSetFX(uint32_t iHandle, uint32_t iType, int32_t iPriority)
{
  switch (iType)
  {
  case fxChannelMap:
  {
    TChannelInfo info;
    if (ChannelGetInfo(iHandle, info) && info.Channels != 2)
      return Fail(ecFormat, 0u);
    return AddElement<TChannelMapEffect>(iHandle, iPriority);
  }
  case fxDelay:
    return AddElement<TDelayEffect>(iHandle, iPriority);
  default:
    return Fail(ecIllegalType, 0u);
  }
}

bool TAudioEngine::ChannelRemoveFX(uint32_t iHandle, uint32_t iFX)
{
  if (THandleTable::Instance().Pin<TChannelMapEffect>(iFX))
    return RemoveElement<TChannelMapEffect>(iHandle, iFX);
  return RemoveElement<TDelayEffect>(iHandle, iFX);
}

bool TAudioEngine::FXSetParameters(uint32_t iFX, const TChannelMapParameters& iParameters)
{
  TPinned<TChannelMapEffect> effect = PinEffect<TChannelMapEffect>(iFX);
  if (!effect)
    return false;
  if (!effect->SetParameters(iParameters))
    return Fail(ecIllegalParam, false);
  return Fail(ecOK, true);
}

bool TAudioEngine::FXSetParameters(uint32_t iFX, const TDelayParameters& iParameters)
{
  // The structural lock keeps the effect's channel alive while the new line is swapped in.
  std::lock_guard lock(TEngineState::Instance().Graph);
  TPinned<TDelayEffect> effect = PinEffect<TDelayEffect>(iFX);
  if (!effect)
    return false;
  int error = effect->SetParameters(iParameters);
  return Fail(error, error == ecOK);
}

bool TAudioEngine::FXGetParameters(uint32_t iFX, TChannelMapParameters& oParameters)
{
  TPinned<TChannelMapEffect> effect = PinEffect<TChannelMapEffect>(iFX);
  if (!effect)
    return false;
  oParameters = effect->Parameters();
  return Fail(ecOK, true);
}

bool TAudioEngine::FXGetParameters(uint32_t iFX, TDelayParameters& oParameters)
{
  std::lock_guard lock(TEngineState::Instance().Graph);
  TPinned<TDelayEffect> effect = PinEffect<TDelayEffect>(iFX);
  if (!effect)
    return false;
  oParameters = effect->Parameters();
  return Fail(ecOK, true);
}
