// Encoders on a mixer: push stream -> mixer at another rate -> DSP -> WAV writer, the file compared sample by
// sample with what passed the chain; gap-free replacement; priorities from the configuration; the output of
// a program read back; notification when a program ends.

#include "audio/engine/AudioEngine.h"
#include "support/EngineSignal.h"
#include "support/WavFile.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace
{
using namespace std::chrono_literals;

// The file's data chunk, which the encoder must have written whole.
TWavFile ReadWav(const std::string& iPath)
{
  TWavFile wav = ReadWavFile(iPath);
  EXPECT_TRUE(wav.Valid) << iPath;
  EXPECT_LE(wav.DataSize, wav.Data.size()) << iPath;
  return wav;
}

class EngineEncode : public testing::Test
{
protected:
  void SetUp() override
  {
    char Template[] = "/tmp/engine-encode-XXXXXX";
    ASSERT_NE(mkdtemp(Template), nullptr);
    fFolder = Template;
    fMixer = TAudioEngine::MixerCreate(44100, 2, chDecode | chNonStop | chFloat);
    fPush = TAudioEngine::StreamCreatePush(48000, 1, chDecode);
    ASSERT_TRUE(TAudioEngine::MixerAddChannel(fMixer, fPush, 0));
    // What passes the chain before the encoders (priority 0), kept by frame position.
    TAudioEngine::ChannelSetDSP(
        fMixer,
        [this](float* ioBuffer, uint32_t iLength)
        { fPassed.insert(fPassed.end(), ioBuffer, ioBuffer + iLength / sizeof(float)); },
        0);
    TAudioEngine::SetConfig(cfEncodePriority, -1000);
  }
  void TearDown() override
  {
    TAudioEngine::StreamFree(fMixer);
    TAudioEngine::StreamFree(fPush);
    std::filesystem::remove_all(fFolder);
  }
  // Feeds a 1 kHz sine in 10 ms pieces and reads as much from the mixer, iSeconds long.
  void Run(double iSeconds)
  {
    std::vector<float> Out(441 * 2);
    for (int Piece = 0; Piece < int(iSeconds * 100); ++Piece, fFed += 480)
    {
      std::vector<int16_t> Sine = SineInt16(48000, 1000, 0.5, 480, 1, fFed);
      TAudioEngine::StreamPutData(fPush, Sine.data(), 480 * 2);
      ASSERT_EQ(TAudioEngine::ChannelGetData(fMixer, Out.data(), 441 * 8), 441 * 8);
    }
  }
  // The frames [iFirst, iEnd) that passed the chain.
  std::vector<float> Passed(uint64_t iFirst, uint64_t iEnd) const
  {
    return std::vector<float>(fPassed.begin() + 2 * iFirst, fPassed.begin() + 2 * iEnd);
  }

  std::string fFolder;
  uint32_t fMixer = 0, fPush = 0;
  uint64_t fFed = 0;
  std::vector<float> fPassed;
};

TEST_F(EngineEncode, WavFileHoldsExactlyWhatPassedTheChain)
{
  Run(0.5);
  const std::string Path = fFolder + "/a.wav";
  uint32_t Encoder = TAudioEngine::EncodeStart(fMixer, Path, efWAVFile | efQueue | efUnicode);
  ASSERT_NE(Encoder, 0u) << TAudioEngine::ErrorGetCode();
  EXPECT_EQ(TAudioEngine::EncodeIsActive(Encoder), esRunning);
  Run(2);
  TEncodeSpan Span;
  ASSERT_TRUE(TAudioEngine::EncodeGetSpan(Encoder, Span));
  EXPECT_EQ(Span.FirstFrame, 22050u);
  EXPECT_EQ(Span.EndFrame, 22050u + 88200u);
  EXPECT_EQ(Span.DroppedFrames, 0u);
  ASSERT_TRUE(TAudioEngine::EncodeStop(Encoder));
  EXPECT_EQ(TAudioEngine::EncodeIsActive(Encoder), esStopped);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecHandle);

  TWavFile Wav = ReadWav(Path);
  EXPECT_EQ(Wav.FormatTag, 3);
  EXPECT_EQ(Wav.Channels, 2);
  EXPECT_EQ(Wav.SampleRate, 44100u);
  EXPECT_EQ(Wav.SamplesFloat(), Passed(Span.FirstFrame, Span.EndFrame));
  // And what passed is the sine, resampled from 48 kHz mono to 44.1 kHz stereo.
  std::vector<float> Samples = Wav.SamplesFloat();
  TSineFit Fit = FitSineNear(Samples.data() + 2 * 44100, 2, 1, 22050, 44100, 1000, 1.0);
  EXPECT_NEAR(Fit.Frequency, 1000, 0.5);
  EXPECT_NEAR(Fit.Amplitude, 0.5, 0.001);
}

