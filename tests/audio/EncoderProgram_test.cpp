// External encoder programs, started for real: lame, twolame and oggenc write decodable files of the fed
// length; programs that end early, hang, stop reading or write to their standard output.

#include "audio/engine/Encoder.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kChannels = 2;

// A tone with different frequencies left and right.
std::vector<float> Tone(size_t iFrames)
{
  std::vector<float> samples(iFrames * kChannels);
  for (size_t i = 0; i < iFrames; ++i)
  {
    samples[i * 2] = 0.5f * std::sin(2 * M_PI * 440.0 * static_cast<double>(i) / kRate);
    samples[i * 2 + 1] = 0.5f * std::sin(2 * M_PI * 660.0 * static_cast<double>(i) / kRate);
  }
  return samples;
}

// Feeds in 10 ms buffers, like a pulling thread.
void Feed(TEncoder& iEncoder, const std::vector<float>& iSamples)
{
  const size_t frames = iSamples.size() / kChannels;
  for (size_t done = 0; done < frames; done += 441)
    iEncoder.Write(iSamples.data() + done * kChannels, static_cast<uint32_t>(std::min<size_t>(441, frames - done)));
}

// Runs a shell command; its standard output and exit status.
std::pair<std::string, int> RunCommand(const std::string& iCommand)
{
  std::string output;
  FILE* pipe = ::popen(iCommand.c_str(), "r");
  char buffer[65536];
  for (size_t count; pipe && (count = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
    output.append(buffer, count);
  return {output, pipe ? ::pclose(pipe) : -1};
}

// Counts the notifications of an encoder and lets a test wait for the first.
class TNotifications
{
public:
  std::function<void(int)> Callback()
  {
    return [this](int iStatus)
    {
      std::lock_guard lock(fLock);
      fStatuses.push_back(iStatus);
      fChanged.notify_all();
    };
  }
  bool WaitForOne()
  {
    std::unique_lock lock(fLock);
    return fChanged.wait_for(lock, 10s, [this] { return !fStatuses.empty(); });
  }
  std::vector<int> Statuses()
  {
    std::lock_guard lock(fLock);
    return fStatuses;
  }

private:
  std::mutex fLock;
  std::condition_variable fChanged;
  std::vector<int> fStatuses;
};

class EncoderProgramTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    std::string pattern = (fs::temp_directory_path() / "encoderprogram-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    fFolder = pattern;
  }
  void TearDown() override { fs::remove_all(fFolder); }

  fs::path fFolder;
};

struct TProgramCase
{
  const char* Name;
  const char* Command; // %s: the quoted target file
  uint32_t Flags;
  const char* Extension;
  const char* Codec;
};

void PrintTo(const TProgramCase& iCase, std::ostream* oStream)
{
  *oStream << iCase.Name;
}

class EncoderProgramFileTest : public EncoderProgramTest, public ::testing::WithParamInterface<TProgramCase>
{
};

TEST_P(EncoderProgramFileTest, WritesDecodableFileOfTheFedLength)
{
  const TProgramCase& c = GetParam();
  const fs::path path = fFolder / (std::string("out") + c.Extension);
  char command[512];
  std::snprintf(command, sizeof(command), c.Command, ("\"" + path.string() + "\"").c_str());
  constexpr size_t kFrames = kRate * 3;

  TNotifications notifications;
  std::unique_ptr<TEncoder> encoder = TEncoder::Start(
      command, {.SampleRate = kRate, .Channels = kChannels, .Flags = c.Flags, .OnNotify = notifications.Callback()});
  Feed(*encoder, Tone(kFrames));
  EXPECT_TRUE(encoder->IsActive());
  encoder->Stop();
  EXPECT_EQ(encoder->DroppedFrames(), 0u);
  EXPECT_TRUE(notifications.Statuses().empty());

  const auto [codec, probeStatus] =
      RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of default=nw=1:nk=1 '" +
                 path.string() + "'");
  EXPECT_EQ(probeStatus, 0);
  EXPECT_EQ(codec, std::string(c.Codec) + "\n");
  const auto [pcm, decodeStatus] = RunCommand("ffmpeg -v error -xerror -i '" + path.string() + "' -f s16le -ac 2 -");
  EXPECT_EQ(decodeStatus, 0);
  // Within one MPEG audio frame of what was fed.
  const double frames = static_cast<double>(pcm.size()) / 4;
  EXPECT_NEAR(frames, static_cast<double>(kFrames), 1152.0);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, EncoderProgramFileTest,
    ::testing::Values(TProgramCase{"Lame", "\"lame\" --flush -r -s 44100  -b 128 -m s  - %s",
                                   efNoHeader | ef16Bit | efQueue, ".mp3", "mp3"},
                      TProgramCase{"Twolame", "\"twolame\" -m s -r -s 44100 -b 128  - %s",
                                   efNoHeader | ef16Bit | efQueue, ".mp2", "mp2"},
                      TProgramCase{"Oggenc", "\"oggenc\" -r -R 44100 -b 128 -m 16  -o %s -",
                                   efNoHeader | ef16Bit | efQueue, ".ogg", "vorbis"},
                      // A WAV header of unknown length in front: the programs read to the end of their input.
                      TProgramCase{"LameWavHeader", "lame --flush -b 128 - %s", ef16Bit | efQueue, ".mp3", "mp3"},
                      TProgramCase{"OggencWavHeader", "oggenc -b 128 -o %s -", ef16Bit, ".ogg", "vorbis"}),
    [](const auto& iInfo) { return std::string(iInfo.param.Name); });

