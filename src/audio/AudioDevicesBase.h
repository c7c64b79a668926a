#pragma once
// The capture inputs of the registry: a device with a display name, and an input that feeds any number of
// clients. The first client starts the input, the last one stops it; every captured buffer goes unchanged to
// one push stream per client.

#include "audio/backends/CaptureTypes.h"
#include "audio/backends/PublishedList.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Where devices report what happens on their own threads (xruns, a server's settings it does not follow). The
// program points it at its log before devices run; lines before that are dropped.
void SetDeviceLogProc(std::function<void(const std::string&)> iProc);
void DeviceLog(const std::string& iLine);

class TDeviceInfo
{
public:
  TDeviceInfo(int iIndex, std::string iName) : fIndex(iIndex), fName(std::move(iName)) {}
  virtual ~TDeviceInfo() = default;
  TDeviceInfo(const TDeviceInfo&) = delete;
  TDeviceInfo& operator=(const TDeviceInfo&) = delete;

  // Position of the device among the inputs of its kind.
  int Index() const { return fIndex; }
  // Display name, for example "PulseAudio: Monitor of Built-in Audio".
  const std::string& Name() const { return fName; }

  virtual bool HasControlPanel() const { return false; }
  virtual void RunControlPanel() {}

protected:
  const int fIndex;
  const std::string fName;
};

class TDeviceInfoWithClients : public TDeviceInfo
{
public:
  TDeviceInfoWithClients(int iIndex, std::string iName);
  ~TDeviceInfoWithClients() override;

  // Attaches a client and returns its decode push stream, 0 when the engine refused it (its error code then
  // tells why, and nothing is attached). The first client starts the input with its rate and sample format;
  // later clients get streams in the format the input runs in, whatever they ask for. Throws the input's
  // EAudioDeviceError when it cannot start. Main thread.
  uint32_t AddClient(uint32_t iSampleRate, bool i16bit, bool iASIOWorkaround);
  // Detaches a client (its stream is not freed: that is the caller's); unknown handles are ignored. Once it
  // returns, the capture thread no longer touches the stream. The last client stops the input. Main thread.
  void RemoveClient(uint32_t iClient);
  // Hands a captured buffer to every client's stream, in the order they attached. Capture thread; it never
  // waits for the main thread and never allocates.
  void HandleInput(const void* iBuffer, uint32_t iLength);

  // Push-stream handles of the attached clients, in the order of attaching.
  std::vector<uint32_t> Clients() const;
  // Channels per frame of the clients' streams.
  int ChannelCount() const { return fChannelCount; }
  // Why a running input currently delivers nothing (device lost, server gone), empty while it works. The input
  // keeps trying to reopen the device; its clients get silence meanwhile. Any thread; never waits for a
  // device being opened or closed.
  std::string LastError() const;
  // The running input's count of late process cycles (ICaptureInput::Xruns); 0 while it does not run. Any
  // thread, like LastError.
  uint64_t Xruns() const;

protected:
  // Starts the backend's capture of this input at iSampleRate, delivering to HandleInput; may set i16bit to
  // false when the input delivers float only. Throws EAudioDeviceError with the failing step and the reason.
  virtual std::unique_ptr<ICaptureInput> OpenCapture(uint32_t iSampleRate, bool& i16bit, bool iASIOWorkaround) = 0;
  // The data procedure a backend capture calls: HandleInput of this input.
  TCaptureDataProc InputProc();

  int fChannelCount = 2;

private:
  void StartDevice(uint32_t iSampleRate, bool& i16bit, bool iASIOWorkaround);
  void StopDevice();
  uint32_t GetSampleRate() const;

  // Serialises AddClient and RemoveClient.
  mutable std::mutex fChangeMutex;
  // Guards the fCapture pointer only, so that LastError never waits for a slow start or stop.
  mutable std::mutex fCaptureMutex;
  std::unique_ptr<ICaptureInput> fCapture;
  TPublishedList<uint32_t> fClients;
  bool fRunning16bit = false;
};