TEST_F(EngineEncode, ReplacementLeavesNoGapAndNoOverlap)
{
  Run(0.3);
  const std::string First = fFolder + "/1.wav", Second = fFolder + "/2.wav";
  uint32_t A = TAudioEngine::EncodeStart(fMixer, First, efWAVFile | efQueue);
  Run(1.01);
  uint32_t B = TAudioEngine::EncodeStart(fMixer, Second, efWAVFile | efQueue | ef16Bit, nullptr, A);
  ASSERT_NE(B, 0u);
  EXPECT_EQ(TAudioEngine::EncodeIsActive(A), esStopped);
  Run(0.77);
  TEncodeSpan SpanA, SpanB;
  ASSERT_TRUE(TAudioEngine::EncodeGetSpan(A, SpanA));
  ASSERT_TRUE(TAudioEngine::EncodeGetSpan(B, SpanB));
  EXPECT_EQ(SpanA.EndFrame, SpanB.FirstFrame);
  EXPECT_EQ(SpanA.EndFrame - SpanA.FirstFrame, 101u * 441u);
  EXPECT_TRUE(TAudioEngine::EncodeStop(A));
  // Only an encoder of the same channel that still takes audio can be replaced.
  EXPECT_EQ(TAudioEngine::EncodeStart(fMixer, fFolder + "/3.wav", efWAVFile, nullptr, A), 0u);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecHandle);
  ASSERT_TRUE(TAudioEngine::EncodeGetSpan(B, SpanB));
  EXPECT_TRUE(TAudioEngine::EncodeStop(B));

  EXPECT_EQ(ReadWav(First).SamplesFloat(), Passed(SpanA.FirstFrame, SpanA.EndFrame));
  TWavFile Wav = ReadWav(Second);
  EXPECT_EQ(Wav.Bits, 16);
  std::vector<float> Expected = Passed(SpanB.FirstFrame, SpanB.EndFrame);
  ASSERT_EQ(Wav.Data.size(), Expected.size() * 2);
  for (size_t Sample = 0; Sample < Expected.size(); ++Sample)
  {
    int16_t Value;
    std::memcpy(&Value, &Wav.Data[2 * Sample], 2);
    ASSERT_NEAR(Value / 32768.0, Expected[Sample], 1.0 / 32768) << Sample;
  }
}

// Threads of this process.
size_t ThreadCount()
{
  return size_t(
      std::distance(std::filesystem::directory_iterator("/proc/self/task"), std::filesystem::directory_iterator()));
}

