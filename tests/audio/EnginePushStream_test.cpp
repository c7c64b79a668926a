// Push streams: handles and errors, queue and read back, overflow drops the oldest audio and counts it.

#include "audio/engine/AudioEngine.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

namespace
{
struct TCreateCase
{
  uint32_t Rate, Channels, Flags;
  int Error;
};

TEST(EnginePushStream, CreateValidatesItsArguments)
{
  const TCreateCase Cases[] = {
      {48000, 2, chDecode, ecOK},    {44100, 1, chDecode | chFloat, ecOK}, {48000, 2, 0, ecIllegalParam},
      {0, 2, chDecode, ecFrequency}, {48000, 0, chDecode, ecFormat},       {48000, 33, chDecode | chFloat, ecFormat},
  };
  for (const TCreateCase& Case : Cases)
  {
    uint32_t Handle = TAudioEngine::StreamCreatePush(Case.Rate, Case.Channels, Case.Flags);
    EXPECT_EQ(TAudioEngine::ErrorGetCode(), Case.Error) << Case.Rate << " " << Case.Channels;
    EXPECT_EQ(Handle != 0, Case.Error == ecOK);
    if (Handle)
    {
      EXPECT_TRUE(TAudioEngine::StreamFree(Handle));
    }
  }
}

TEST(EnginePushStream, QueuedDataReadsBackUnchanged)
{
  uint32_t Handle = TAudioEngine::StreamCreatePush(48000, 2, chDecode);
  ASSERT_NE(Handle, 0u);
  std::vector<int16_t> In(2000);
  std::iota(In.begin(), In.end(), int16_t(-1000));
  EXPECT_EQ(TAudioEngine::StreamPutData(Handle, In.data(), uint32_t(In.size() * 2)), int64_t(In.size() * 2));
  std::vector<int16_t> Out(3000);
  // A trailing partial frame is not read.
  EXPECT_EQ(TAudioEngine::ChannelGetData(Handle, Out.data(), 1203), 1200);
  EXPECT_EQ(TAudioEngine::ChannelGetData(Handle, Out.data() + 600, 6000), 2800);
  EXPECT_TRUE(std::equal(In.begin(), In.end(), Out.begin()));
  EXPECT_EQ(TAudioEngine::ChannelGetPosition(Handle), 4000);
  EXPECT_EQ(TAudioEngine::ChannelGetData(Handle, Out.data(), 400), 0);
  EXPECT_TRUE(TAudioEngine::StreamFree(Handle));
}

TEST(EnginePushStream, OverflowDropsTheOldestAndCountsIt)
{
  const uint32_t Rate = 1000; // the queue holds 4 seconds: 4000 mono float frames
  uint32_t Handle = TAudioEngine::StreamCreatePush(Rate, 1, chDecode | chFloat);
  ASSERT_NE(Handle, 0u);
  std::vector<float> Frames(5000);
  std::iota(Frames.begin(), Frames.end(), 0.0f);
  for (size_t Start = 0; Start < Frames.size(); Start += 500)
    TAudioEngine::StreamPutData(Handle, Frames.data() + Start, 500 * sizeof(float));
  TChannelInfo Info;
  ASSERT_TRUE(TAudioEngine::ChannelGetInfo(Handle, Info));
  EXPECT_EQ(Info.DroppedBytes, 1000 * sizeof(float));
  std::vector<float> Out(5000);
  ASSERT_EQ(TAudioEngine::ChannelGetData(Handle, Out.data(), 5000 * sizeof(float)), int64_t(4000 * sizeof(float)));
  for (size_t i = 0; i < 4000; ++i)
    ASSERT_EQ(Out[i], float(1000 + i)) << i;
  // A single buffer larger than the queue keeps its newest part.
  std::vector<float> Big(4500, 7.0f);
  Big.back() = 9.0f;
  TAudioEngine::StreamPutData(Handle, Big.data(), uint32_t(Big.size() * sizeof(float)));
  ASSERT_EQ(TAudioEngine::ChannelGetData(Handle, Out.data(), 5000 * sizeof(float)), int64_t(4000 * sizeof(float)));
  EXPECT_EQ(Out[3999], 9.0f);
  ASSERT_TRUE(TAudioEngine::ChannelGetInfo(Handle, Info));
  EXPECT_EQ(Info.DroppedBytes, 1500 * sizeof(float));
  EXPECT_TRUE(TAudioEngine::StreamFree(Handle));
}

TEST(EnginePushStream, ProducerAndConsumerThreadsKeepOrderAndCountEveryFrame)
{
  // A capture thread numbers its frames; a slower reader must see them in order, with gaps only where
  // frames were dropped, and written = read + dropped + still queued.
  const uint32_t Rate = 4000;
  uint32_t Handle = TAudioEngine::StreamCreatePush(Rate, 1, chDecode | chFloat);
  const uint32_t Total = 2000000, Period = 97;
  std::atomic<bool> Done{false};
  std::thread Producer(
      [&]
      {
        std::vector<float> Frames(Period);
        for (uint32_t Next = 0; Next < Total; Next += Period)
        {
          std::iota(Frames.begin(), Frames.end(), float(Next));
          TAudioEngine::StreamPutData(Handle, Frames.data(), Period * sizeof(float));
        }
        Done = true;
      });
  std::vector<float> Buffer(333);
  uint64_t Read = 0;
  float Last = -1;
  for (bool Finished = false; !Finished;)
  {
    Finished = Done;
    int64_t Bytes;
    while ((Bytes = TAudioEngine::ChannelGetData(Handle, Buffer.data(), uint32_t(Buffer.size() * 4))) > 0)
    {
      for (int64_t i = 0; i < Bytes / 4; ++i)
      {
        ASSERT_GT(Buffer[i], Last);
        Last = Buffer[i];
      }
      Read += uint64_t(Bytes / 4);
    }
  }
  Producer.join();
  TChannelInfo Info;
  ASSERT_TRUE(TAudioEngine::ChannelGetInfo(Handle, Info));
  EXPECT_EQ(Last, float(Total - 1 + (Period - Total % Period) % Period));
  EXPECT_EQ(Read + Info.DroppedBytes / 4, (Total + Period - 1) / Period * Period);
  EXPECT_TRUE(TAudioEngine::StreamFree(Handle));
}

TEST(EnginePushStream, FreedAndUnknownHandlesFail)
{
  uint32_t Handle = TAudioEngine::StreamCreatePush(8000, 1, chDecode);
  ASSERT_TRUE(TAudioEngine::StreamFree(Handle));
  int16_t Sample = 0;
  EXPECT_EQ(TAudioEngine::StreamPutData(Handle, &Sample, 2), -1);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecHandle);
  EXPECT_FALSE(TAudioEngine::StreamFree(Handle));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecHandle);
  EXPECT_FALSE(TAudioEngine::StreamFree(0));
  EXPECT_EQ(TAudioEngine::ChannelGetPosition(12345), -1);
  // A new stream never gets the freed handle back.
  uint32_t Next = TAudioEngine::StreamCreatePush(8000, 1, chDecode);
  EXPECT_NE(Next, Handle);
  EXPECT_TRUE(TAudioEngine::StreamFree(Next));
}

TEST(EnginePushStream, SecondsAndBytesFollowTheFormat)
{
  uint32_t Handle = TAudioEngine::StreamCreatePush(44100, 2, chDecode | chFloat);
  EXPECT_EQ(TAudioEngine::ChannelSeconds2Bytes(Handle, 2.0), 2 * 44100 * 8);
  EXPECT_EQ(TAudioEngine::ChannelSeconds2Bytes(Handle, 0.1), 4410 * 8);
  EXPECT_DOUBLE_EQ(TAudioEngine::ChannelBytes2Seconds(Handle, 44100 * 8), 1.0);
  EXPECT_EQ(TAudioEngine::ChannelSeconds2Bytes(Handle, -1.0), -1);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecIllegalParam);
  EXPECT_TRUE(TAudioEngine::StreamFree(Handle));
}
} // namespace
