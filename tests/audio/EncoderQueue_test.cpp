// The feeding queue: a writer that does not keep up makes pushes drop and count, never wait; what was kept
// arrives complete and in order.

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
      kCapacity, kChannels,
      [&](const float* iFrames, size_t iFrameCount)
      {
        // Holds the first piece until released: nothing leaves the queue meanwhile.
        released.wait();
        received.insert(received.end(), iFrames, iFrames + iFrameCount * kChannels);
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
      100, 1,
      [&](const float*, size_t)
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

} // namespace
