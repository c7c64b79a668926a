#pragma once
// A connection to the PulseAudio server (PULSE_SERVER or the user's default server) with its own main loop,
// used by exactly one thread. Never autospawns a server.

#include <functional>
#include <string>
#include <vector>

struct pa_mainloop;
struct pa_context;

class TPulseConnection
{
public:
  // Connects within iTimeoutMs; throws EAudioDeviceError "<iStep>: <reason>" on failure.
  TPulseConnection(const char* iStep, int iTimeoutMs);
  ~TPulseConnection();
  TPulseConnection(const TPulseConnection&) = delete;
  TPulseConnection& operator=(const TPulseConnection&) = delete;

  pa_mainloop* Loop() const { return fLoop; }
  pa_context* Context() const { return fContext; }

  // Runs the loop until iDone() holds (true), or the connection fails or iTimeoutMs pass (false).
  bool RunUntil(const std::function<bool()>& iDone, int iTimeoutMs);
  // Runs one blocking iteration of the loop; false when the loop or the connection failed.
  bool Iterate();
  // Makes a blocking Iterate return; callable from any thread.
  void Wakeup();
  // The connection is gone (server ended, connection lost).
  bool Failed() const;
  // The server's text for the last error of this connection.
  std::string ErrorText() const;

private:
  void Release() noexcept;

  pa_mainloop* fLoop = nullptr;
  pa_context* fContext = nullptr;
};

struct TPulseEndpoint
{
  std::string Name;
  std::string Description;
};

// The server's sources (monitors of sinks included) or sinks, in the server's order (ascending index).
// Throw EAudioDeviceError "<iStep>: <reason>".
std::vector<TPulseEndpoint> ListPulseSources(TPulseConnection& iConnection, const char* iStep);
std::vector<TPulseEndpoint> ListPulseSinks(TPulseConnection& iConnection, const char* iStep);
