#include "web/ControllerCall.h"

#include "web/WebController.h"

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

namespace
{
enum TCallState
{
  csWaiting,
  csRunning,
  csFinished,
  csDropped
};

// Shared by the waiting request and the queued work, so that either may go first.
struct TCall
{
  std::mutex Mutex;
  std::condition_variable Changed;
  TCallState State = csWaiting;
  std::function<void()> Work;
  std::exception_ptr Error;
};
} // namespace

bool RunOnControllerThread(IWebController& iController, const std::function<void()>& iWork,
                           std::chrono::milliseconds iTimeout)
{
  auto call = std::make_shared<TCall>();
  call->Work = iWork;
  iController.PostToControllerThread(
      [call]
      {
        {
          std::lock_guard lock(call->Mutex);
          if (call->State != csWaiting)
            return;
          call->State = csRunning;
        }
        try
        {
          call->Work();
        }
        catch (...)
        {
          call->Error = std::current_exception();
        }
        {
          std::lock_guard lock(call->Mutex);
          call->State = csFinished;
          call->Work = nullptr;
        }
        call->Changed.notify_all();
      });
  std::unique_lock lock(call->Mutex);
  if (!call->Changed.wait_for(lock, iTimeout, [&] { return call->State == csFinished; }))
  {
    if (call->State == csWaiting)
    {
      call->State = csDropped;
      call->Work = nullptr;
      return false;
    }
    // Already running: it finishes, and its outcome is the answer.
    call->Changed.wait(lock, [&] { return call->State == csFinished; });
  }
  if (call->Error)
    std::rethrow_exception(call->Error);
  return true;
}
