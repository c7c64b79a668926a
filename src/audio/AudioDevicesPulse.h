#pragma once
// PulseAudio sources (monitors included) as inputs of the registry: "PULSE:<source name>", shown as
// "PulseAudio: <description>".

#include "audio/AudioDevicesBase.h"

#include <memory>
#include <string>

class TPulseDeviceInfo final : public TDeviceInfoWithClients
{
public:
  TPulseDeviceInfo(int iIndex, std::string iSourceName, std::string iName);

  const std::string& SourceName() const { return fSourceName; }

private:
  // Always captures float: i16bit becomes false.
  std::unique_ptr<ICaptureInput> OpenCapture(uint32_t iSampleRate, bool& i16bit, bool iASIOWorkaround) override;

  const std::string fSourceName;
};
