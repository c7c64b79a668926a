#pragma once
// Starts a program a test needs (a sound server, a tone player, the built program) and ends it again by its
// process id: SIGTERM, then SIGKILL when it still runs 5 s later. Its standard input is /dev/null.
//
//   TProcessLauncher tone({"paplay", "-d", "sink1", "tone.wav"}, {}, folder + "/paplay.log");
//   ...
//   tone.Stop();   // the destructor does this too

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class TProcessLauncher
{
public:
  // Starts iArguments[0] (a path, or a name searched in PATH) with this process's environment changed by
  // iEnvironment: "NAME=value" sets a variable, a bare "NAME" removes it. Standard output goes to the descriptor
  // iOutput and standard error to iError (the caller keeps and closes its own). Throws std::runtime_error when the
  // program cannot be started.
  TProcessLauncher(const std::vector<std::string>& iArguments, const std::vector<std::string>& iEnvironment,
                   int iOutput, int iError);
  // The same with standard output and error appended to iLogFile.
  TProcessLauncher(const std::vector<std::string>& iArguments, const std::vector<std::string>& iEnvironment,
                   const std::string& iLogFile);
  ~TProcessLauncher();
  TProcessLauncher(const TProcessLauncher&) = delete;
  TProcessLauncher& operator=(const TProcessLauncher&) = delete;

  pid_t Pid() const { return fPid; }
  void Signal(int iSignal) const;
  bool Running();
  // The exit code once the program ended (128 + the number of a signal that ended it), empty when it still runs
  // after iTimeout.
  std::optional<int> WaitForExit(std::chrono::milliseconds iTimeout);
  // SIGTERM, then SIGKILL when it still runs 5 s later.
  void Stop();
  // SIGKILL at once.
  void Kill();

private:
  pid_t fPid = -1;
  std::optional<int> fExitCode;
};

// Runs a program to its end (at most iTimeoutMs) and returns its exit code, -1 when it did not end in time; its
// standard output and error go to oOutput.
int RunProgram(const std::vector<std::string>& iArguments, const std::vector<std::string>& iEnvironment,
               std::string& oOutput, int iTimeoutMs = 10000);