TEST_F(EngineEncode, AContinuingFileEncoderGoesOnInTheNextFileWithoutANewThread)
{
  Run(0.3);
  const std::string First = fFolder + "/1.wav", Second = fFolder + "/2.wav", Third = fFolder + "/3.wav";
  const uint32_t flags = efWAVFile | efQueue | efContinue;
  uint32_t A = TAudioEngine::EncodeStart(fMixer, First, flags);
  ASSERT_NE(A, 0u);
  Run(1.01);
  const size_t threads = ThreadCount();
  uint32_t B = TAudioEngine::EncodeStart(fMixer, Second, flags, nullptr, A);
  ASSERT_NE(B, 0u);
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_EQ(TAudioEngine::EncodeIsActive(A), esStopped);
  EXPECT_EQ(TAudioEngine::EncodeIsActive(B), esRunning);
  Run(0.77);
  TEncodeSpan SpanA, SpanB;
  ASSERT_TRUE(TAudioEngine::EncodeGetSpan(A, SpanA));
  EXPECT_EQ(SpanA.EndFrame - SpanA.FirstFrame, 101u * 441u);
  // Stopping the old handle waits until its file is finished; the encoder goes on.
  EXPECT_TRUE(TAudioEngine::EncodeStop(A));
  EXPECT_EQ(ReadWav(First).SamplesFloat(), Passed(SpanA.FirstFrame, SpanA.EndFrame));
  EXPECT_EQ(TAudioEngine::EncodeIsActive(B), esRunning);
  // Other settings (16-bit now) need an encoder of their own.
  uint32_t C = TAudioEngine::EncodeStart(fMixer, Third, flags | ef16Bit, nullptr, B);
  ASSERT_NE(C, 0u);
  EXPECT_EQ(ThreadCount(), threads + 1);
  Run(0.2);
  ASSERT_TRUE(TAudioEngine::EncodeGetSpan(B, SpanB));
  EXPECT_EQ(SpanA.EndFrame, SpanB.FirstFrame);
  EXPECT_TRUE(TAudioEngine::EncodeStop(B));
  EXPECT_TRUE(TAudioEngine::EncodeStop(C));
  EXPECT_EQ(ReadWav(Second).SamplesFloat(), Passed(SpanB.FirstFrame, SpanB.EndFrame));
  EXPECT_EQ(ReadWav(Third).Bits, 16);
}

TEST_F(EngineEncode, AStandbyTakesNoAudioUntilItTakesItsPlaceBetweenTwoBuffers)
{
  Run(0.3);
  const std::string First = fFolder + "/1.wav", Second = fFolder + "/2.wav", Third = fFolder + "/3.wav";
  uint32_t A = TAudioEngine::EncodeStart(fMixer, First, efWAVFile | efQueue);
  uint32_t B = TAudioEngine::EncodePrepare(fMixer, Second, efWAVFile | efQueue);
  ASSERT_NE(B, 0u);
  EXPECT_EQ(TAudioEngine::EncodeIsActive(B), esRunning);
  Run(0.5);
  // Only an encoder of the chain can be replaced, and only a standby can take a place.
  EXPECT_FALSE(TAudioEngine::EncodeAttach(B, B));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecHandle);
  EXPECT_FALSE(TAudioEngine::EncodeAttach(A, 0));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecAlready);
  ASSERT_TRUE(TAudioEngine::EncodeAttach(B, A));
  EXPECT_EQ(TAudioEngine::EncodeIsActive(A), esStopped);
  Run(0.4);
  TEncodeSpan SpanA, SpanB;
  ASSERT_TRUE(TAudioEngine::EncodeGetSpan(A, SpanA));
  ASSERT_TRUE(TAudioEngine::EncodeGetSpan(B, SpanB));
  EXPECT_EQ(SpanA.EndFrame, SpanB.FirstFrame);
  EXPECT_TRUE(TAudioEngine::EncodeStop(A));
  EXPECT_TRUE(TAudioEngine::EncodeStop(B));
  EXPECT_EQ(ReadWav(First).SamplesFloat(), Passed(SpanA.FirstFrame, SpanA.EndFrame));
  EXPECT_EQ(ReadWav(Second).SamplesFloat(), Passed(SpanB.FirstFrame, SpanB.EndFrame));
  // A standby goes with its channel, or by EncodeStop.
  uint32_t C = TAudioEngine::EncodePrepare(fMixer, Third, efWAVFile | efQueue);
  uint32_t D = TAudioEngine::EncodePrepare(fMixer, fFolder + "/4.wav", efWAVFile | efQueue);
  ASSERT_NE(C, 0u);
  EXPECT_TRUE(TAudioEngine::EncodeStop(D));
  TAudioEngine::StreamFree(fMixer);
  fMixer = 0;
  EXPECT_EQ(TAudioEngine::EncodeIsActive(C), esStopped);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecHandle);
  EXPECT_EQ(ReadWav(Third).DataSize, 0u);
}

