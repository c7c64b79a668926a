// Encoder command lines and flags by format, and quoting that the command-line splitter undoes exactly.

#include "audio/engine/EngineTypes.h"
#include "lib/TapevaultTools.h"
#include "slots/EncoderCommand.h"
#include "slots/SlotErrors.h"

#include <gtest/gtest.h>

namespace
{
struct TCase
{
  TBassStreamingFormat Format;
  TBassStreamingMode Mode;
  std::string Options;
  std::string EncoderFilename;
  std::string Target;
  std::string Command;
  uint32_t Flags;
};

TEST(EncoderCommand, TableOfFormats)
{
  const TCase cases[] = {
      {sfMP3, smStereo, "", "", "/rec/a.mp3", "\"lame\" --flush -r -s 44100  -b 128 -m s  - \"/rec/a.mp3\"", 1},
      {sfMP3, smMono, "-q 2", "", "/rec/a.mp3", "\"lame\" --flush -r -s 44100 -a -b 128 -m m -q 2 - \"/rec/a.mp3\"", 1},
      {sfMP3, smJointStereo, "", "/opt/lame", "-", "\"/opt/lame\" --flush -r -s 44100  -b 128 -m j  - -", 1},
      {sfMP2, smStereo, "", "", "/rec/a.mp2", "\"twolame\" -m s -r -s 44100 -b 128  - \"/rec/a.mp2\"", 1},
      {sfOggVorbis, smStereo, "", "", "/rec/a.ogg", "\"oggenc\" -r -R 44100 -b 128 -m 16   -o \"/rec/a.ogg\" -", 1},
      {sfOggVorbis, smMono, "", "", "-", "\"oggenc\" -r -R 44100 -b 128 -m 16 --downmix  -o - -", 1},
      {sfWAV16, smStereo, "", "", "/rec/a b.wav", "/rec/a b.wav", efWAVFile | ef16Bit},
      {sfWAV32, smStereo, "", "", "/rec/a.wav", "/rec/a.wav", efWAVFile},
      {sfCustomWAV, smStereo, "-o $FILENAME -", "/usr/bin/flac", "/rec/a.flac",
       "\"/usr/bin/flac\" -o \"/rec/a.flac\" -", 0},
      {sfCustomRaw, smStereo, "--raw $FILENAME $FILENAME $filename", "x", "-", "\"x\" --raw - - $filename", 1},
      // Without a program the options are the whole command line.
      {sfCustomWAV, smStereo, "flac -o $FILENAME -", "", "/rec/a.flac", "flac -o \"/rec/a.flac\" -", 0},
  };
  for (const TCase& c : cases)
  {
    const TEncoderCommand command =
        BuildEncoderCommand({c.Format, c.Mode, 44100, 128, c.Options, c.EncoderFilename}, c.Target);
    EXPECT_EQ(command.Command, c.Command);
    EXPECT_EQ(command.Flags, c.Flags) << c.Command;
  }
}

TEST(EncoderCommand, StockFormatsWithoutProgramOrOptionsAreEncodedInTheProcess)
{
  struct TCodecCase
  {
    TBassStreamingFormat Format;
    TBassStreamingMode Mode;
    std::string Options;
    std::string EncoderFilename;
    std::string Target;
    std::optional<TCodecSettings> Codec; // nothing: the program path
  };
  const TCodecCase cases[] = {
      {sfMP3, smStereo, "", "", "/rec/a.mp3", TCodecSettings{ckMP3, cmStereo, 96}},
      {sfMP3, smMono, "", "", "/rec/a.mp3", TCodecSettings{ckMP3, cmMono, 96}},
      {sfMP2, smJointStereo, "", "", "/rec/a.mp2", TCodecSettings{ckMP2, cmJointStereo, 96}},
      {sfOggVorbis, smMono, "", "", "/rec/a.ogg", TCodecSettings{ckVorbis, cmMono, 96}},
      {sfMP3, smStereo, "", "lame", "/rec/a.mp3", std::nullopt},
      {sfMP2, smStereo, "--psyc-mode 1", "", "/rec/a.mp2", std::nullopt},
      {sfOggVorbis, smStereo, "", "", "-", std::nullopt},
      {sfWAV16, smStereo, "", "", "/rec/a.wav", std::nullopt},
      {sfCustomRaw, smStereo, "", "", "/rec/a.raw", std::nullopt},
  };
  for (const TCodecCase& c : cases)
  {
    const std::optional<TEncoderCommand> command =
        BuildCodecEncoderCommand({c.Format, c.Mode, 48000, 96, c.Options, c.EncoderFilename}, c.Target);
    ASSERT_EQ(command.has_value(), c.Codec.has_value()) << c.Target << ' ' << c.Options << c.EncoderFilename;
    if (!command)
      continue;
    EXPECT_EQ(command->Command, c.Target);
    EXPECT_EQ(command->Flags, uint32_t{efCodecFile});
    EXPECT_EQ(command->Codec.Kind, c.Codec->Kind);
    EXPECT_EQ(command->Codec.Mode, c.Codec->Mode);
    EXPECT_EQ(command->Codec.Bitrate, c.Codec->Bitrate);
  }
}

TEST(EncoderCommand, NoneIsInvalid)
{
  try
  {
    BuildEncoderCommand({sfNone, smStereo, 44100, 128, "", ""}, "/rec/a");
    FAIL() << "no error";
  }
  catch (const ESlotError& e)
  {
    EXPECT_STREQ(e.what(), "Invalid format");
  }
}

TEST(EncoderCommand, TargetsWithQuotesAndBackslashesStayOneArgument)
{
  for (const std::string target : {"/rec/a \"b\" --preset x.mp3", "/rec/back\\slash\\", "/rec/q\\\"x.mp3", ""})
  {
    const TEncoderCommand command = BuildEncoderCommand({sfMP3, smStereo, 44100, 128, "", ""}, target);
    const std::vector<std::string> arguments = SplitCommandLine(command.Command);
    ASSERT_FALSE(arguments.empty());
    EXPECT_EQ(arguments.back(), target);
    EXPECT_EQ(arguments.size(), 11u) << command.Command;
  }
}
} // namespace
