// Errors, configuration, push streams, freeing and reading channels.

#include "audio/engine/AudioEngine.h"

#include "audio/engine/EngineGraph.h"
#include "audio/engine/EngineState.h"
#include "audio/engine/LastError.h"
#include "audio/engine/PushStream.h"

#include <cmath>

namespace
{
constexpr uint32_t kMaxRate = 768000;
constexpr uint32_t kMaxChannels = 32;

std::atomic<int32_t>* ConfigValue(uint32_t iOption)
{
  TEngineState& State = TEngineState::Instance();
  switch (iOption)
  {
  case cfFloatDSP:
    return &State.FloatDSP;
  case cfNetPlaylist:
    return &State.NetPlaylist;
  case cfNetTimeout:
    return &State.NetTimeoutMilliseconds;
  case cfEncodePriority:
    return &State.EncodePriority;
  case cfEncodeQueue:
    return &State.EncodeQueueMilliseconds;
  default:
    return nullptr;
  }
}
} // namespace

int TAudioEngine::ErrorGetCode()
{
  return LastEngineError();
}

bool TAudioEngine::SetConfig(uint32_t iOption, int32_t iValue)
{
  std::atomic<int32_t>* Value = ConfigValue(iOption);
  if (!Value)
    return Fail(ecIllegalType, false);
  if ((iOption == cfEncodeQueue && iValue < 0) || (iOption == cfNetTimeout && iValue <= 0))
    return Fail(ecIllegalParam, false);
  // Callbacks always get float samples here.
  if (iOption == cfFloatDSP && iValue == 0)
    return Fail(ecNotAvailable, false);
  Value->store(iValue);
  return Fail(ecOK, true);
}

int32_t TAudioEngine::GetConfig(uint32_t iOption)
{
  std::atomic<int32_t>* Value = ConfigValue(iOption);
  if (!Value)
    return Fail(ecIllegalType, -1);
  return Fail(ecOK, Value->load());
}

std::unique_lock<std::mutex> TAudioEngine::LockEncoderSetup()
{
  return std::unique_lock(TEngineState::Instance().EncoderSetup);
}

uint32_t TAudioEngine::StreamCreatePush(uint32_t iRate, uint32_t iChannels, uint32_t iFlags)
{
  if (!(iFlags & chDecode))
    return Fail(ecIllegalParam, 0u);
  if (iRate == 0 || iRate > kMaxRate)
    return Fail(ecFrequency, 0u);
  if (iChannels == 0 || iChannels > kMaxChannels)
    return Fail(ecFormat, 0u);
  TChannelFormat Format{iRate, iChannels, (iFlags & chFloat) != 0};
  std::lock_guard Lock(TEngineState::Instance().Graph);
  uint32_t Handle = THandleTable::Instance().Add(std::make_unique<TPushStream>(Format));
  if (Handle == 0)
    return Fail(ecNoChannel, 0u);
  return Fail(ecOK, Handle);
}

int64_t TAudioEngine::StreamPutData(uint32_t iHandle, const void* iBuffer, uint32_t iLength)
{
  TPinned<TPushStream> Stream = THandleTable::Instance().Pin<TPushStream>(iHandle);
  if (!Stream)
    return Fail(ecHandle, int64_t(-1));
  if (!iBuffer && iLength > 0)
    return Fail(ecIllegalParam, int64_t(-1));
  Stream->PutData(iBuffer, iLength);
  return Fail(ecOK, int64_t(Stream->QueuedFrames() * Stream->Format().FrameBytes()));
}

bool TAudioEngine::StreamFree(uint32_t iHandle)
{
  TGarbage Garbage;
  {
    std::lock_guard Lock(TEngineState::Instance().Graph);
    if (!FreeChannel(iHandle, Garbage))
      return Fail(ecHandle, false);
  }
  // Encoders among the garbage wait for their programs: outside the structural lock.
  Garbage.clear();
  return Fail(ecOK, true);
}

bool TAudioEngine::ChannelGetInfo(uint32_t iHandle, TChannelInfo& oInfo)
{
  TPinned<TChannel> Channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!Channel)
    return Fail(ecHandle, false);
  const TChannelFormat& Format = Channel->Format();
  oInfo.Rate = Format.Rate;
  oInfo.Channels = Format.Channels;
  oInfo.Flags = (Format.Float ? uint32_t(chFloat) : 0u) | (Channel->IsDecode() ? uint32_t(chDecode) : 0u);
  TPushStream* Push = dynamic_cast<TPushStream*>(Channel.Get());
  oInfo.DroppedBytes = Push ? Push->DroppedBytes() : 0;
  return Fail(ecOK, true);
}

int64_t TAudioEngine::ChannelGetData(uint32_t iHandle, void* oBuffer, uint32_t iLength)
{
  TPinned<TChannel> Channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!Channel)
    return Fail(ecHandle, int64_t(-1));
  if (!Channel->IsDecode())
    return Fail(ecNotDecodeChannel, int64_t(-1));
  if (!oBuffer && iLength > 0)
    return Fail(ecIllegalParam, int64_t(-1));
  return Fail(ecOK, int64_t(Channel->Read(oBuffer, iLength)));
}

int64_t TAudioEngine::ChannelGetPosition(uint32_t iHandle)
{
  TPinned<TChannel> Channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!Channel)
    return Fail(ecHandle, int64_t(-1));
  return Fail(ecOK, int64_t(Channel->Position() * Channel->Format().FrameBytes()));
}

int64_t TAudioEngine::ChannelSeconds2Bytes(uint32_t iHandle, double iSeconds)
{
  TPinned<TChannel> Channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!Channel)
    return Fail(ecHandle, int64_t(-1));
  if (!(iSeconds >= 0) || !std::isfinite(iSeconds))
    return Fail(ecIllegalParam, int64_t(-1));
  const TChannelFormat& Format = Channel->Format();
  return Fail(ecOK, int64_t(std::floor(iSeconds * Format.Rate + 1e-9)) * Format.FrameBytes());
}

double TAudioEngine::ChannelBytes2Seconds(uint32_t iHandle, int64_t iBytes)
{
  TPinned<TChannel> Channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!Channel)
    return Fail(ecHandle, -1.0);
  if (iBytes < 0)
    return Fail(ecIllegalParam, -1.0);
  const TChannelFormat& Format = Channel->Format();
  return Fail(ecOK, double(iBytes) / (double(Format.Rate) * Format.FrameBytes()));
}
