#pragma once
// ALSA capture PCMs as inputs of the registry: "ALSA:<pcm name>", shown as "ALSA: <description>".

#include "audio/AudioDevicesBase.h"

#include <memory>
#include <string>

class TALSADeviceInfo final : public TDeviceInfoWithClients
{
public:
  TALSADeviceInfo(int iIndex, std::string iPCMName, std::string iName);

  const std::string& PCMName() const { return fPCMName; }

private:
  // Captures in the client's format (16-bit or float); the device's own format is converted when it differs.
  std::unique_ptr<ICaptureInput> OpenCapture(uint32_t iSampleRate, bool& i16bit, bool iASIOWorkaround) override;

  const std::string fPCMName;
};
