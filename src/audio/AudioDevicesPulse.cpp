#include "audio/AudioDevicesPulse.h"

#include "audio/backends/PulseCapture.h"

TPulseDeviceInfo::TPulseDeviceInfo(int iIndex, std::string iSourceName, std::string iName)
    : TDeviceInfoWithClients(iIndex, std::move(iName)), fSourceName(std::move(iSourceName))
{
}

std::unique_ptr<ICaptureInput> TPulseDeviceInfo::OpenCapture(uint32_t iSampleRate, bool& i16bit, bool)
{
  i16bit = false;
  return std::make_unique<TPulseCapture>(fSourceName, iSampleRate, InputProc());
}
