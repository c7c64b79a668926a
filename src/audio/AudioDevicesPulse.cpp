#include "audio/AudioDevicesPulse.h"

#include "audio/backends/PulseCapture.h"

TPulseDeviceInfo::TPulseDeviceInfo(int iIndex, std::string iSourceName, std::string iName)
    : TDeviceInfoWithClients(iIndex, std::move(iName)), fSourceName(std::move(iSourceName))
{
}

TPulseDeviceInfo::~TPulseDeviceInfo() = default;

std::string TPulseDeviceInfo::DeviceError() const
{
  return fCapture ? fCapture->LastError() : std::string();
}

void TPulseDeviceInfo::StartDevice(uint32_t iSampleRate, bool& i16bit, bool)
{
  fCapture = std::make_unique<TPulseCapture>(
      fSourceName, iSampleRate, [this](const void* iBuffer, uint32_t iLength) { HandleInput(iBuffer, iLength); });
  i16bit = false;
}

void TPulseDeviceInfo::StopDevice()
{
  fCapture.reset();
}

uint32_t TPulseDeviceInfo::GetSampleRate()
{
  return fCapture ? fCapture->SampleRate() : 0;
}
