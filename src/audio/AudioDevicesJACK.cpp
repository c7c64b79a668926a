#include "audio/AudioDevicesJACK.h"

#include "lib/Errors.h"
#include "lib/IniFile.h"

#include <algorithm>

namespace
{
constexpr size_t cChannelNameLength = 32;

// At most cChannelNameLength bytes, never cutting a UTF-8 sequence.
std::string ChannelName(const std::string& iName)
{
  if (iName.size() <= cChannelNameLength)
    return iName;
  size_t length = cChannelNameLength;
  while (length > 0 && (static_cast<unsigned char>(iName[length]) & 0xC0) == 0x80)
    --length;
  return iName.substr(0, length);
}

std::string SectionName(int iIndex)
{
  return Format("JACKDevice%d", iIndex);
}
} // namespace

// A running bundle: its ports on the server's client until it is destroyed.
class TJACKBundleCapture final : public ICaptureInput
{
public:
  TJACKBundleCapture(TJACKDeviceInfo& iParent, TJackClient& iClient, TJackClient::TBundle* iBundle)
      : fParent(iParent), fClient(iClient), fBundle(iBundle)
  {
  }
  ~TJACKBundleCapture() override { fParent.RemoveChannel(fBundle); }

  uint32_t SampleRate() const override { return fClient.SampleRate(); }
  std::string LastError() const override { return fClient.LastError(); }
  uint64_t Xruns() const override { return fClient.Xruns(); }

private:
  TJACKDeviceInfo& fParent;
  TJackClient& fClient;
  TJackClient::TBundle* const fBundle;
};

TJACKDeviceInfo::TJACKDeviceInfo(int iIndex, std::string iServerName, const TJackServerInfo& iServer,
                                 TIniFile* iConfigFile)
    : TDeviceInfo(iIndex, iServer.Name), fServerName(std::move(iServerName))
{
  const std::string section = SectionName(iIndex);
  if (iConfigFile != nullptr)
  {
    fSampleRate = iConfigFile->ReadInteger(section, "Samplerate", 0);
    fBufferSize = iConfigFile->ReadInteger(section, "BufferSize", 0);
    fThreadCount = iConfigFile->ReadInteger(section, "ThreadCount", 1);
  }
  for (const TJackPort& port : iServer.CapturePorts)
  {
    fPortNames.push_back(port.Name);
    fChannelNames.push_back(ChannelName(port.ShortName));
  }
  const int count = ChannelCount();
  fChannelBundles.assign(static_cast<size_t>(count), 0);
  for (int first = 0; first < count;)
  {
    int size = iConfigFile != nullptr ? iConfigFile->ReadInteger(section, Format("ChannelBundle%d", first), 2) : 2;
    // A bundle reaching past the last port is cut short: the ports it names do not exist.
    size = std::clamp(size, 1, count - first);
    fChannelBundles[static_cast<size_t>(first)] = size;
    std::string names;
    for (int channel = first; channel < first + size; ++channel)
      names += (channel > first ? ", " : "") + fChannelNames[static_cast<size_t>(channel)];
    fSubDevices.push_back(std::make_unique<TJACKSubDeviceInfo>(*this, first, size,
                                                               Format("JACK: %s - %s", Name().c_str(), names.c_str())));
    first += size;
  }
}

TJACKDeviceInfo::~TJACKDeviceInfo()
{
  // Bundles stop first; they still need the client.
  fSubDevices.clear();
}

void TJACKDeviceInfo::WriteConfig(TIniFile& iConfigFile) const
{
  const std::string section = SectionName(Index());
  iConfigFile.WriteInteger(section, "BufferSize", fBufferSize);
  iConfigFile.WriteInteger(section, "Samplerate", fSampleRate);
  iConfigFile.WriteInteger(section, "ThreadCount", fThreadCount);
  const int count = ChannelCount();
  for (int channel = 0; channel < count;)
  {
    const int size = fChannelBundles[static_cast<size_t>(channel)];
    iConfigFile.WriteInteger(section, Format("ChannelBundle%d", channel), size);
    for (int inside = channel + 1; inside < std::min(channel + size, count); ++inside)
      iConfigFile.DeleteKey(section, Format("ChannelBundle%d", inside));
    channel += std::max(size, 1);
  }
}

std::unique_ptr<ICaptureInput> TJACKDeviceInfo::AddChannel(TJACKSubDeviceInfo& iDeviceInfo, bool i16bit,
                                                           TCaptureDataProc iProc)
{
  std::lock_guard lock(fMutex);
  if (fActiveChannels == 0)
  {
    fClient = std::make_unique<TJackClient>(fServerName, static_cast<uint32_t>(std::max(fBufferSize, 0)),
                                            [](const std::string& iLine) { DeviceLog(iLine); });
    if (fSampleRate != 0 && static_cast<uint32_t>(fSampleRate) != fClient->SampleRate() && !fRateMismatchLogged)
    {
      fRateMismatchLogged = true;
      DeviceLog(Format("JACK: the server %s runs at %u Hz; the sample rate %d of its settings is not used",
                       Name().c_str(), fClient->SampleRate(), fSampleRate));
    }
  }
  const int first = iDeviceInfo.Index();
  const int size = iDeviceInfo.ChannelCount();
  const std::vector<std::string> sources(fPortNames.begin() + first, fPortNames.begin() + first + size);
  TJackClient::TBundle* bundle;
  try
  {
    bundle = fClient->AddBundle(Format("bundle%d-%d", first, size), sources, i16bit, std::move(iProc));
  }
  catch (...)
  {
    if (fActiveChannels == 0)
      fClient.reset();
    throw;
  }
  ++fActiveChannels;
  return std::make_unique<TJACKBundleCapture>(*this, *fClient, bundle);
}

void TJACKDeviceInfo::RemoveChannel(TJackClient::TBundle* iBundle)
{
  std::unique_ptr<TJackClient> closing;
  {
    std::lock_guard lock(fMutex);
    fClient->RemoveBundle(iBundle);
    if (--fActiveChannels == 0)
      closing = std::move(fClient);
  }
}

int TJACKDeviceInfo::ActiveChannels() const
{
  std::lock_guard lock(fMutex);
  return fActiveChannels;
}

TJACKSubDeviceInfo::TJACKSubDeviceInfo(TJACKDeviceInfo& iParent, int iIndex, int iChannelCount, std::string iName)
    : TDeviceInfoWithClients(iIndex, std::move(iName)), fParent(iParent)
{
  fChannelCount = iChannelCount;
}

std::unique_ptr<ICaptureInput> TJACKSubDeviceInfo::OpenCapture(uint32_t, bool& i16bit, bool)
{
  return fParent.AddChannel(*this, i16bit, InputProc());
}
