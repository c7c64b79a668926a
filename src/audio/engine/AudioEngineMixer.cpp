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
  bool decode = (iFlags & chDecode) != 0;
  if (!decode && iDevice == 0)
    return Fail(ecDevice, 0u);
  std::lock_guard lock(TEngineState::Instance().Graph);
  uint32_t handle = THandleTable::Instance().Add(std::make_unique<TMixer>(iRate, decode ? 0 : iDevice));
  if (handle == 0)
    return Fail(ecNoChannel, 0u);
  return Fail(ecOK, handle);
}

bool TAudioEngine::MixerAddChannel(uint32_t iMixer, uint32_t iChannel, uint32_t iFlags)
{
  std::lock_guard lock(TEngineState::Instance().Graph);
  THandleTable& table = THandleTable::Instance();
  TPinned<TMixer> mixer = table.Pin<TMixer>(iMixer);
  TPinned<TChannel> channel = table.Pin<TChannel>(iChannel);
  if (!mixer || !channel)
    return Fail(ecHandle, false);
  if (!channel->IsDecode())
    return Fail(ecNotDecodeChannel, false);
  if (channel->Mixer())
    return Fail(ecAlready, false);
  if (channel.Get() == mixer.Get() || IsAncestor(*channel, *mixer))
    return Fail(ecIllegalParam, false);
  try
  {
    mixer->AddSource(*channel);
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
  std::unique_ptr<TMixerSource> removed;
  std::lock_guard lock(TEngineState::Instance().Graph);
  TPinned<TChannel> channel = THandleTable::Instance().Pin<TChannel>(iChannel);
  if (!channel)
    return Fail(ecHandle, false);
  if (!channel->Mixer())
    return Fail(ecNotAvailable, false);
  removed = channel->Mixer()->RemoveSource(*channel);
  return Fail(ecOK, true);
}

bool TAudioEngine::MixerGetSourceInfo(uint32_t iChannel, TMixerSourceInfo& oInfo)
{
  std::lock_guard lock(TEngineState::Instance().Graph);
  TPinned<TChannel> channel = THandleTable::Instance().Pin<TChannel>(iChannel);
  if (!channel)
    return Fail(ecHandle, false);
  const TMixerSource* source = channel->Mixer() ? channel->Mixer()->FindSource(*channel) : nullptr;
  if (!source)
    return Fail(ecNotAvailable, false);
  oInfo = source->Info();
  return Fail(ecOK, true);
}

bool TAudioEngine::ChannelPlay(uint32_t iHandle)
{
  std::lock_guard lock(TEngineState::Instance().Graph);
  TPinned<TChannel> channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!channel)
    return Fail(ecHandle, false);
  TMixer* mixer = dynamic_cast<TMixer*>(channel.Get());
  if (channel->IsDecode() || !mixer)
    return Fail(ecDecode, false);
  try
  {
    mixer->Play();
  }
  catch (const std::runtime_error&)
  {
    return Fail(ecDevice, false);
  }
  return Fail(ecOK, true);
}

bool TAudioEngine::ChannelSetAttribute(uint32_t iHandle, uint32_t iAttribute, float iValue)
{
  TPinned<TChannel> channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!channel)
    return Fail(ecHandle, false);
  if (iAttribute != atVolume)
    return Fail(ecIllegalType, false);
  // Output devices only pace their mixers; they always play silence.
  if (channel->IsDecode() || iValue != 0.0f)
    return Fail(ecNotAvailable, false);
  return Fail(ecOK, true);
}
