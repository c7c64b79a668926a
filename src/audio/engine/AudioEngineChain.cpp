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
  std::lock_guard Lock(TEngineState::Instance().Graph);
  THandleTable& Table = THandleTable::Instance();
  TPinned<TChannel> Channel = Table.Pin<TChannel>(iHandle);
  if (!Channel)
    return Fail(ecHandle, 0u);
  if (!Channel->Format().Float)
    return Fail(ecFormat, 0u);
  auto Element = std::make_unique<TElement>(*Channel, iPriority, std::forward<TArgs>(iArgs)...);
  TElement* Added = Element.get();
  uint32_t Handle = Table.Add(std::move(Element));
  if (Handle == 0)
    return Fail(ecNoChannel, 0u);
  Channel->InsertElement(Added);
  return Fail(ecOK, Handle);
}

// Removes chain element iElement of type TElement from channel iHandle.
template <class TElement> bool RemoveElement(uint32_t iHandle, uint32_t iElement)
{
  std::unique_ptr<TEngineObject> Removed;
  std::lock_guard Lock(TEngineState::Instance().Graph);
  THandleTable& Table = THandleTable::Instance();
  {
    TPinned<TChannel> Channel = Table.Pin<TChannel>(iHandle);
    TPinned<TElement> Element = Table.Pin<TElement>(iElement);
    if (!Channel || !Element || &Element->Channel() != Channel.Get())
      return Fail(ecHandle, false);
    Channel->RemoveElement(Element.Get());
  }
  Removed = Table.Remove(iElement);
  return Fail(ecOK, true);
}

// The effect of type TEffect behind iFX: ecIllegalType when it is an effect of another type.
template <class TEffect> TPinned<TEffect> PinEffect(uint32_t iFX)
{
  THandleTable& Table = THandleTable::Instance();
  TPinned<TEffect> Effect = Table.Pin<TEffect>(iFX);
  if (!Effect)
    SetLastEngineError(Table.Pin<TChainElement>(iFX) ? ecIllegalType : ecHandle);
  return Effect;
}
} // namespace

uint32_t TAudioEngine::ChannelSetDSP(uint32_t iHandle, TDspCallback iCallback, int32_t iPriority, uint32_t iReplaces)
{
  if (!iCallback)
    return Fail(ecIllegalParam, 0u);
  if (iReplaces == 0)
    return AddElement<TDspElement>(iHandle, iPriority, std::move(iCallback));
  std::unique_ptr<TEngineObject> Replaced;
  std::lock_guard Lock(TEngineState::Instance().Graph);
  THandleTable& Table = THandleTable::Instance();
  uint32_t Handle = 0;
  {
    TPinned<TChannel> Channel = Table.Pin<TChannel>(iHandle);
    TPinned<TDspElement> Old = Table.Pin<TDspElement>(iReplaces);
    if (!Channel || !Old || &Old->Channel() != Channel.Get())
      return Fail(ecHandle, 0u);
    auto Element = std::make_unique<TDspElement>(*Channel, iPriority, std::move(iCallback));
    TDspElement* Added = Element.get();
    Handle = Table.Add(std::move(Element));
    if (Handle == 0)
      return Fail(ecNoChannel, 0u);
    Channel->ReplaceElement(Old.Get(), Added);
  }
  Replaced = Table.Remove(iReplaces);
  return Fail(ecOK, Handle);
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
    TChannelInfo Info;
    if (ChannelGetInfo(iHandle, Info) && Info.Channels != 2)
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
  TPinned<TChannelMapEffect> Effect = PinEffect<TChannelMapEffect>(iFX);
  if (!Effect)
    return false;
  if (!Effect->SetParameters(iParameters))
    return Fail(ecIllegalParam, false);
  return Fail(ecOK, true);
}

bool TAudioEngine::FXSetParameters(uint32_t iFX, const TDelayParameters& iParameters)
{
  // The structural lock keeps the effect's channel alive while the new line is swapped in.
  std::lock_guard Lock(TEngineState::Instance().Graph);
  TPinned<TDelayEffect> Effect = PinEffect<TDelayEffect>(iFX);
  if (!Effect)
    return false;
  int Error = Effect->SetParameters(iParameters);
  return Fail(Error, Error == ecOK);
}

bool TAudioEngine::FXGetParameters(uint32_t iFX, TChannelMapParameters& oParameters)
{
  TPinned<TChannelMapEffect> Effect = PinEffect<TChannelMapEffect>(iFX);
  if (!Effect)
    return false;
  oParameters = Effect->Parameters();
  return Fail(ecOK, true);
}

bool TAudioEngine::FXGetParameters(uint32_t iFX, TDelayParameters& oParameters)
{
  std::lock_guard Lock(TEngineState::Instance().Graph);
  TPinned<TDelayEffect> Effect = PinEffect<TDelayEffect>(iFX);
  if (!Effect)
    return false;
  oParameters = Effect->Parameters();
  return Fail(ecOK, true);
}
