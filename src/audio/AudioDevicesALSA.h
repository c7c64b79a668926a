#pragma once
// ALSA capture PCMs as inputs of the registry: "ALSA:<pcm name>", shown as "ALSA: <description>".

#include "audio/AudioDevicesBase.h"

#include <memory>
#include <string>

class TAlsaCapture;

class TALSADeviceInfo final : public TDeviceInfoWithClients
{
public:
  TALSADeviceInfo(int iIndex, std::string iPCMName, std::string iName);
  ~TALSADeviceInfo() override;

  const std::string& PCMName() const { return fPCMName; }

private:
  // Captures in the client's format (16-bit or float); the device's own format is converted when it differs.
  void StartDevice(uint32_t iSampleRate, bool& i16bit, bool iASIOWorkaround) override;
  void StopDevice() override;
  uint32_t GetSampleRate() override;
  std::string DeviceError() const override;

  const std::string fPCMName;
  std::unique_ptr<TAlsaCapture> fCapture;
};
