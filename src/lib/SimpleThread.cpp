#include "lib/SimpleThread.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <pthread.h>

namespace
{
// Linux keeps 15 characters of a thread name.
constexpr size_t MaxThreadNameLength = 15;
} // namespace

TSimpleThread::TSimpleThread(bool createSuspended, TThreadProc iProc, std::string iName)
    : fProc(std::move(iProc)), fName(std::move(iName))
{
  if (!createSuspended)
    Start();
}

TSimpleThread::~TSimpleThread()
{
  Terminate();
  SignalEvent();
  if (fThread.joinable())
    fThread.join();
}

void TSimpleThread::Start()
{
  if (!fThread.joinable())
    fThread = std::thread(&TSimpleThread::Run, this);
}

void TSimpleThread::Run()
{
  if (!fName.empty())
    pthread_setname_np(pthread_self(), fName.substr(0, MaxThreadNameLength).c_str());
  // The owners catch their errors in their loops; this only keeps an escaped one from ending the process.
  try
  {
    fProc(*this);
  }
  catch (const std::exception& error)
  {
    std::fprintf(stderr, "Thread \"%s\" ended by an error: %s\n", fName.c_str(), error.what());
  }
  catch (...)
  {
    std::fprintf(stderr, "Thread \"%s\" ended by an unknown error\n", fName.c_str());
  }
}

void TSimpleThread::WaitForEvent(unsigned iTimeout)
{
  std::unique_lock lock(fMutex);
  // Termination is checked under the lock, together with the event, so a request that arrives at any moment
  // before or during the wait ends it.
  if (Terminated())
    return;
  fEvent = false;
  fCondition.wait_for(lock, std::chrono::milliseconds(iTimeout), [this] { return fEvent || Terminated(); });
  fEvent = false;
}

void TSimpleThread::SignalEvent()
{
  {
    std::lock_guard lock(fMutex);
    fEvent = true;
  }
  fCondition.notify_all();
}

void TSimpleThread::Terminate()
{
  {
    std::lock_guard lock(fMutex);
    fTerminated.store(true, std::memory_order_release);
  }
  fCondition.notify_all();
}
