#include "audio/backends/DeviceWorker.h"

#include "audio/backends/CaptureTypes.h"

#include <chrono>
#include <pthread.h>

namespace
{
// Pause between attempts to reopen a failed device: quick enough to lose little audio, slow enough not to
// hammer a device that is gone.
constexpr std::chrono::milliseconds cRetryInterval{1000};
} // namespace

TDeviceWorker::TDeviceWorker(std::string iThreadName) : fThreadName(std::move(iThreadName)) {}

TDeviceWorker::~TDeviceWorker() = default;

std::string TDeviceWorker::LastError() const
{
  std::lock_guard lock(fMutex);
  return fError;
}

void TDeviceWorker::Start()
{
  fThread = std::thread([this] { Run(); });
  std::unique_lock lock(fMutex);
  fCondition.wait(lock, [this] { return fStartState != ssPending; });
  if (fStartState == ssFailed)
  {
    const std::string error = fError;
    lock.unlock();
    fThread.join();
    throw EAudioDeviceError(error);
  }
}

void TDeviceWorker::Stop()
{
  {
    std::lock_guard lock(fMutex);
    fStopRequested = true;
    if (fOpen)
      Interrupt();
  }
  fCondition.notify_all();
  if (fThread.joinable())
    fThread.join();
}

bool TDeviceWorker::StopRequested() const
{
  std::lock_guard lock(fMutex);
  return fStopRequested;
}

void TDeviceWorker::Run()
{
  pthread_setname_np(pthread_self(), fThreadName.substr(0, 15).c_str());
  const bool opened = TryOpen();
  {
    std::lock_guard lock(fMutex);
    fStartState = opened ? ssRunning : ssFailed;
  }
  fCondition.notify_all();
  if (!opened)
    return;
  while (!StopRequested())
  {
    std::string failure = Pump();
    CloseDevice();
    if (StopRequested())
      break;
    SetError(std::move(failure));
    while (WaitBeforeRetry() && !TryOpen())
    {
    }
  }
  CloseDevice();
}

bool TDeviceWorker::TryOpen()
{
  try
  {
    Open();
  }
  catch (const std::exception& e)
  {
    SetError(e.what());
    return false;
  }
  std::lock_guard lock(fMutex);
  fOpen = true;
  fError.clear();
  return true;
}

void TDeviceWorker::CloseDevice()
{
  std::lock_guard lock(fMutex);
  if (!fOpen)
    return;
  Close();
  fOpen = false;
}

void TDeviceWorker::SetError(std::string iError)
{
  std::lock_guard lock(fMutex);
  fError = std::move(iError);
}

bool TDeviceWorker::WaitBeforeRetry()
{
  std::unique_lock lock(fMutex);
  return !fCondition.wait_for(lock, cRetryInterval, [this] { return fStopRequested; });
}