TEST_F(EncoderProgramTest, ProgramThatEndsEarlyNotifiesOnce)
{
  const struct
  {
    const char* Command;
    uint32_t Flags;
  } cases[] = {
      {"sh -c \"exit 0\"", efNoHeader | ef16Bit | efQueue}, // ends without reading anything
      {"head -c 10", ef16Bit},                              // stops reading: our writes break the pipe
      {"head -c 10", ef16Bit | efQueue},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Command);
    TNotifications notifications;
    std::unique_ptr<TEncoder> encoder =
        TEncoder::Start(c.Command, {.Flags = c.Flags, .OnNotify = notifications.Callback()});
    const std::vector<float> second = Tone(kRate);
    Feed(*encoder, second); // more than the pipe holds: the program is gone before it has been written
    ASSERT_TRUE(notifications.WaitForOne());
    EXPECT_FALSE(encoder->IsActive());
    Feed(*encoder, second); // ignored now
    encoder->Stop();
    EXPECT_EQ(notifications.Statuses(), std::vector<int>{enEncoderEnded});
  }
}

TEST_F(EncoderProgramTest, HangingProgramIsEndedByStop)
{
  // The second ignores SIGTERM (and so does its sleep): only SIGKILL ends it.
  for (const char* command : {"sleep 1000", "sh -c \"trap '' TERM; exec sleep 1000\""})
  {
    SCOPED_TRACE(command);
    TNotifications notifications;
    std::unique_ptr<TEncoder> encoder = TEncoder::Start(
        command, {.Flags = ef16Bit | efQueue, .StopTimeoutMilliseconds = 200, .OnNotify = notifications.Callback()});
    Feed(*encoder, Tone(kRate * 2)); // more than the pipe holds
    const auto start = std::chrono::steady_clock::now();
    encoder->Stop();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 200ms + 1s + 2s) << "Stop must return within its bound";
    EXPECT_FALSE(encoder->IsActive());
    EXPECT_TRUE(notifications.Statuses().empty());
    // Reaped: no child of ours is left, not even a zombie.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
  }
}

TEST_F(EncoderProgramTest, FullQueueDropsWithoutBlocking)
{
  // The program never reads: the pipe fills, then the queue, then the pushes drop. A blocking Write would
  // hang this test.
  std::unique_ptr<TEncoder> encoder = TEncoder::Start(
      "sleep 1000",
      {.Flags = efNoHeader | ef16Bit | efQueue, .QueueMilliseconds = 100, .StopTimeoutMilliseconds = 100});
  constexpr size_t kFrames = kRate * 3;
  Feed(*encoder, Tone(kFrames));
  const uint64_t queued = kRate / 10;
  const uint64_t pipe = 65536 / 4;
  EXPECT_GE(encoder->DroppedFrames(), kFrames - queued - pipe);
  EXPECT_LE(encoder->DroppedFrames(), kFrames - queued);
  EXPECT_TRUE(encoder->IsActive());
  encoder->Stop();
}

TEST_F(EncoderProgramTest, StandardOutputIsReadable)
{
  // cat as the encoder of a stream written to "-": its output is exactly what it was fed.
  std::unique_ptr<TEncoder> encoder = TEncoder::Start("cat", {.Flags = efNoHeader | ef16Bit | efQueue});
  std::vector<float> samples(kRate * kChannels);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<float>(static_cast<int>(i % 65536) - 32768) / 32768.0f;
  Feed(*encoder, samples);

  std::vector<uint8_t> output;
  uint8_t buffer[10000];
  while (output.size() < samples.size() * 2)
  {
    const int64_t count = encoder->ReadOutput(buffer, sizeof(buffer), 5000);
    ASSERT_GT(count, 0) << "after " << output.size() << " bytes";
    output.insert(output.end(), buffer, buffer + count);
  }
  ASSERT_EQ(output.size(), samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i)
  {
    int16_t value;
    std::memcpy(&value, output.data() + i * 2, 2);
    ASSERT_EQ(value, static_cast<int>(i % 65536) - 32768) << "sample " << i;
  }
  EXPECT_EQ(encoder->ReadOutput(buffer, sizeof(buffer), 10), 0); // nothing more for now
  encoder->Stop();
  EXPECT_EQ(encoder->ReadOutput(buffer, sizeof(buffer), 10), -1); // ended
}

TEST_F(EncoderProgramTest, StartFailuresHaveEngineCodes)
{
  for (const char* command : {"tapevault-no-such-encoder -", "\"\" -", "   "})
  {
    try
    {
      TEncoder::Start(command, {.Flags = ef16Bit});
      ADD_FAILURE() << "started " << command;
    }
    catch (const TEncoderError& e)
    {
      EXPECT_EQ(e.Code(), ecFileOpen) << command << ": " << e.what();
    }
  }
  EXPECT_THROW(TEncoder::Start("cat", {.SampleRate = 0}), TEncoderError);
}

} // namespace
