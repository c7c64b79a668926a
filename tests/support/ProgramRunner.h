#pragma once
// Runs a built program as a black box: its standard output and error are read line by line while it runs, a test
// waits for a line matching a pattern, sends signals, waits for the exit code and looks at the processes the
// program started (for example the encoders it must end before it exits).
//
//   TProgramRunner program({TAPEVAULT_PROGRAM, "-headless", "-rootfolder", folder}, pulse.ClientEnvironment());
//   ASSERT_TRUE(program.WaitForLine("started", 20s)) << program.Output();
//   program.Signal(SIGTERM);
//   EXPECT_EQ(program.WaitForExit(30s), 0) << program.Output();

#include "ProcessLauncher.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

class TProgramRunner
{
public:
  // Starts iArguments[0] (a path) with this process's environment changed by iEnvironment: "NAME=value" sets a
  // variable, a bare "NAME" removes it. Throws std::runtime_error when the program cannot be started.
  TProgramRunner(const std::vector<std::string>& iArguments, const std::vector<std::string>& iEnvironment = {});
  // A program still running is killed (SIGKILL) and reaped.
  ~TProgramRunner();
  TProgramRunner(const TProgramRunner&) = delete;
  TProgramRunner& operator=(const TProgramRunner&) = delete;

  pid_t Pid() const { return fProcess->Pid(); }

  // The lines of standard output so far, without line ends.
  std::vector<std::string> Lines() const;
  // Standard output and standard error so far, for failure messages.
  std::string Output() const;
  // The first line of standard output, from line number iFrom on, that contains a match of the regular expression
  // iPattern (ECMAScript); waits for it at most iTimeout. Empty when none came.
  std::optional<std::string> WaitForLine(const std::string& iPattern, std::chrono::milliseconds iTimeout,
                                         size_t iFrom = 0) const;
  // The lines of standard output that contain a match of iPattern.
  std::vector<std::string> MatchingLines(const std::string& iPattern) const;
  // The port of the program's web server, from its line "Web server listening on http(s)://ADDRESS:PORT/", so that
  // a test can let it bind port 0; 0 when that line did not come within iTimeout.
  uint16_t WebServerPort(std::chrono::milliseconds iTimeout) const;

  void Signal(int iSignal) const { fProcess->Signal(iSignal); }
  bool Running() { return fProcess->Running(); }
  // The exit code once the program ended (128 + the number of a signal that ended it), empty when it still runs
  // after iTimeout.
  std::optional<int> WaitForExit(std::chrono::milliseconds iTimeout) { return fProcess->WaitForExit(iTimeout); }

  // Every process below the program (children, their children, ...), while the program runs.
  std::vector<pid_t> Descendants() const;

private:
  void ReadOutput(int iOutput, int iError);

  std::unique_ptr<TProcessLauncher> fProcess;
  mutable std::mutex fLock;
  std::vector<std::string> fLines;
  std::string fOutputTail; // the unfinished last line of standard output
  std::string fErrors;
  int fWakePipe[2] = {-1, -1};
  std::thread fReader;
};

// True while iPid names a process that has not ended (zombies count as ended).
bool ProcessAlive(pid_t iPid);
// The program name of iPid ("/proc/<pid>/comm"); empty when it is gone.
std::string ProcessName(pid_t iPid);
