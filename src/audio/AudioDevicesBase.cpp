#include "audio/AudioDevicesBase.h"

#include "audio/engine/AudioEngine.h"

#include <algorithm>

namespace
{
std::mutex gDeviceLogMutex;
std::function<void(const std::string&)> gDeviceLogProc;
} // namespace

void SetDeviceLogProc(std::function<void(const std::string&)> iProc)
{
  std::lock_guard lock(gDeviceLogMutex);
  gDeviceLogProc = std::move(iProc);
}

void DeviceLog(const std::string& iLine)
{
  std::lock_guard lock(gDeviceLogMutex);
  if (gDeviceLogProc)
    gDeviceLogProc(iLine);
}

TDeviceInfoWithClients::TDeviceInfoWithClients(int iIndex, std::string iName) : TDeviceInfo(iIndex, std::move(iName)) {}

TDeviceInfoWithClients::~TDeviceInfoWithClients()
{
  StopDevice();
}

uint32_t TDeviceInfoWithClients::AddClient(uint32_t iSampleRate, bool i16bit, bool iASIOWorkaround)
{
  std::lock_guard lock(fChangeMutex);
  const bool first = fClients.Current().empty();
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
  auto clients = std::make_unique<std::vector<uint32_t>>(fClients.Current());
  clients->push_back(stream);
  fClients.Publish(std::move(clients));
  return stream;
}

void TDeviceInfoWithClients::RemoveClient(uint32_t iClient)
{
  std::lock_guard lock(fChangeMutex);
  const std::vector<uint32_t>& current = fClients.Current();
  const auto found = std::find(current.begin(), current.end(), iClient);
  if (found == current.end())
    return;
  auto clients = std::make_unique<std::vector<uint32_t>>(current);
  clients->erase(clients->begin() + (found - current.begin()));
  const bool last = clients->empty();
  fClients.Publish(std::move(clients));
  if (last)
    StopDevice();
}

void TDeviceInfoWithClients::HandleInput(const void* iBuffer, uint32_t iLength)
{
  fClients.Read(
      [&](const std::vector<uint32_t>& iClients)
      {
        for (const uint32_t stream : iClients)
          TAudioEngine::StreamPutData(stream, iBuffer, iLength);
      });
}

std::vector<uint32_t> TDeviceInfoWithClients::Clients() const
{
  std::lock_guard lock(fChangeMutex);
  return fClients.Current();
}

std::string TDeviceInfoWithClients::LastError() const
{
  std::lock_guard lock(fCaptureMutex);
  return fCapture ? fCapture->LastError() : std::string();
}

uint64_t TDeviceInfoWithClients::Xruns() const
{
  std::lock_guard lock(fCaptureMutex);
  return fCapture ? fCapture->Xruns() : 0;
}

TCaptureDataProc TDeviceInfoWithClients::InputProc()
{
  return [this](const void* iBuffer, uint32_t iLength) { HandleInput(iBuffer, iLength); };
}

void TDeviceInfoWithClients::StartDevice(uint32_t iSampleRate, bool& i16bit, bool iASIOWorkaround)
{
  std::unique_ptr<ICaptureInput> capture = OpenCapture(iSampleRate, i16bit, iASIOWorkaround);
  std::lock_guard lock(fCaptureMutex);
  fCapture = std::move(capture);
}

void TDeviceInfoWithClients::StopDevice()
{
  std::unique_ptr<ICaptureInput> capture;
  {
    std::lock_guard lock(fCaptureMutex);
    capture = std::move(fCapture);
  }
}

uint32_t TDeviceInfoWithClients::GetSampleRate() const
{
  std::lock_guard lock(fCaptureMutex);
  return fCapture ? fCapture->SampleRate() : 0;
}
