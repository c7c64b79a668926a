#pragma once
// One client ("tapevault") on one JACK server, shared by every bundle of capture ports recorded from it. Each
// bundle registers input ports of its own ("<bundle name>_in_1", ...) and connects the server's capture ports
// to them, so other JACK programs can be routed into it as well. Bundles come and go while the client runs; the
// others never pause. When the server goes away, the client reopens it every second and registers and connects
// the bundles' ports again.

#include "audio/backends/CaptureTypes.h"
#include "audio/backends/DeviceWorker.h"
#include "audio/backends/PublishedList.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

struct TJackPort
{
  std::string Name;      // the full name, for example "system:capture_1"
  std::string ShortName; // the name without the client, "capture_1"
};

struct TJackServerInfo
{
  std::string Name; // the server's name: iServerName, or the default server's ("default", JACK_DEFAULT_SERVER)
  uint32_t SampleRate = 0;
  std::vector<TJackPort> CapturePorts; // the physical capture ports, in the server's order
};

// Asks the server iServerName (empty: the default server) for its capture ports, through a short-lived client.
// Never starts a server; throws EAudioDeviceError "JACKInit: %s" when none answers.
TJackServerInfo ProbeJackServer(const std::string& iServerName);

class TJackClient final : public TDeviceWorker
{
public:
  class TBundle;

  // Opens the client; throws EAudioDeviceError "JACKInit: %s" when the server does not answer. iBufferSize > 0
  // asks the server for that buffer size. iLog receives the lines of the client's worker thread (xruns,
  // refused buffer size, reconnecting).
  TJackClient(std::string iServerName, uint32_t iBufferSize, std::function<void(const std::string&)> iLog);
  ~TJackClient() override;

  // The server's rate, fixed for the life of this object: a server that returns at another rate is refused.
  uint32_t SampleRate() const { return fSampleRate.load(); }
  // Adds a bundle: ports "<iName>_in_1" ... fed from iSources (full port names), delivered to iProc as
  // interleaved frames of iSources.size() channels, 16-bit or float. Throws EAudioDeviceError when the server
  // refuses a port. Main thread.
  TBundle* AddBundle(const std::string& iName, const std::vector<std::string>& iSources, bool i16bit,
                     TCaptureDataProc iProc);
  // Stops feeding the bundle and unregisters its ports. Main thread.
  void RemoveBundle(TBundle* iBundle);
  // Process cycles the server reported as late (xruns), since the client was created.
  uint64_t Xruns() const { return fXruns.load(std::memory_order_relaxed); }

private:
  void Open() override;
  std::string Pump() override;
  void Close() noexcept override;

  // Registers iBundle's ports on the open client; throws EAudioDeviceError when the server refuses one.
  void Register(TBundle& iBundle);
  // Connects the capture ports to iBundle's ports on the active client; a refused connection is logged.
  void Connect(const TBundle& iBundle);
  bool ClientUsable() const { return fClient != nullptr && !fServerGone.load(); }
  // Logs new xruns at most every ten seconds, or at once when iFinal.
  void LogXruns(bool iFinal);

  // Process thread: hands this cycle's frames to every bundle.
  void Process(uint32_t iFrames) noexcept;

  const std::string fServerName;
  const uint32_t fBufferSize;
  const std::function<void(const std::string&)> fLog;
  std::atomic<uint32_t> fSampleRate{0};

  // Guards fClient and fOwnedBundles against the worker thread reopening the client.
  std::mutex fClientMutex;
  jack_client_t* fClient = nullptr;
  std::vector<std::unique_ptr<TBundle>> fOwnedBundles;
  // What the process callback walks.
  TPublishedList<TBundle*> fBundles;

  std::atomic<uint64_t> fXruns{0};
  uint64_t fLoggedXruns = 0;
  std::chrono::steady_clock::time_point fXrunsLogged;
  std::atomic<bool> fServerGone{false};
  // Written by the shutdown callback before fServerGone is set; no allocation there.
  char fShutdownReason[256] = {};
};
