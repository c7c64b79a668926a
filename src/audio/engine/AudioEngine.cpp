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
  TEngineState& state = TEngineState::Instance();
  switch (iOption)
  {
  case cfFloatDSP:
    return &state.FloatDSP;
  case cfNetPlaylist:
    return &state.NetPlaylist;
  case cfNetTimeout:
    return &state.NetTimeoutMilliseconds;
  case cfEncodePriority:
    return &state.EncodePriority;
  case cfEncodeQueue:
    return &state.EncodeQueueMilliseconds;
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
  std::atomic<int32_t>* value = ConfigValue(iOption);
  if (!value)
    return Fail(ecIllegalType, false);
  if ((iOption == cfEncodeQueue && iValue < 0) || (iOption == cfNetTimeout && iValue <= 0))
    return Fail(ecIllegalParam, false);
  // Callbacks always get float samples here.
  if (iOption == cfFloatDSP && iValue == 0)
    return Fail(ecNotAvailable, false);
  value->store(iValue);
  return Fail(ecOK, true);
}

int32_t TAudioEngine::GetConfig(uint32_t iOption)
{
  std::atomic<int32_t>* value = ConfigValue(iOption);
  if (!value)
    return Fail(ecIllegalType, -1);
  return Fail(ecOK, value->load());
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
  TChannelFormat format{iRate, iChannels, (iFlags & chFloat) != 0};
  std::lock_guard lock(TEngineState::Instance().Graph);
  uint32_t handle = THandleTable::Instance().Add(std::make_unique<TPushStream>(format));
  if (handle == 0)
    return Fail(ecNoChannel, 0u);
  return Fail(ecOK, handle);
}

int64_t TAudioEngine::StreamPutData(uint32_t iHandle, const void* iBuffer, uint32_t iLength)
{
  TPinned<TPushStream> stream = THandleTable::Instance().Pin<TPushStream>(iHandle);
  if (!stream)
    return Fail(ecHandle, int64_t(-1));
  if (!iBuffer && iLength > 0)
    return Fail(ecIllegalParam, int64_t(-1));
  stream->PutData(iBuffer, iLength);
  return Fail(ecOK, int64_t(stream->QueuedFrames() * stream->Format().FrameBytes()));
}

bool TAudioEngine::StreamFree(uint32_t iHandle)
{
  TGarbage garbage;
  {
    std::lock_guard lock(TEngineState::Instance().Graph);
    if (!FreeChannel(iHandle, garbage))
      return Fail(ecHandle, false);
  }
  // Encoders among the garbage wait for their programs: outside the structural lock.
  garbage.clear();
  return Fail(ecOK, true);
}

bool TAudioEngine::ChannelGetInfo(uint32_t iHandle, TChannelInfo& oInfo)
{
  TPinned<TChannel> channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!channel)
    return Fail(ecHandle, false);
  const TChannelFormat& format = channel->Format();
  oInfo.Rate = format.Rate;
  oInfo.Channels = format.Channels;
  oInfo.Flags = (format.Float ? uint32_t(chFloat) : 0u) | (channel->IsDecode() ? uint32_t(chDecode) : 0u);
  TPushStream* push = dynamic_cast<TPushStream*>(channel.Get());
  oInfo.DroppedBytes = push ? push->DroppedBytes() : 0;
  return Fail(ecOK, true);
}

int64_t TAudioEngine::ChannelGetData(uint32_t iHandle, void* oBuffer, uint32_t iLength)
{
  TPinned<TChannel> channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!channel)
    return Fail(ecHandle, int64_t(-1));
  if (!channel->IsDecode())
    return Fail(ecNotDecodeChannel, int64_t(-1));
  if (!oBuffer && iLength > 0)
    return Fail(ecIllegalParam, int64_t(-1));
  return Fail(ecOK, int64_t(channel->Read(oBuffer, iLength)));
}

int64_t TAudioEngine::ChannelGetPosition(uint32_t iHandle)
{
  TPinned<TChannel> channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!channel)
    return Fail(ecHandle, int64_t(-1));
  return Fail(ecOK, int64_t(channel->Position() * channel->Format().FrameBytes()));
}

int64_t TAudioEngine::ChannelSeconds2Bytes(uint32_t iHandle, double iSeconds)
{
  TPinned<TChannel> channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!channel)
    return Fail(ecHandle, int64_t(-1));
  if (!(iSeconds >= 0) || !std::isfinite(iSeconds))
    return Fail(ecIllegalParam, int64_t(-1));
  const TChannelFormat& format = channel->Format();
  return Fail(ecOK, int64_t(std::floor(iSeconds * format.Rate + 1e-9)) * format.FrameBytes());
}

double TAudioEngine::ChannelBytes2Seconds(uint32_t iHandle, int64_t iBytes)
{
  TPinned<TChannel> channel = THandleTable::Instance().Pin<TChannel>(iHandle);
  if (!channel)
    return Fail(ecHandle, -1.0);
  if (iBytes < 0)
    return Fail(ecIllegalParam, -1.0);
  const TChannelFormat& format = channel->Format();
  return Fail(ecOK, double(iBytes) / (double(format.Rate) * format.FrameBytes()));
}
