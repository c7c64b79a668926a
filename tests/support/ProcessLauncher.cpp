#include "ProcessLauncher.h"

#include "Wait.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
using namespace std::chrono_literals;

std::string VariableName(const std::string& iEntry)
{
  return iEntry.substr(0, iEntry.find('='));
}

// This process's environment with each change applied: "NAME=value" sets or replaces, "NAME" removes.
std::vector<std::string> ChangedEnvironment(const std::vector<std::string>& iChanges)
{
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry)
  {
    const std::string text(*entry);
    bool changed = false;
    for (const std::string& change : iChanges)
      changed = changed || VariableName(change) == VariableName(text);
    if (!changed)
      result.push_back(text);
  }
  for (const std::string& change : iChanges)
    if (change.find('=') != std::string::npos)
      result.push_back(change);
  return result;
}

// The null-terminated pointer array of argv or envp over iTexts, which must outlive its use.
std::vector<char*> PointerArray(std::vector<std::string>& iTexts)
{
  std::vector<char*> result;
  for (std::string& text : iTexts)
    result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

pid_t Spawn(const std::vector<std::string>& iArguments, const std::vector<std::string>& iEnvironment,
            posix_spawn_file_actions_t& ioActions)
{
  std::vector<std::string> arguments = iArguments;
  std::vector<std::string> environment = ChangedEnvironment(iEnvironment);
  std::vector<char*> argv = PointerArray(arguments);
  std::vector<char*> envp = PointerArray(environment);
  posix_spawn_file_actions_addopen(&ioActions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  const int result = posix_spawnp(&pid, argv[0], &ioActions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&ioActions);
  if (result != 0)
    throw std::runtime_error("cannot start " + iArguments[0] + ": " + std::strerror(result));
  return pid;
}

std::string ReadFile(const std::string& iPath)
{
  std::ifstream file(iPath, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}
} // namespace

TProcessLauncher::TProcessLauncher(const std::vector<std::string>& iArguments,
                                   const std::vector<std::string>& iEnvironment, int iOutput, int iError)
{
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, iOutput, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, iError, STDERR_FILENO);
  fPid = Spawn(iArguments, iEnvironment, actions);
}

TProcessLauncher::TProcessLauncher(const std::vector<std::string>& iArguments,
                                   const std::vector<std::string>& iEnvironment, const std::string& iLogFile)
{
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, iLogFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  fPid = Spawn(iArguments, iEnvironment, actions);
}

TProcessLauncher::~TProcessLauncher()
{
  Stop();
}

void TProcessLauncher::Signal(int iSignal) const
{
  kill(fPid, iSignal);
}

bool TProcessLauncher::Running()
{
  return !WaitForExit(0ms);
}

std::optional<int> TProcessLauncher::WaitForExit(std::chrono::milliseconds iTimeout)
{
  WaitUntil(
      [this]
      {
        int status = 0;
        const pid_t result = fExitCode ? 0 : waitpid(fPid, &status, WNOHANG);
        if (result == fPid)
          fExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        else if (result < 0)
          fExitCode = -1;
        return fExitCode.has_value();
      },
      iTimeout);
  return fExitCode;
}

void TProcessLauncher::Stop()
{
  if (!Running())
    return;
  Signal(SIGTERM);
  if (!WaitForExit(5s))
    Kill();
}

void TProcessLauncher::Kill()
{
  if (!Running())
    return;
  Signal(SIGKILL);
  WaitForExit(10s);
}

int RunProgram(const std::vector<std::string>& iArguments, const std::vector<std::string>& iEnvironment,
               std::string& oOutput, int iTimeoutMs)
{
  char logName[] = "/tmp/tapevault-run-XXXXXX";
  const int logFile = mkstemp(logName);
  if (logFile < 0)
    throw std::runtime_error("cannot create a temporary file: " + std::string(std::strerror(errno)));
  close(logFile);
  std::optional<int> exitCode;
  {
    TProcessLauncher process(iArguments, iEnvironment, logName);
    exitCode = process.WaitForExit(std::chrono::milliseconds(iTimeoutMs));
  }
  oOutput = ReadFile(logName);
  std::remove(logName);
  return exitCode.value_or(-1);
}
