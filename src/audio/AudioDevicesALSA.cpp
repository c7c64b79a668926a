#include "audio/AudioDevicesALSA.h"

#include "audio/backends/AlsaCapture.h"

TALSADeviceInfo::TALSADeviceInfo(int iIndex, std::string iPCMName, std::string iName)
    : TDeviceInfoWithClients(iIndex, std::move(iName)), fPCMName(std::move(iPCMName))
{
}

TALSADeviceInfo::~TALSADeviceInfo() = default;

std::string TALSADeviceInfo::DeviceError() const
{
  return fCapture ? fCapture->LastError() : std::string();
}

void TALSADeviceInfo::StartDevice(uint32_t iSampleRate, bool& i16bit, bool)
{
  fCapture = std::make_unique<TAlsaCapture>(
      fPCMName, iSampleRate, i16bit, [this](const void* iBuffer, uint32_t iLength) { HandleInput(iBuffer, iLength); });
}

void TALSADeviceInfo::StopDevice()
{
  fCapture.reset();
}

uint32_t TALSADeviceInfo::GetSampleRate()
{
  return fCapture ? fCapture->SampleRate() : 0;
}
