#include "audio/AudioDevicesBase.h"

#include "audio/engine/AudioEngine.h"

#include <algorithm>
#include <thread>

TDeviceInfoWithClients::TDeviceInfoWithClients(int iIndex, std::string iName)
    : TDeviceInfo(iIndex, std::move(iName)), fClients(std::make_unique<const TClientList>()),
      fPublishedClients(fClients.get())
{
}

TDeviceInfoWithClients::~TDeviceInfoWithClients() = default;

uint32_t TDeviceInfoWithClients::AddClient(uint32_t iSampleRate, bool i16bit, bool iASIOWorkaround)
{
  std::lock_guard lock(fChangeMutex);
  const bool first = fClients->empty();
  if (first)
  {
    StartDevice(iSampleRate, i16bit, iASIOWorkaround);
    fRunning16bit = i16bit;
  }
  // A stream declared in another format than the buffers arrive in would turn them into noise.
  const uint32_t flags = chDecode | (fRunning16bit ? 0u : static_cast<uint32_t>(chFloat));
  const uint32_t stream = TAudioEngine::StreamCreatePush(GetSampleRate(), static_cast<uint32_t>(fChannelCount), flags);
  if (stream == 0)
  {
    if (first)
      StopDevice();
    return 0;
  }
  auto clients = std::make_unique<TClientList>(*fClients);
  clients->push_back(stream);
  Publish(std::move(clients));
  return stream;
}

void TDeviceInfoWithClients::RemoveClient(uint32_t iClient)
{
  std::lock_guard lock(fChangeMutex);
  const auto found = std::find(fClients->begin(), fClients->end(), iClient);
  if (found == fClients->end())
    return;
  auto clients = std::make_unique<TClientList>(*fClients);
  clients->erase(clients->begin() + (found - fClients->begin()));
  const bool last = clients->empty();
  Publish(std::move(clients));
  if (last)
    StopDevice();
}

void TDeviceInfoWithClients::HandleInput(const void* iBuffer, uint32_t iLength)
{
  fActiveReaders.fetch_add(1);
  for (const uint32_t stream : *fPublishedClients.load())
    TAudioEngine::StreamPutData(stream, iBuffer, iLength);
  fActiveReaders.fetch_sub(1);
}

std::vector<uint32_t> TDeviceInfoWithClients::Clients() const
{
  std::lock_guard lock(fChangeMutex);
  return *fClients;
}

std::string TDeviceInfoWithClients::LastError() const
{
  std::lock_guard lock(fChangeMutex);
  return DeviceError();
}

void TDeviceInfoWithClients::Publish(std::unique_ptr<const TClientList> iClients)
{
  fPublishedClients.store(iClients.get());
  // A capture pass that began before the store may still walk the old list. Passes are a few stream copies
  // long and the capture thread never waits for this one, so this wait is short.
  while (fActiveReaders.load() != 0)
    std::this_thread::yield();
  fClients = std::move(iClients);
}
