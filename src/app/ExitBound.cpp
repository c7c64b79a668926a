#include "app/ExitBound.h"

#include "lib/DateTime.h"
#include "lib/Errors.h"

#include <cstdio>
#include <unistd.h>

TExitBound::TExitBound(std::chrono::milliseconds iBound) : fBound(iBound) {}

TExitBound::~TExitBound()
{
  {
    std::lock_guard lock(fLock);
    fDisarmed = true;
  }
  fChanged.notify_all();
  if (fThread.joinable())
    fThread.join();
}

void TExitBound::Arm()
{
  std::lock_guard lock(fLock);
  if (fThread.joinable())
    return;
  fThread = std::thread(
      [this, deadline = std::chrono::steady_clock::now() + fBound]
      {
        std::unique_lock lock(fLock);
        if (!fChanged.wait_until(lock, deadline, [this] { return fDisarmed; }))
          EndProcess(Format("The program did not end within %lld ms of the close request; it ends now",
                            static_cast<long long>(fBound.count())));
      });
}

void TExitBound::EndProcess(const std::string& iLine)
{
  std::fprintf(stdout, "%s: %s\n", FormatLogTime(Now()).c_str(), iLine.c_str());
  std::fflush(stdout);
  ::_exit(0);
}
