// The engine's WAV file writer: exact samples in both formats, direct and queued, a file whose writer was
// killed stays playable, creation failures.

#include "audio/engine/Encoder.h"
#include "support/WavFile.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kChannels = 2;

class EncoderWavTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    std::string pattern = (fs::temp_directory_path() / "encoderwav-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    fFolder = pattern;
  }
  void TearDown() override { fs::remove_all(fFolder); }

  fs::path fFolder;
};

// The encoder's file: a RIFF size that counts everything after its own 8 bytes up to the data chunk's end.
TWavFile ReadWav(const fs::path& iPath)
{
  TWavFile file = ReadWavFile(iPath.string());
  EXPECT_TRUE(file.Valid) << iPath;
  EXPECT_EQ(file.RiffSize, file.DataOffset - 8 + file.DataSize) << iPath;
  return file;
}

std::string RunCommand(const std::string& iCommand)
{
  std::string output;
  FILE* pipe = ::popen(iCommand.c_str(), "r");
  char buffer[4096];
  for (size_t count; pipe && (count = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
    output.append(buffer, count);
  const int status = pipe ? ::pclose(pipe) : -1;
  EXPECT_EQ(status, 0) << iCommand;
  return output;
}

// A ramp over the 16-bit steps plus the special values at the start: full scale, beyond it, NaN.
std::vector<float> TestSignal(size_t iFrames)
{
  std::vector<float> samples(iFrames * kChannels);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<float>(static_cast<int>(i * 37 % 65536) - 32768) / 32768.0f;
  const float special[] = {1.0f, -1.0f, 1.5f, -1.5f, NAN, 0.25f};
  std::copy(std::begin(special), std::end(special), samples.begin());
  return samples;
}

int16_t Expected16(float iSample)
{
  if (std::isnan(iSample))
    return 0;
  return static_cast<int16_t>(std::clamp(std::nearbyint(iSample * 32768.0f), -32768.0f, 32767.0f));
}

struct TWavCase
{
  const char* Name;
  uint32_t Flags;
};

void PrintTo(const TWavCase& iCase, std::ostream* oStream)
{
  *oStream << iCase.Name;
}

class EncoderWavFormatTest : public EncoderWavTest, public ::testing::WithParamInterface<TWavCase>
{
};

TEST_P(EncoderWavFormatTest, FileReadsBackSampleExact)
{
  const uint32_t flags = GetParam().Flags;
  const bool is16 = flags & ef16Bit;
  const size_t frames = kRate * 3 + 123;
  const std::vector<float> signal = TestSignal(frames);
  const fs::path path = fFolder / "out.wav";

  std::unique_ptr<TEncoder> encoder =
      TEncoder::Start(path.string(), {.SampleRate = kRate, .Channels = kChannels, .Flags = flags});
  for (size_t done = 0; done < frames;)
  {
    const uint32_t count = static_cast<uint32_t>(std::min<size_t>(1000, frames - done));
    encoder->Write(signal.data() + done * kChannels, count);
    done += count;
  }
  EXPECT_TRUE(encoder->IsActive());
  encoder->Stop();
  EXPECT_FALSE(encoder->IsActive());
  EXPECT_EQ(encoder->DroppedFrames(), 0u);

  const TWavFile file = ReadWav(path);
  EXPECT_EQ(file.FormatTag, is16 ? 1 : 3);
  EXPECT_EQ(file.Channels, kChannels);
  EXPECT_EQ(file.SampleRate, kRate);
  EXPECT_EQ(file.Bits, is16 ? 16 : 32);
  const size_t sampleSize = is16 ? 2 : 4;
  ASSERT_EQ(file.DataSize, frames * kChannels * sampleSize);
  ASSERT_EQ(file.Data.size(), file.DataSize);
  for (size_t i = 0; i < signal.size(); ++i)
  {
    if (is16)
    {
      int16_t value;
      std::memcpy(&value, file.Data.data() + i * 2, 2);
      ASSERT_EQ(value, Expected16(signal[i])) << "sample " << i;
    }
    else
    {
      float value;
      std::memcpy(&value, file.Data.data() + i * 4, 4);
      ASSERT_TRUE(std::memcmp(&value, &signal[i], 4) == 0) << "sample " << i;
    }
  }
  // An independent reader agrees on the length.
  EXPECT_EQ(RunCommand("soxi -s '" + path.string() + "'"), std::to_string(frames) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Formats, EncoderWavFormatTest,
                         ::testing::Values(TWavCase{"Pcm16", efWAVFile | ef16Bit}, TWavCase{"Float", efWAVFile},
                                           TWavCase{"Pcm16Queued", efWAVFile | ef16Bit | efQueue},
                                           TWavCase{"FloatQueued", efWAVFile | efQueue}),
                         [](const auto& iInfo) { return std::string(iInfo.param.Name); });

// A writer that dies without Stop leaves a file that plays up to the header's last rewrite.
TEST_F(EncoderWavTest, KilledWriterLeavesPlayableFile)
{
  const fs::path path = fFolder / "killed.wav";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0)
  {
    // 5 s of audio in 10 ms buffers, then wait for the end like a hung process.
    std::unique_ptr<TEncoder> encoder =
        TEncoder::Start(path.string(), {.SampleRate = kRate, .Channels = kChannels, .Flags = efWAVFile | ef16Bit});
    const std::vector<float> buffer(441 * kChannels, 0.5f);
    for (int i = 0; i < 500; ++i)
      encoder->Write(buffer.data(), 441);
    const char done = 1;
    if (::write(ready[1], &done, 1) != 1)
      ::_exit(1);
    for (;;)
      ::pause();
  }
  ::close(ready[1]);
  char done = 0;
  EXPECT_EQ(::read(ready[0], &done, 1), 1);
  ::close(ready[0]);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);

  // The header was last rewritten after 4 s; all 5 s reached the file.
  const TWavFile file = ReadWav(path);
  EXPECT_EQ(file.DataSize, 4u * kRate * 4);
  EXPECT_EQ(file.Data.size(), 5u * kRate * 4);
  EXPECT_EQ(RunCommand("soxi -s '" + path.string() + "'"), std::to_string(4 * kRate) + "\n");
  EXPECT_NE(RunCommand("sox '" + path.string() + "' -n stat 2>&1").find("Maximum amplitude:     0.500000"),
            std::string::npos);
}

// A full disk (here: a file size limit in a child process) ends the encoder with a notification; the file
// keeps what was written, with a header that says so.
TEST_F(EncoderWavTest, FullDiskNotifiesAndKeepsPlayableFile)
{
  const fs::path path = fFolder / "full.wav";
  constexpr rlim_t kLimit = 100000;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0)
  {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kLimit, kLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int notifications = 0;
    std::unique_ptr<TEncoder> encoder = TEncoder::Start(path.string(), {.SampleRate = kRate,
                                                                        .Channels = kChannels,
                                                                        .Flags = efWAVFile | ef16Bit | efQueue,
                                                                        .OnNotify = [&](int) { ++notifications; }});
    const std::vector<float> buffer(441 * kChannels, 0.5f);
    // The queue's thread drains it twice a second: at most 3 s until the failure shows.
    for (int i = 0; i < 3000 && encoder->IsActive(); ++i)
    {
      encoder->Write(buffer.data(), 441);
      ::usleep(1000);
    }
    const bool ended = !encoder->IsActive();
    encoder->Stop();
    ::_exit(ended && notifications == 1 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "no single notification or still active";
  const TWavFile file = ReadWav(path);
  EXPECT_EQ(file.DataSize, (kLimit - 44) / 4 * 4);
  EXPECT_EQ(RunCommand("soxi -s '" + path.string() + "'"), std::to_string((kLimit - 44) / 4) + "\n");
}

TEST_F(EncoderWavTest, CreationFailuresHaveEngineCodes)
{
  const struct
  {
    std::string Path;
    int Code;
  } cases[] = {{(fFolder / "missing" / "a.wav").string(), ecCreate}, {fFolder.string(), ecCreate}, {"", ecFileOpen}};
  for (const auto& c : cases)
  {
    try
    {
      TEncoder::Start(c.Path, {.Flags = efWAVFile | ef16Bit});
      ADD_FAILURE() << "started on " << c.Path;
    }
    catch (const TEncoderError& e)
    {
      EXPECT_EQ(e.Code(), c.Code) << c.Path << ": " << e.what();
    }
  }
}

} // namespace
