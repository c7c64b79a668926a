#pragma once
// PulseAudio sources (monitors included) as inputs of the registry: "PULSE:<source name>", shown as
// "PulseAudio: <description>".

#include "audio/AudioDevicesBase.h"

#include <memory>
#include <string>

class TPulseCapture;

class TPulseDeviceInfo final : public TDeviceInfoWithClients
{
public:
  TPulseDeviceInfo(int iIndex, std::string iSourceName, std::string iName);
  ~TPulseDeviceInfo() override;

  const std::string& SourceName() const { return fSourceName; }

private:
  // Always captures float: i16bit becomes false.
  void StartDevice(uint32_t iSampleRate, bool& i16bit, bool iASIOWorkaround) override;
  void StopDevice() override;
  uint32_t GetSampleRate() override;
  std::string DeviceError() const override;

  const std::string fSourceName;
  std::unique_ptr<TPulseCapture> fCapture;
};
