#include "slots/SlotWorker.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{
using namespace std::chrono_literals;

TEST(SlotWorker, JobsRunInOrderAndOneThatFailsWaitsWithoutHoldingUpTheOthers)
{
  std::mutex lock;
  std::vector<std::string> done, errors;
  auto note = [&](const std::string& iText)
  {
    std::lock_guard guard(lock);
    done.push_back(iText);
  };
  TSlotWorker worker(
      "SlotWorker test", [&](const std::string& iText) { errors.push_back(iText); }, 200ms);
  std::atomic<int> tries{0};
  worker.Post(
      [&]
      {
        // A locked database: fails twice, then succeeds.
        if (++tries < 3)
          return false;
        note("retried");
        return true;
      });
  worker.Post(
      [&]
      {
        note("second");
        return true;
      });
  worker.Post([]() -> bool { throw std::runtime_error("broken"); });
  worker.Post(
      [&]
      {
        note("fourth");
        return true;
      });
  ASSERT_TRUE(worker.WaitIdle(10s));
  EXPECT_EQ(done, (std::vector<std::string>{"second", "fourth", "retried"}));
  EXPECT_EQ(tries, 3);
  EXPECT_EQ(errors, std::vector<std::string>{"broken"});
}

TEST(SlotWorker, FinishRunsWhatIsQueuedAndGivesUpWhatKeepsFailingAtTheDeadline)
{
  TSlotWorker worker(
      "SlotWorker test", [](const std::string&) {}, 10s);
  std::atomic<int> done{0};
  for (int i = 0; i < 3; ++i)
    worker.Post(
        [&]
        {
          ++done;
          return true;
        });
  std::atomic<int> kept{0};
  worker.Post([] { return false; }, [&] { return ++kept > 0; });
  const auto start = std::chrono::steady_clock::now();
  const TSlotWorker::TFinishOutcome outcome = worker.Finish(start + 500ms);
  EXPECT_EQ(outcome.GivenUp, 1u);
  EXPECT_EQ(outcome.Kept, 1u);
  EXPECT_TRUE(outcome.Ended);
  EXPECT_EQ(done, 3);
  EXPECT_EQ(kept, 1) << "the give-up handler keeps what the job would have stored";
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "the retry pause does not apply while finishing";
}

TEST(SlotWorker, AJobThatDoesNotReturnIsLeftBehindAtTheDeadline)
{
  std::mutex gate;
  std::unique_lock held(gate);
  std::vector<std::string> kept;
  std::atomic<bool> started{false};
  {
    TSlotWorker worker(
        "SlotWorker test", [](const std::string&) {}, 10s);
    // A database call that waits for another program's lock.
    worker.Post(
        [&]
        {
          started = true;
          std::lock_guard wait(gate);
          return true;
        },
        [&]
        {
          kept.push_back("running");
          return true;
        });
    worker.Post([] { return true; },
                [&]
                {
                  kept.push_back("queued");
                  return false;
                });
    while (!started)
      std::this_thread::yield();
    const TSlotWorker::TFinishOutcome outcome = worker.Finish(std::chrono::steady_clock::now() + 200ms);
    EXPECT_FALSE(outcome.Ended);
    EXPECT_EQ(outcome.GivenUp, 2u);
    EXPECT_EQ(outcome.Kept, 1u);
    EXPECT_EQ(kept, (std::vector<std::string>{"running", "queued"}));
    EXPECT_EQ(worker.Finish(std::chrono::steady_clock::now()).GivenUp, 2u) << "later calls tell the same";
    // The thread is let go when the job returns, before the worker goes.
    held.unlock();
    EXPECT_TRUE(worker.WaitIdle(10s));
  }
}
} // namespace
