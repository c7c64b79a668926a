// Recording names: extensions, placeholders, flat and folder names, the suffix that protects an existing
// recording, and the cue sheet's FILE line.

#include "slots/RecordingName.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace
{
namespace fs = std::filesystem;

const TDateTimeParts kMay17{2024, 5, 17, 14, 5, 9, 250};

TEST(RecordingName, Extensions)
{
  EXPECT_EQ(RecordingExtension(sfMP3, "x"), ".mp3");
  EXPECT_EQ(RecordingExtension(sfMP2, ""), ".mp2");
  EXPECT_EQ(RecordingExtension(sfOggVorbis, ""), ".ogg");
  EXPECT_EQ(RecordingExtension(sfWAV16, ""), ".wav");
  EXPECT_EQ(RecordingExtension(sfWAV32, ""), ".wav");
  EXPECT_EQ(RecordingExtension(sfCustomWAV, "flac"), ".flac");
  EXPECT_EQ(RecordingExtension(sfCustomRaw, "opus"), ".opus");
}

TEST(RecordingName, Names)
{
  struct TCase
  {
    TRecordingNameSettings Settings;
    std::string Extension;
    std::string Name;
  };
  const TCase cases[] = {
      {{"", "news", false}, ".mp3", "2024/05/17/news2024-05-17-14-05-09.mp3"},
      {{"", "news", true}, ".mp3", "news2024-05-17-14-05-09.mp3"},
      {{"", "", true}, ".wav", "2024-05-17-14-05-09.wav"},
      {{"%Y\\%M\\news-%h%m", "ignored", true}, ".mp3", "2024/05/news-1405.mp3"},
      {{"%y%M%D-%h%m%s", "", false}, ".mp2", "240517-140509.mp2"},
      // Only the seven placeholders are replaced.
      {{"%d-%H-%S", "", false}, ".ogg", "%d-%H-%S.ogg"},
      // The extension is appended before the replacements.
      {{"take", "", false}, ".%s", "take.09"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(RecordingRelativeName(c.Settings, c.Extension, kMay17), c.Name);
}

TEST(RecordingName, TheSlotsOwnNamesAreRecognisedWithTheTimeTheyTell)
{
  struct TCase
  {
    TRecordingNameSettings Settings;
    std::string Extension;
    std::string Name;
    bool Matches;
    std::string StartTime; // empty: the name does not tell it
  };
  const TCase cases[] = {
      {{"", "news", false}, ".mp3", "2024/05/17/news2024-05-17-14-05-09.mp3", true, "2024-05-17 14:05:09.000"},
      {{"", "news", false}, ".mp3", "2024/05/17/news2024-05-17-14-05-09-2.mp3", true, "2024-05-17 14:05:09.000"},
      {{"", "news", true}, ".mp3", "news2024-05-17-14-05-09.mp3", true, "2024-05-17 14:05:09.000"},
      {{"", "n.w(s)", true}, ".wav", "n.w(s)2024-05-17-14-05-09.wav", true, "2024-05-17 14:05:09.000"},
      {{"%y%M%D-%h%m", "", false}, ".mp2", "240517-1405.mp2", true, "2024-05-17 14:05:00.000"},
      {{"%Y\\%M\\news-%h%m", "", false}, ".mp3", "2024/05/news-1405-1.mp3", true, ""},
      {{"take", "", false}, ".%s", "take.09", true, ""},
      // Another prefix, extension, folder depth or a name that only looks alike: another program's file.
      {{"", "news", true}, ".mp3", "sport2024-05-17-14-05-09.mp3", false, ""},
      {{"", "news", true}, ".mp3", "news2024-05-17-14-05-09.wav", false, ""},
      {{"", "news", false}, ".mp3", "news2024-05-17-14-05-09.mp3", false, ""},
      {{"", "", true}, ".mp3", "Tapevault.journal", false, ""},
      {{"", "", true}, ".mp3", "2024-05-17-14-05-9.mp3", false, ""},
      {{"", "", true}, ".mp3", "2024-05-17-14-05-09-x.mp3", false, ""},
  };
  for (const TCase& c : cases)
  {
    const TRecordingNameMatch match = TRecordingNamePattern(c.Settings, c.Extension).Match(c.Name);
    EXPECT_EQ(match.Matches, c.Matches) << c.Name;
    EXPECT_EQ(match.StartTime ? FormatTimestampFull(*match.StartTime) : "", c.StartTime) << c.Name;
  }
}

TEST(RecordingName, MidnightAndYearDigits)
{
  EXPECT_EQ(RecordingRelativeName({"%y-%Y", "", false}, ".mp3", {2005, 1, 2, 0, 0, 0, 0}), "05-2005.mp3");
  EXPECT_EQ(RecordingRelativeName({"", "p", false}, ".mp3", {2005, 1, 2, 0, 0, 0, 0}),
            "2005/01/02/p2005-01-02-00-00-00.mp3");
}

TEST(RecordingName, ExistingRecordingsAreNeverReused)
{
  const fs::path folder = fs::temp_directory_path() / ("recording_name_" + std::to_string(::getpid()));
  fs::create_directories(folder / "2024.05");
  const std::string base = folder.string() + "/";
  EXPECT_EQ(UniqueRecordingName(base, "a.mp3"), "a.mp3");
  std::ofstream(base + "a.mp3") << "x";
  EXPECT_EQ(UniqueRecordingName(base, "a.mp3"), "a-1.mp3");
  std::ofstream(base + "a-1.mp3") << "x";
  EXPECT_EQ(UniqueRecordingName(base, "a.mp3"), "a-2.mp3");
  // The dot of a folder is no extension.
  std::ofstream(base + "2024.05/news") << "x";
  EXPECT_EQ(UniqueRecordingName(base, "2024.05/news"), "2024.05/news-1");
  // The repeated hour at the end of daylight saving time gives the same name again.
  std::ofstream(base + "2024.05/news02.mp3") << "x";
  EXPECT_EQ(UniqueRecordingName(base, "2024.05/news02.mp3"), "2024.05/news02-1.mp3");
  fs::remove_all(folder);
}

TEST(RecordingName, CueSheetFileLine)
{
  EXPECT_EQ(CueSheetFileLine("/rec/2024/05/17/a.wav"), "FILE \"a.wav\" WAVE");
  EXPECT_EQ(CueSheetFileLine("/rec/a-1.mp3"), "FILE \"a-1.mp3\" MP3");
  EXPECT_EQ(CueSheetFileLine("/rec/x.flac"), "FILE \"x.flac\" FLAC");
}
} // namespace
