#include "audio/engine/EncoderProgram.h"

#include "audio/engine/Encoder.h"
#include "audio/engine/EncoderScheduling.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// A dead program must not kill us: writes to its broken pipe fail with EPIPE instead of raising SIGPIPE.
void IgnoreBrokenPipes()
{
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

[[noreturn]] void StartFailed(const std::string& iProgram, const char* iWhat, int iError)
{
  throw TEncoderError(ecFileOpen, "Can't start " + iProgram + ": " + iWhat + ": " + std::strerror(iError));
}

// Moves a descriptor above the standard ones, so that the child's dup2 onto 0 and 1 never meets itself.
TEncoderFd AboveStandardFds(TEncoderFd iFd, const std::string& iProgram)
{
  if (iFd.Get() > STDERR_FILENO)
    return iFd;
  const int moved = ::fcntl(iFd.Get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (moved < 0)
    StartFailed(iProgram, "fcntl", errno);
  return TEncoderFd(moved);
}

struct TPipe
{
  TEncoderFd Read, Write;
};

TPipe MakePipe(const std::string& iProgram)
{
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0)
    StartFailed(iProgram, "pipe", errno);
  TPipe pipe{TEncoderFd(fds[0]), TEncoderFd(fds[1])};
  pipe.Read = AboveStandardFds(std::move(pipe.Read), iProgram);
  pipe.Write = AboveStandardFds(std::move(pipe.Write), iProgram);
  return pipe;
}

void SetNonBlocking(const TEncoderFd& iFd)
{
  ::fcntl(iFd.Get(), F_SETFL, ::fcntl(iFd.Get(), F_GETFL) | O_NONBLOCK);
}

// posix_spawn's attribute and file action objects, destroyed with the scope.
class TSpawnSetup
{
public:
  TSpawnSetup(const TPipe& iStdin, const TPipe& iStdout)
  {
    posix_spawn_file_actions_init(&fActions);
    posix_spawn_file_actions_adddup2(&fActions, iStdin.Read.Get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&fActions, iStdout.Write.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&fActions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Nothing else of ours leaks into the program; another encoder's pipe left open there would never end.
    posix_spawn_file_actions_addclosefrom_np(&fActions, STDERR_FILENO + 1);

    posix_spawnattr_init(&fAttributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&fAttributes, &none);
    posix_spawnattr_setsigdefault(&fAttributes, &all);
    posix_spawnattr_setpgroup(&fAttributes, 0);
    posix_spawnattr_setflags(&fAttributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  }
  ~TSpawnSetup()
  {
    posix_spawnattr_destroy(&fAttributes);
    posix_spawn_file_actions_destroy(&fActions);
  }
  TSpawnSetup(const TSpawnSetup&) = delete;
  TSpawnSetup& operator=(const TSpawnSetup&) = delete;

  const posix_spawn_file_actions_t* Actions() const { return &fActions; }
  const posix_spawnattr_t* Attributes() const { return &fAttributes; }

private:
  posix_spawn_file_actions_t fActions;
  posix_spawnattr_t fAttributes;
};

} // namespace

TEncoderProgram::TEncoderProgram(const std::vector<std::string>& iArguments, std::function<void()> iOnEnded)
    : fOnEnded(std::move(iOnEnded)), fOutput(std::make_unique_for_overwrite<uint8_t[]>(kOutputCapacity))
{
  IgnoreBrokenPipes();
  const std::string& program = iArguments.at(0);
  TPipe input = MakePipe(program);
  TPipe output = MakePipe(program);
  fCancel = TEncoderFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!fCancel.IsOpen())
    StartFailed(program, "eventfd", errno);

  std::vector<char*> argv;
  for (const std::string& argument : iArguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  {
    const TSpawnSetup setup(input, output);
    const int result =
        ::posix_spawnp(&fPid, program.c_str(), setup.Actions(), setup.Attributes(), argv.data(), environ);
    if (result != 0)
      StartFailed(program, "posix_spawnp", result);
  }
  fPidFd = TEncoderFd(static_cast<int>(::syscall(SYS_pidfd_open, fPid, 0)));
  if (!fPidFd.IsOpen())
  {
    const int error = errno;
    ::kill(fPid, SIGKILL);
    ::waitpid(fPid, nullptr, 0);
    StartFailed(program, "pidfd_open", error);
  }
  FavourEncoderTask(fPid);
  fStdin = std::move(input.Write);
  fStdout = std::move(output.Read);
  SetNonBlocking(fStdin);
  SetNonBlocking(fStdout);
  fWatcher = std::thread(&TEncoderProgram::Watch, this);
}

TEncoderProgram::~TEncoderProgram()
{
  if (!fFinished)
    Finish(std::chrono::steady_clock::now());
}

bool TEncoderProgram::Write(const uint8_t* iData, size_t iSize)
{
  while (iSize > 0)
  {
    const ssize_t written = ::write(fStdin.Get(), iData, iSize);
    if (written > 0)
    {
      iData += written;
      iSize -= static_cast<size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR)
      continue;
    if (written == 0 || errno != EAGAIN)
      return false; // EPIPE: the program closed its input or ended
    pollfd fds[2] = {{fStdin.Get(), POLLOUT, 0}, {fCancel.Get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR)
      return false;
    if (fds[1].revents != 0)
      return false;
  }
  return true;
}

void TEncoderProgram::Cancel()
{
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(fCancel.Get(), &one, sizeof(one));
}

void TEncoderProgram::Finish(std::chrono::steady_clock::time_point iDeadline)
{
  fFinished = true;
  fStdin.Close(); // end of input: the program finishes its file and ends
  {
    std::unique_lock lock(fLock);
    if (!fChanged.wait_until(lock, iDeadline, [this] { return fReaped; }))
    {
      SignalProgram(SIGTERM);
      if (!fChanged.wait_for(lock, kTermGrace, [this] { return fReaped; }))
      {
        SignalProgram(SIGKILL);
        fChanged.wait(lock, [this] { return fReaped; });
      }
    }
  }
  fWatcher.join();
}

int64_t TEncoderProgram::ReadOutput(void* oBuffer, size_t iSize, int iTimeoutMilliseconds)
{
  std::unique_lock lock(fLock);
  fChanged.wait_for(lock, std::chrono::milliseconds(std::max(iTimeoutMilliseconds, 0)),
                    [this] { return fOutputSize > 0 || fOutputEnded; });
  if (fOutputSize == 0)
    return fOutputEnded ? -1 : 0;
  const size_t count = std::min(iSize, fOutputSize);
  const size_t first = std::min(count, kOutputCapacity - fOutputStart);
  std::memcpy(oBuffer, fOutput.get() + fOutputStart, first);
  std::memcpy(static_cast<uint8_t*>(oBuffer) + first, fOutput.get(), count - first);
  fOutputStart = (fOutputStart + count) % kOutputCapacity;
  fOutputSize -= count;
  return static_cast<int64_t>(count);
}

void TEncoderProgram::Watch()
{
  pthread_setname_np(pthread_self(), "EncoderWatch");
  for (;;)
  {
    pollfd fds[2] = {{fPidFd.Get(), POLLIN, 0}, {fStdout.Get(), POLLIN, 0}};
    if (::poll(fds, fStdout.IsOpen() ? 2 : 1, -1) < 0)
    {
      if (errno == EINTR)
        continue;
      // Cannot watch: wait for the end without collecting output.
      siginfo_t info;
      ::waitid(P_PID, static_cast<id_t>(fPid), &info, WEXITED | WNOWAIT);
      break;
    }
    if (fds[1].revents != 0)
      while (CollectOutput())
        ;
    if (fds[0].revents != 0)
      break;
  }
  // The program has ended: take its last output (without waiting for children that may still hold the pipe).
  while (fStdout.IsOpen() && CollectOutput())
    ;
  fStdout.Close();
  {
    std::lock_guard lock(fLock);
    ::waitpid(fPid, nullptr, 0);
    fReaped = true;
    fOutputEnded = true;
  }
  fChanged.notify_all();
  fOnEnded();
}

bool TEncoderProgram::CollectOutput()
{
  uint8_t buffer[16384];
  const ssize_t count = ::read(fStdout.Get(), buffer, sizeof(buffer));
  if (count < 0 && errno == EINTR)
    return true;
  if (count <= 0)
  {
    if (count == 0 || errno != EAGAIN)
      fStdout.Close();
    return false;
  }
  {
    std::lock_guard lock(fLock);
    const size_t kept = std::min(static_cast<size_t>(count), kOutputCapacity - fOutputSize);
    const size_t end = (fOutputStart + fOutputSize) % kOutputCapacity;
    const size_t first = std::min(kept, kOutputCapacity - end);
    std::memcpy(fOutput.get() + end, buffer, first);
    std::memcpy(fOutput.get(), buffer + first, kept - first);
    fOutputSize += kept;
  }
  fChanged.notify_all();
  return true;
}

void TEncoderProgram::SignalProgram(int iSignal)
{
  if (!fReaped)
    ::kill(-fPid, iSignal);
}
