// Mixers and their sources.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/EngineGraph.h"
#include "audio/engine/EngineState.h"
#include "audio/engine/LastError.h"
#include "audio/engine/Mixer.h"

#include <new>
#include <stdexcept>

namespace
{
constexpr uint32_t kMaxMixerRate = 384000;
}

uint32_t TAudioEngine::MixerCreate(uint32_t iRate, uint32_t iChannels, uint32_t iFlags, uint32_t iDevice)
{
  if (iRate < 1000 || iRate > kMaxMixerRate)
    return Fail(ecFrequency, 0u);
  if (iChannels != 2 || !(iFlags & chFloat))
    return Fail(ecFormat, 0u);
  bool Decode = (iFlags & chDecode) != 0;
  if (!Decode && iDevice == 0)
    return Fail(ecDevice, 0u);
  std::lock_guard Lock(TEngineState::Instance().Graph);
  uint32_t Handle = THandleTable::Instance().Add(std::make_unique<TMixer>(iRate, Decode ? 0 : iDevice));
  if (Handle == 0)
    return Fail(ecNoChannel, 0u);
  return Fail(ecOK, Handle);
}

bool TAudioEngine::MixerAddChannel(uint32_t iMixer, uint32_t iChannel, uint32_t iFlags)
{
  std::lock_guard Lock(TEngineState::Instance().Graph);
  THandleTable& Table = THandleTable::Instance();
  TPinned<TMixer> Mixer = Table.Pin<TMixer>(iMixer);
  TPinned<TChannel> Channel = Table.Pin<TChannel>(iChannel);
  if (!Mixer || !Channel)
    return Fail(ecHandle, false);
  if (!Channel->IsDecode())
    return Fail(ecNotDecodeChannel, false);
  if (Channel->Mixer())
    return Fail(ecAlready, false);
  if (Channel.Get() == Mixer.Get() || IsAncestor(*Channel, *Mixer))
    return Fail(ecIllegalParam, false);
  try
  {
    Mixer->AddSource(*Channel);
  }
  catch (const std::bad_alloc&)
  {
    return Fail(ecMemory, false);
  }
  catch (const std::runtime_error&)
  {
    return Fail(ecFormat, false);
  }
  return Fail(ecOK, true);
}

bool TAudioEngine::MixerRemoveChannel(uint32_t iChannel)
{
  std::unique_ptr<TMixerSource> Removed;
  std::lock_guard Lock(TEngineState::Instance().Graph);
  TPinned<TChannel> Channel = THandleTable::Instance().Pin<TChannel>(iChannel);
  if (!Channel)
    return Fail(ecHandle, false);
  if (!Channel->Mixer())
    return Fail(ecNotAvailable, false);
  Removed = Channel->Mixer()->RemoveSource(*Channel);
  return Fail(ecOK, true);
}

bool TAudioEngine::MixerGetSourceInfo(uint32_t iChannel, TMixerSourceInfo& oInfo)
{
  std::lock_guard Lock(TEngineState::Instance().Graph);
  TPinned<TChannel> Channel = THandleTable::Instance().Pin<TChannel>(iChannel);
  if (!Channel)
    return Fail(ecHandle, false);
  const TMixerSource* Source = Channel->Mixer() ? Channel->Mixer()->FindSource(*Channel) : nullptr;
  if (!Source)
    return Fail(ecNotAvailable, false);
  oInfo = Source->Info();
  return Fail(ecOK, true);
}

bool TAudioEngine::ChannelPlay(uint32_t iHandle)
{
  std::lock_guard Lock(TEngineState::Instance().Graph);
  TPinned<TChannel> Channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!Channel)
    return Fail(ecHandle, false);
  TMixer* Mixer = dynamic_cast<TMixer*>(Channel.Get());
  if (Channel->IsDecode() || !Mixer)
    return Fail(ecDecode, false);
  try
  {
    Mixer->Play();
  }
  catch (const std::runtime_error&)
  {
    return Fail(ecDevice, false);
  }
  return Fail(ecOK, true);
}

bool TAudioEngine::ChannelSetAttribute(uint32_t iHandle, uint32_t iAttribute, float iValue)
{
  TPinned<TChannel> Channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!Channel)
    return Fail(ecHandle, false);
  if (iAttribute != atVolume)
    return Fail(ecIllegalType, false);
  // Output devices only pace their mixers; they always play silence.
  if (Channel->IsDecode() || iValue != 0.0f)
    return Fail(ecNotAvailable, false);
  return Fail(ecOK, true);
}
