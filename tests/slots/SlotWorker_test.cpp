#include "slots/SlotWorker.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
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
  worker.Post([] { return false; });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(worker.Finish(start + 500ms), 1u);
  EXPECT_EQ(done, 3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "the retry pause does not apply while finishing";
}
} // namespace
