#include "audio/AudioDevicesALSA.h"

#include "audio/backends/AlsaCapture.h"

TALSADeviceInfo::TALSADeviceInfo(int iIndex, std::string iPCMName, std::string iName)
    : TDeviceInfoWithClients(iIndex, std::move(iName)), fPCMName(std::move(iPCMName))
{
}

std::unique_ptr<ICaptureInput> TALSADeviceInfo::OpenCapture(uint32_t iSampleRate, bool& i16bit, bool)
{
  return std::make_unique<TAlsaCapture>(fPCMName, iSampleRate, i16bit, InputProc());
}
