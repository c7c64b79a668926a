#include "audio/AudioDevices.h"

#include "audio/backends/AlsaEnumerate.h"
#include "audio/backends/CaptureTypes.h"
#include "audio/backends/JackClient.h"
#include "audio/backends/PulseConnection.h"
#include "lib/Errors.h"

namespace
{
// Enumeration runs before anything else: a server that does not answer must not hold up the start for long.
constexpr int cPulseTimeoutMs = 3000;

TDeviceList gDeviceList;
std::vector<std::unique_ptr<TALSADeviceInfo>> gALSADevices;
std::vector<std::unique_ptr<TJACKDeviceInfo>> gJACKDevices;
std::vector<std::unique_ptr<TPulseDeviceInfo>> gPulseDevices;

void EnumerateALSADevices()
{
  for (const TAlsaPCM& pcm : ListAlsaCapturePCMs())
  {
    auto device = std::make_unique<TALSADeviceInfo>(static_cast<int>(gALSADevices.size()), pcm.Name,
                                                    Format("ALSA: %s", pcm.Description.c_str()));
    gDeviceList.Add(Format("ALSA:%s", pcm.Name.c_str()), device.get());
    gALSADevices.push_back(std::move(device));
  }
}

void EnumerateJACKDevices(TIniFile* iConfigFile)
{
  TJackServerInfo server;
  try
  {
    server = ProbeJackServer("");
  }
  catch (const EAudioDeviceError&)
  {
    // Most machines run no JACK server: that is no problem worth a log line.
    return;
  }
  auto device = std::make_unique<TJACKDeviceInfo>(0, "", server, iConfigFile);
  for (const std::unique_ptr<TJACKSubDeviceInfo>& bundle : device->SubDevices())
    gDeviceList.Add(Format("JACK:%d:%d:%d", device->Index(), bundle->Index(), bundle->ChannelCount()), bundle.get());
  gJACKDevices.push_back(std::move(device));
}

void EnumeratePulseDevices()
{
  std::vector<TPulseEndpoint> sources;
  {
    TPulseConnection connection("Init", cPulseTimeoutMs);
    sources = ListPulseSources(connection, "Init");
  }
  for (const TPulseEndpoint& source : sources)
  {
    auto device = std::make_unique<TPulseDeviceInfo>(static_cast<int>(gPulseDevices.size()), source.Name,
                                                     Format("PulseAudio: %s", source.Description.c_str()));
    gDeviceList.Add(Format("PULSE:%s", source.Name.c_str()), device.get());
    gPulseDevices.push_back(std::move(device));
  }
}
} // namespace

std::vector<std::string> EnumerateDevices(TIniFile* iConfigFile)
{
  FreeDevices();
  std::vector<std::string> problems;
  EnumerateALSADevices();
  EnumerateJACKDevices(iConfigFile);
  try
  {
    EnumeratePulseDevices();
  }
  catch (const EAudioDeviceError& e)
  {
    problems.push_back(Format("PulseAudio: %s", e.what()));
  }
  return problems;
}

void FreeDevices()
{
  gDeviceList.Clear();
  gALSADevices.clear();
  gJACKDevices.clear();
  gPulseDevices.clear();
}

TDeviceList& DeviceList()
{
  return gDeviceList;
}

const std::vector<std::unique_ptr<TALSADeviceInfo>>& ALSADevices()
{
  return gALSADevices;
}

const std::vector<std::unique_ptr<TPulseDeviceInfo>>& PulseDevices()
{
  return gPulseDevices;
}

const std::vector<std::unique_ptr<TJACKDeviceInfo>>& JACKDevices()
{
  return gJACKDevices;
}

void WriteJACKDeviceSections(TIniFile& iConfigFile)
{
  for (const std::unique_ptr<TJACKDeviceInfo>& device : gJACKDevices)
    device->WriteConfig(iConfigFile);
}
