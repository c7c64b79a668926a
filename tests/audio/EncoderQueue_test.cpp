// The feeding queue: a writer that does not keep up makes pushes drop and count, never wait; what was kept
// arrives complete, in order and converted; marks run exactly between what was pushed before and after them.

#include "audio/engine/EncoderQueue.h"

#include <future>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

namespace
{

TEST(EncoderQueueTest, FullQueueDropsAndCountsWithoutWaiting)
{
  constexpr size_t kCapacity = 1000;
  constexpr uint32_t kChannels = 2;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::vector<float> received;
  bool failed = false;
  TEncoderQueue queue(
      kCapacity, kChannels, false,
      [&](const uint8_t* iFrames, size_t iFrameCount)
      {
        // Holds the first piece until released: nothing leaves the queue meanwhile.
        released.wait();
        const float* samples = reinterpret_cast<const float*>(iFrames);
        received.insert(received.end(), samples, samples + iFrameCount * kChannels);
        return true;
      },
      [&] { failed = true; });

  std::vector<float> samples((kCapacity + 300) * kChannels);
  std::iota(samples.begin(), samples.end(), 0.0f);
  queue.Push(samples.data(), 100);
  queue.Push(samples.data() + 100 * kChannels, kCapacity + 200);
  EXPECT_EQ(queue.DroppedFrames(), 300u);
  queue.Push(samples.data(), 7);
  EXPECT_EQ(queue.DroppedFrames(), 307u);

  release.set_value();
  queue.Finish(std::chrono::steady_clock::now() + std::chrono::seconds(10), [] {});
  EXPECT_FALSE(failed);
  const std::vector<float> kept(samples.begin(), samples.begin() + kCapacity * kChannels);
  EXPECT_EQ(received, kept);
}

TEST(EncoderQueueTest, FailingWriterEndsTheThreadAndReports)
{
  std::promise<void> failure;
  std::future<void> failed = failure.get_future();
  int writes = 0;
  TEncoderQueue queue(
      100, 1, true,
      [&](const uint8_t*, size_t)
      {
        ++writes;
        return false;
      },
      [&] { failure.set_value(); });
  const float sample = 0.0f;
  queue.Push(&sample, 1);
  ASSERT_EQ(failed.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  queue.Push(&sample, 1);
  queue.Finish(std::chrono::steady_clock::now() + std::chrono::seconds(10), [] {});
  EXPECT_EQ(writes, 1);
}

TEST(EncoderQueueTest, MarksRunBetweenTheirNeighboursAndWithFalseWhenTheWriterFailed)
{
  std::vector<int16_t> received;
  std::vector<std::pair<size_t, bool>> marks; // samples received when a mark ran, and whether it was reached
  bool fail = false;
  TEncoderQueue queue(
      1000, 2, true,
      [&](const uint8_t* iFrames, size_t iFrameCount)
      {
        const int16_t* samples = reinterpret_cast<const int16_t*>(iFrames);
        received.insert(received.end(), samples, samples + iFrameCount * 2);
        return !fail;
      },
      [] {});
  const auto mark = [&]
  {
    TQueueMarks one;
    one.push_back({0, [&](bool iReached) { marks.emplace_back(received.size(), iReached); }});
    return one;
  };
  const std::vector<float> first(6, 0.5f), second(4, -1.0f);
  queue.Push(first.data(), 3);
  TQueueMarks between = mark();
  ASSERT_TRUE(queue.Mark(between));
  EXPECT_TRUE(between.empty());
  queue.Push(second.data(), 2);
  queue.Finish(std::chrono::steady_clock::now() + std::chrono::seconds(10), [] {});
  ASSERT_EQ(marks.size(), 1u);
  EXPECT_EQ(marks[0], std::make_pair(size_t{6}, true));
  EXPECT_EQ(received, (std::vector<int16_t>{16384, 16384, 16384, 16384, 16384, 16384, -32768, -32768, -32768, -32768}));

  // A writer that fails ends the thread: a mark it did not reach runs with false, a later one is refused.
  TEncoderQueue failing(
      100, 2, true, [&](const uint8_t*, size_t) { return false; }, [] {});
  marks.clear();
  failing.Push(first.data(), 3);
  TQueueMarks late = mark();
  const bool placed = failing.Mark(late);
  failing.Finish(std::chrono::steady_clock::now() + std::chrono::seconds(10), [] {});
  // Placed before the thread ended, it ran unreached; else it was refused and left to the caller.
  ASSERT_EQ(marks.size(), placed ? 1u : 0u);
  if (placed)
    EXPECT_FALSE(marks[0].second);
  else
    EXPECT_EQ(late.size(), 1u);
  TQueueMarks refused = mark();
  EXPECT_FALSE(failing.Mark(refused));
  EXPECT_EQ(refused.size(), 1u);
}

} // namespace
