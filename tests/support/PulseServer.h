#pragma once
// Test fixtures for audio tests with a real sound server.
//
// TPulseServer runs a private PulseAudio daemon in a temporary folder: it has one null sink per name given
// (the first is the default sink, its monitor the default source; rewinds switched off, see Start), listens only on the
// unix socket
// "<folder>/native" and never touches the user's own sound server. Typical use:
//
//   TPulseServer server({"sink1", "sink2"});
//   server.Start();                 // throws std::runtime_error with the reason when it cannot start
//   server.ExportAddress();         // PULSE_SERVER for this process, so libpulse and the ALSA pulse PCM use it
//   auto tone = server.PlayTone("sink1", 440, 10);   // paplay into sink1; its monitor "sink1.monitor" hears it
//   ...
//   server.Stop();                  // by PID; the destructor does this too and removes the folder
//
// A server can be stopped and started again on the same socket (to test how clients survive a restart).

#include "ProcessLauncher.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// Writes a 16-bit stereo WAV file with a sine of iFrequency Hz (amplitude 0.5) on both channels.
void WriteToneWav(const std::string& iPath, double iFrequency, double iSeconds, uint32_t iSampleRate = 44100);

class TPulseServer
{
public:
  explicit TPulseServer(std::vector<std::string> iSinkNames = {"nullsink"}, uint32_t iSampleRate = 44100);
  ~TPulseServer();
  TPulseServer(const TPulseServer&) = delete;
  TPulseServer& operator=(const TPulseServer&) = delete;

  // Starts the daemon and waits until it answers (10 s at most); throws std::runtime_error with the reason and
  // the end of the daemon's log.
  void Start();
  void Stop();
  bool Running() const { return fDaemon != nullptr; }

  const std::string& Folder() const { return fFolder; }
  // "unix:<folder>/native"
  std::string Address() const;
  // Sets PULSE_SERVER of this process to Address().
  void ExportAddress() const;
  // "PULSE_SERVER=..." plus a private HOME, for programs that should talk to this server.
  std::vector<std::string> ClientEnvironment() const;

  // Plays a sine tone into iSink (paplay); the tone ends with the returned process.
  std::unique_ptr<TProcessLauncher> PlayTone(const std::string& iSink, double iFrequency, double iSeconds);
  // Runs pactl against this server and returns its output; throws std::runtime_error when pactl fails.
  std::string Pactl(const std::vector<std::string>& iArguments) const;

private:
  std::string fFolder;
  std::vector<std::string> fSinkNames;
  uint32_t fSampleRate;
  std::unique_ptr<TProcessLauncher> fDaemon;
};

// Base of test suites that share one server: SetUpTestSuite calls StartSuiteServer, TearDownTestSuite
// StopSuiteServer. When the server could not start, every test of the suite fails with the reason (instead of
// the suite being skipped).
class TPulseServerTest : public testing::Test
{
protected:
  // Starts the suite's server with these null sinks and points PULSE_SERVER at it; false when it failed.
  static bool StartSuiteServer(std::vector<std::string> iSinkNames);
  static void StopSuiteServer();
  static TPulseServer& Server() { return *fSuiteServer; }

  void SetUp() override;

private:
  static std::unique_ptr<TPulseServer> fSuiteServer;
  static std::string fStartFailure;
};
