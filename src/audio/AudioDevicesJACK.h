#pragma once
// JACK servers as inputs of the registry. A server's physical capture ports are grouped into bundles of
// consecutive ports; each bundle is one selectable input "JACK:<device>:<first port>:<size>", shown as
// "JACK: <server> - <port names>". All bundles of a server share one JACK client, opened when the first bundle
// gets its first client and closed when the last active bundle loses its last one. Bundle sizes and the server
// parameters come from the section "JACKDevice<n>" of the configuration file; bundles are formed once, at start.

#include "audio/AudioDevicesBase.h"
#include "audio/backends/JackClient.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TIniFile;
class TJACKSubDeviceInfo;

class TJACKDeviceInfo final : public TDeviceInfo
{
public:
  // The server iServerName (empty: the default server) with the ports iServer lists; reads "JACKDevice<iIndex>"
  // from iConfigFile (nullptr: every default) and forms the bundles.
  TJACKDeviceInfo(int iIndex, std::string iServerName, const TJackServerInfo& iServer, TIniFile* iConfigFile);
  ~TJACKDeviceInfo() override;

  const std::vector<std::unique_ptr<TJACKSubDeviceInfo>>& SubDevices() const { return fSubDevices; }
  // The server's physical capture ports.
  int ChannelCount() const { return static_cast<int>(fChannelNames.size()); }
  // The short name of a capture port, at most 32 characters.
  const std::string& GetChannelName(int iChannel) const { return fChannelNames.at(iChannel); }
  // The size of the bundle that starts at iChannel, 0 for a channel inside a bundle.
  int GetChannelBundle(int iChannel) const { return fChannelBundles.at(iChannel); }
  // Edited by the settings page; bundles are formed anew at the next start of the program.
  void SetChannelBundle(int iChannel, int iSize) { fChannelBundles.at(iChannel) = iSize; }

  // A rate other than 0 that differs from the server's is logged once and otherwise ignored: JACK's rate is
  // the server's.
  int Samplerate() const { return fSampleRate; }
  void SetSamplerate(int iValue) { fSampleRate = iValue; }
  // Above 0: the buffer size asked of the server when the client opens.
  int BufferSize() const { return fBufferSize; }
  void SetBufferSize(int iValue) { fBufferSize = iValue; }
  // Kept in the configuration file; JACK runs its own process thread.
  int ThreadCount() const { return fThreadCount; }
  void SetThreadCount(int iValue) { fThreadCount = iValue; }

  // Writes "BufferSize", "Samplerate", "ThreadCount" and one "ChannelBundle<n>" per bundle start into
  // "JACKDevice<index>", deleting the keys of channels inside a bundle.
  void WriteConfig(TIniFile& iConfigFile) const;

  // A bundle's first client starts it: ports registered and connected on the server's client (opened by the
  // first bundle). Throws EAudioDeviceError "JACKInit: %s" when the server does not answer. Destroying the
  // result takes the bundle out again (RemoveChannel). Main thread.
  std::unique_ptr<ICaptureInput> AddChannel(TJACKSubDeviceInfo& iDeviceInfo, bool i16bit, TCaptureDataProc iProc);
  // Bundles currently running on the client.
  int ActiveChannels() const;

private:
  friend class TJACKBundleCapture;
  void RemoveChannel(TJackClient::TBundle* iBundle);

  const std::string fServerName;
  std::vector<std::string> fPortNames;
  std::vector<std::string> fChannelNames;
  std::vector<int> fChannelBundles;
  int fSampleRate = 0;
  int fBufferSize = 0;
  int fThreadCount = 1;

  mutable std::mutex fMutex;
  int fActiveChannels = 0;
  bool fRateMismatchLogged = false;
  // Declared before the bundles: a bundle still running when the device goes leaves the client first.
  std::unique_ptr<TJackClient> fClient;
  std::vector<std::unique_ptr<TJACKSubDeviceInfo>> fSubDevices;
};

// One bundle of a server's capture ports: interleaved frames of its ports, in their order.
class TJACKSubDeviceInfo final : public TDeviceInfoWithClients
{
public:
  TJACKSubDeviceInfo(TJACKDeviceInfo& iParent, int iIndex, int iChannelCount, std::string iName);

  TJACKDeviceInfo& Parent() const { return fParent; }

private:
  std::unique_ptr<ICaptureInput> OpenCapture(uint32_t iSampleRate, bool& i16bit, bool iASIOWorkaround) override;

  TJACKDeviceInfo& fParent;
};