TEST_F(EngineEncode, ProgramOutputAtTheConfiguredPriority)
{
  // A DSP at priority 0 halves the signal; an encoder at 50 gets it before, one at -1000 after.
  TAudioEngine::ChannelSetDSP(
      fMixer,
      [](float* ioBuffer, uint32_t iLength)
      {
        for (uint32_t Sample = 0; Sample < iLength / 4; ++Sample)
          ioBuffer[Sample] *= 0.5f;
      },
      0);
  uint32_t Before, After;
  {
    auto Setup = TAudioEngine::LockEncoderSetup();
    ASSERT_TRUE(TAudioEngine::SetConfig(cfEncodePriority, 50));
    Before = TAudioEngine::EncodeStart(fMixer, "cat", efNoHeader | ef16Bit | efQueue);
    ASSERT_TRUE(TAudioEngine::SetConfig(cfEncodePriority, -1000));
    After = TAudioEngine::EncodeStart(fMixer, "cat", efNoHeader | ef16Bit | efQueue);
  }
  ASSERT_TRUE(Before && After);
  Run(0.5);
  TEncodeSpan Span;
  ASSERT_TRUE(TAudioEngine::EncodeGetSpan(Before, Span));
  const size_t Bytes = (Span.EndFrame - Span.FirstFrame) * 4;
  for (uint32_t Encoder : {Before, After})
  {
    std::vector<int16_t> Output(Bytes / 2);
    size_t Got = 0;
    for (int Try = 0; Try < 100 && Got < Bytes; ++Try)
    {
      int64_t Read = TAudioEngine::EncodeReadOutput(Encoder, reinterpret_cast<uint8_t*>(Output.data()) + Got,
                                                    uint32_t(Bytes - Got), 100);
      ASSERT_GE(Read, 0);
      Got += size_t(Read);
    }
    ASSERT_EQ(Got, Bytes);
    std::vector<float> Expected = Passed(Span.FirstFrame, Span.EndFrame);
    const double Scale = Encoder == Before ? 1.0 : 0.5;
    for (size_t Sample = 0; Sample < Expected.size(); ++Sample)
      ASSERT_NEAR(Output[Sample] / 32768.0, Expected[Sample] * Scale, 1.0 / 32768) << Sample;
  }
  EXPECT_TRUE(TAudioEngine::EncodeStop(Before));
  EXPECT_TRUE(TAudioEngine::EncodeStop(After));
}

TEST_F(EngineEncode, EndingProgramNotifiesWithItsHandle)
{
  std::atomic<uint32_t> Notified{0}, Status{0};
  uint32_t Encoder = TAudioEngine::EncodeStart(fMixer, "sh -c \"exit 0\"", efNoHeader | efQueue,
                                               [&](uint32_t iEncoder, uint32_t iStatus)
                                               {
                                                 Status = iStatus;
                                                 Notified = iEncoder;
                                               });
  ASSERT_NE(Encoder, 0u);
  for (int Wait = 0; Wait < 100 && !Notified; ++Wait)
  {
    Run(0.05);
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(Notified, Encoder);
  EXPECT_EQ(Status, uint32_t(enEncoderEnded));
  EXPECT_EQ(TAudioEngine::EncodeIsActive(Encoder), esStopped);
  EXPECT_TRUE(TAudioEngine::EncodeStop(Encoder));
}

TEST_F(EngineEncode, StartFailuresAndFreedChannels)
{
  EXPECT_EQ(TAudioEngine::EncodeStart(fMixer, "/nonexistent/program -x", efNoHeader | efQueue), 0u);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecFileOpen);
  EXPECT_EQ(TAudioEngine::EncodeStart(fMixer, fFolder + "/missing/a.wav", efWAVFile), 0u);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecCreate);
  EXPECT_EQ(TAudioEngine::EncodeStart(fPush, fFolder + "/a.wav", efWAVFile), 0u);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecFormat);
  // Freeing the channel ends its encoder and finishes the file.
  uint32_t Mixer = TAudioEngine::MixerCreate(8000, 2, chDecode | chFloat);
  uint32_t Encoder = TAudioEngine::EncodeStart(Mixer, fFolder + "/b.wav", efWAVFile | efQueue);
  std::vector<float> Buffer(8000 * 2);
  TAudioEngine::ChannelGetData(Mixer, Buffer.data(), 8000 * 8);
  ASSERT_TRUE(TAudioEngine::StreamFree(Mixer));
  EXPECT_FALSE(TAudioEngine::EncodeStop(Encoder));
  EXPECT_EQ(ReadWav(fFolder + "/b.wav").Data.size(), 8000u * 8);
}
} // namespace
