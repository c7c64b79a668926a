#include "lib/SimpleThread.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <pthread.h>

namespace
{

using TClock = std::chrono::steady_clock;

long long MillisecondsSince(TClock::time_point iStart)
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - iStart).count();
}

// A wait far longer than any test may take; the behaviours below show by returning well before it.
constexpr unsigned LongWait = 60000;

} // namespace

TEST(SimpleThread, RunsCallbackOnceWithItsName)
{
  std::promise<std::string> name;
  int runs = 0;
  {
    TSimpleThread thread(
        true,
        [&](TSimpleThread&)
        {
          char buffer[32] = {};
          pthread_getname_np(pthread_self(), buffer, sizeof(buffer));
          name.set_value(buffer);
          ++runs;
        },
        "StreamingThread Slot 12");
    thread.Start();
    thread.Start();
    EXPECT_EQ(name.get_future().get(), "StreamingThread");
  }
  EXPECT_EQ(runs, 1);
}

TEST(SimpleThread, NeverStartedThreadNeverRuns)
{
  bool ran = false;
  {
    TSimpleThread thread(
        true, [&](TSimpleThread&) { ran = true; }, "Never");
  }
  EXPECT_FALSE(ran);
}

TEST(SimpleThread, WaitAfterTerminationReturnsAtOnce)
{
  std::promise<long long> elapsed;
  TSimpleThread thread(
      true,
      [&](TSimpleThread& iThread)
      {
        iThread.Terminate();
        const auto start = TClock::now();
        iThread.WaitForEvent(LongWait);
        elapsed.set_value(MillisecondsSince(start));
      },
      "");
  thread.Start();
  EXPECT_LT(elapsed.get_future().get(), 1000);
}

TEST(SimpleThread, SignalDuringWaitEndsIt)
{
  std::promise<void> waiting;
  std::promise<long long> elapsed;
  TSimpleThread thread(
      true,
      [&](TSimpleThread& iThread)
      {
        const auto start = TClock::now();
        waiting.set_value();
        iThread.WaitForEvent(LongWait);
        elapsed.set_value(MillisecondsSince(start));
      },
      "");
  thread.Start();
  waiting.get_future().wait();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  thread.SignalEvent();
  EXPECT_LT(elapsed.get_future().get(), 5000);
  EXPECT_FALSE(thread.Terminated());
}

TEST(SimpleThread, SignalBeforeWaitDoesNotShortenIt)
{
  constexpr unsigned timeout = 300;
  std::promise<long long> elapsed;
  TSimpleThread thread(
      true,
      [&](TSimpleThread& iThread)
      {
        iThread.SignalEvent();
        const auto start = TClock::now();
        iThread.WaitForEvent(timeout);
        elapsed.set_value(MillisecondsSince(start));
      },
      "");
  thread.Start();
  EXPECT_GE(elapsed.get_future().get(), timeout - 5);
}

TEST(SimpleThread, DestroyingSleepingThreadReturnsPromptly)
{
  std::promise<void> sleeping;
  int passes = 0;
  auto thread = std::make_unique<TSimpleThread>(
      true,
      [&](TSimpleThread& iThread)
      {
        while (!iThread.Terminated())
        {
          if (++passes == 1)
            sleeping.set_value();
          iThread.WaitForEvent(LongWait);
        }
      },
      "HTTPAlarmThread");
  thread->Start();
  sleeping.get_future().wait();
  const auto start = TClock::now();
  thread.reset();
  EXPECT_LT(MillisecondsSince(start), 5000);
  EXPECT_EQ(passes, 1);
}

TEST(SimpleThread, EscapedErrorEndsOnlyTheThread)
{
  TSimpleThread thread(
      false, [](TSimpleThread&) { throw std::runtime_error("broken"); }, "Failing");
}
