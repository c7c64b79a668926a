// The codec libraries in the process against the encoder programs with the same samples and the command lines
// of the same settings: MP3 and MP2 decode to the same samples, Ogg Vorbis to the same length; the MP3 info
// frame counts the frames; files that cannot be written end the encoder as a program's end does.

#include "audio/engine/Encoder.h"
#include "slots/EncoderCommand.h"
#include "support/ProcessLauncher.h"
#include "support/SettingsTempFolder.h"
#include "support/Wait.h"

#include <atomic>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
using namespace std::chrono_literals;

// Two tones, one per channel, and a quiet chirp on both, so that stereo, joint stereo and the mixdown differ.
std::vector<float> TestSignal(uint32_t iRate, double iSeconds)
{
  const size_t frames = static_cast<size_t>(iRate * iSeconds);
  std::vector<float> samples(frames * 2);
  for (size_t i = 0; i < frames; ++i)
  {
    const double t = static_cast<double>(i) / iRate;
    const double chirp = 0.1 * std::sin(2 * M_PI * (200 + 400 * t) * t);
    samples[2 * i] = static_cast<float>(0.4 * std::sin(2 * M_PI * 440 * t) + chirp);
    samples[2 * i + 1] = static_cast<float>(0.3 * std::sin(2 * M_PI * 1250 * t) + chirp);
  }
  return samples;
}

// Encodes iSamples (stereo) with iCommand, written in pieces of a pull pass.
void Encode(const TEncoderCommand& iCommand, uint32_t iRate, const std::vector<float>& iSamples,
            uint32_t iExtraFlags = 0)
{
  TEncoderSettings settings;
  settings.SampleRate = iRate;
  settings.Flags = iCommand.Flags | ef16Bit | iExtraFlags;
  settings.Codec = iCommand.Codec;
  std::unique_ptr<TEncoder> encoder = TEncoder::Start(iCommand.Command, settings);
  const size_t piece = iRate / 10;
  for (size_t at = 0; at < iSamples.size() / 2; at += piece)
    encoder->Write(iSamples.data() + 2 * at, static_cast<uint32_t>(std::min(piece, iSamples.size() / 2 - at)));
  encoder->Stop();
}

// The file's audio as ffmpeg decodes it: 16-bit samples in the file's own rate and channels.
std::string Decoded(const std::string& iFile)
{
  const std::string raw = iFile + ".raw";
  std::string output;
  EXPECT_EQ(RunProgram({"sh", "-c", "ffmpeg -v error -y -i '" + iFile + "' -f s16le '" + raw + "'"}, {}, output), 0)
      << output;
  return TSettingsTempFolder::ReadFile(raw);
}

uint32_t BigEndian32(const std::string& iBytes, size_t iAt)
{
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i)
    value = value << 8 | static_cast<uint8_t>(iBytes[iAt + i]);
  return value;
}

// The frame count of the file's info frame ("Info" for constant bit rate); nothing without one.
std::optional<uint32_t> InfoFrameCount(const std::string& iFile)
{
  const std::string head = iFile.substr(0, 200);
  const size_t tag = head.find("Info");
  if (tag == std::string::npos || !(BigEndian32(head, tag + 4) & 1))
    return std::nullopt;
  return BigEndian32(head, tag + 8);
}

// Audio frames ffmpeg reads from the file (the info frame is none).
uint32_t PacketCount(const std::string& iFile)
{
  std::string output;
  RunProgram(
      {"sh", "-c", "ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 '" + iFile + "'"},
      {}, output);
  return static_cast<uint32_t>(std::stoul(output));
}

// Ogg pages with their serial number and checksum cleared: the rest is what two encoders can share.
std::string WithoutSerial(std::string iOgg)
{
  for (size_t at = 0; at + 27 <= iOgg.size() && iOgg.compare(at, 4, "OggS") == 0;)
  {
    std::fill_n(iOgg.begin() + static_cast<std::ptrdiff_t>(at + 14), 4, '\0');
    std::fill_n(iOgg.begin() + static_cast<std::ptrdiff_t>(at + 22), 4, '\0');
    const size_t segments = static_cast<uint8_t>(iOgg[at + 26]);
    size_t body = 0;
    for (size_t i = 0; i < segments && at + 27 + i < iOgg.size(); ++i)
      body += static_cast<uint8_t>(iOgg[at + 27 + i]);
    at += 27 + segments + body;
  }
  return iOgg;
}

struct TCodecCase
{
  TBassStreamingFormat Format;
  TBassStreamingMode Mode;
  int Rate;
  int Bitrate;
  const char* Name;
  // MP3 frames large enough for the info frame (lame leaves it out of smaller ones).
  bool InfoFrame = false;
};

void PrintTo(const TCodecCase& iCase, std::ostream* oStream)
{
  *oStream << iCase.Name;
}

