#pragma once
// A private JACK server for tests: `jackd -n <name> -d dummy` with eight capture and eight playback ports
// (silence), started in real-time mode as the test's user. Its name is unique to the test process, so the
// user's own server is never touched. ExportName points this process's JACK clients at it and forbids them to
// start a server. A signal client writes a known sequence into ports of the server.
//
//   TJackServer server;
//   server.Start();        // throws std::runtime_error with the reason and the end of jackd's log
//   server.ExportName();   // JACK_DEFAULT_SERVER=<name>, JACK_NO_START_SERVER=1
//   TJackSignal signal(server.Name(), 2);
//   signal.Connect(0, "tapevault:bundle0-2_in_1");

#include "ProcessLauncher.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

class TJackServer
{
public:
  explicit TJackServer(uint32_t iSampleRate = 48000);
  ~TJackServer();
  TJackServer(const TJackServer&) = delete;
  TJackServer& operator=(const TJackServer&) = delete;

  // Starts jackd and waits until it lists its ports (15 s at most).
  void Start();
  // Ends jackd by PID: SIGTERM, or SIGKILL when iKill.
  void Stop(bool iKill = false);

  const std::string& Name() const { return fName; }
  uint32_t SampleRate() const { return fSampleRate; }
  void ExportName() const;

private:
  std::string fName;
  std::string fFolder;
  uint32_t fSampleRate;
  std::unique_ptr<TProcessLauncher> fDaemon;
};

// The value the signal client writes at frame iFrame (counted from its start) into its port iPort: never 0,
// different for each port, exact in float and in 16 bits.
float JackSignalValue(uint64_t iFrame, int iPort);
// Which frame of port iPort carries iValue; -1 when iValue is no value of that port.
int64_t JackSignalFrame(float iValue, int iPort);

// A JACK client "signal" with output ports out_1 ... out_<n>; port i carries JackSignalValue(frame, i).
class TJackSignal
{
public:
  TJackSignal(const std::string& iServerName, int iPorts);
  ~TJackSignal();
  TJackSignal(const TJackSignal&) = delete;
  TJackSignal& operator=(const TJackSignal&) = delete;

  void Connect(int iPort, const std::string& iDestination);
  // Full names of the server's ports that match iPattern (a regular expression, as jack_get_ports takes it).
  std::vector<std::string> Ports(const std::string& iPattern) const;
  // Names of the clients that own ports, taken from every port name.
  std::vector<std::string> Clients() const;

private:
  jack_client_t* fClient = nullptr;
  std::vector<jack_port_t*> fPorts;
  std::atomic<uint64_t> fFrame{0};
};