class EncoderCodecTest : public testing::TestWithParam<TCodecCase>
{
protected:
  TSettingsTempFolder fFolder;
};

TEST_P(EncoderCodecTest, SameAudioAsTheProgram)
{
  const TCodecCase& c = GetParam();
  const TEncoderCommandSettings settings{c.Format, c.Mode, c.Rate, c.Bitrate, "", ""};
  const std::string extension = c.Format == sfMP3 ? ".mp3" : c.Format == sfMP2 ? ".mp2" : ".ogg";
  const std::string programFile = fFolder / ("program" + extension);
  const std::string libraryFile = fFolder / ("library" + extension);
  const std::vector<float> signal = TestSignal(static_cast<uint32_t>(c.Rate), 3.3);

  Encode(BuildEncoderCommand(settings, programFile), static_cast<uint32_t>(c.Rate), signal);
  const std::optional<TEncoderCommand> library = BuildCodecEncoderCommand(settings, libraryFile);
  ASSERT_TRUE(library);
  Encode(*library, static_cast<uint32_t>(c.Rate), signal, efQueue);

  const std::string programBytes = TSettingsTempFolder::ReadFile(programFile);
  const std::string libraryBytes = TSettingsTempFolder::ReadFile(libraryFile);
  const std::string programAudio = Decoded(programFile);
  const std::string libraryAudio = Decoded(libraryFile);
  ASSERT_GT(programAudio.size(), 0u);
  EXPECT_EQ(libraryAudio.size(), programAudio.size());
  if (c.Format == sfOggVorbis)
  {
    // The serial numbers are random; whether the rest matches is recorded, not demanded (the mixdown's first
    // packet may come out a byte apart).
    RecordProperty("OggBytesMatchButSerial", WithoutSerial(libraryBytes) == WithoutSerial(programBytes) ? "yes" : "no");
    return;
  }
  EXPECT_TRUE(libraryAudio == programAudio) << "decoded samples differ";
  EXPECT_TRUE(libraryBytes == programBytes) << "file bytes differ";
  const std::optional<uint32_t> frames = InfoFrameCount(libraryBytes);
  ASSERT_EQ(frames.has_value(), c.InfoFrame);
  if (frames)
  {
    EXPECT_EQ(*frames, PacketCount(libraryFile));
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, EncoderCodecTest,
                         testing::Values(TCodecCase{sfMP3, smStereo, 44100, 128, "mp3_44100_128_stereo", true},
                                         TCodecCase{sfMP3, smMono, 44100, 64, "mp3_44100_64_mono", true},
                                         TCodecCase{sfMP3, smJointStereo, 48000, 192, "mp3_48000_192_joint", true},
                                         TCodecCase{sfMP3, smStereo, 22050, 32, "mp3_22050_32_stereo"},
                                         TCodecCase{sfMP2, smStereo, 44100, 128, "mp2_44100_128_stereo"},
                                         TCodecCase{sfMP2, smMono, 48000, 64, "mp2_48000_64_mono"},
                                         TCodecCase{sfMP2, smJointStereo, 32000, 192, "mp2_32000_192_joint"},
                                         TCodecCase{sfOggVorbis, smStereo, 44100, 128, "ogg_44100_128_stereo"},
                                         TCodecCase{sfOggVorbis, smMono, 48000, 64, "ogg_48000_64_mono"}),
                         [](const testing::TestParamInfo<TCodecCase>& iInfo) { return iInfo.param.Name; });

TEST(EncoderCodec, AFileThatCannotBeCreatedEndsTheEncoderAsTheProgramsEnd)
{
  TSettingsTempFolder folder;
  const std::string target = folder / "missing/folder/a.mp3";
  const TEncoderCommandSettings settings{sfMP3, smStereo, 44100, 128, "", ""};
  const std::vector<float> signal = TestSignal(44100, 0.5);
  for (const TEncoderCommand& command :
       {BuildEncoderCommand(settings, target), *BuildCodecEncoderCommand(settings, target)})
  {
    std::atomic<int> notified{0};
    TEncoderSettings encoderSettings;
    encoderSettings.Flags = command.Flags | ef16Bit | efQueue;
    encoderSettings.Codec = command.Codec;
    encoderSettings.OnNotify = [&](int iStatus) { notified = iStatus; };
    std::unique_ptr<TEncoder> encoder = TEncoder::Start(command.Command, encoderSettings);
    // Fed as the pulling thread feeds it, until it gives up.
    EXPECT_TRUE(WaitUntil(
        [&]
        {
          encoder->Write(signal.data(), static_cast<uint32_t>(signal.size() / 2));
          return !encoder->IsActive();
        },
        10s))
        << command.Command;
    EXPECT_EQ(notified.load(), int{enEncoderEnded}) << command.Command;
    encoder->Stop();
    EXPECT_FALSE(std::filesystem::exists(target));
  }
}

} // namespace
