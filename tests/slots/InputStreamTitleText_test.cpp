// Metadata texts to titles (UTF-8 kept, Windows-1252 converted, flattened to one line) and the cue sheet lines of
// a title.

#include "slots/InputStreamTitleText.h"

#include <gtest/gtest.h>

TEST(InputStreamTitleText, TakesTheTitleOfTheMetadata)
{
  const struct
  {
    const char* Metadata;
    std::optional<std::string> Title;
  } cases[] = {
      {"StreamTitle='Artist - Song';StreamUrl='';", "Artist - Song"},
      {"StreamTitle='';", ""},
      {"StreamTitle='Rock'n'Roll';", "Rock'n'Roll"},
      {"StreamTitle='Two\nlines';", "Two lines"},
      {"StreamTitle='A\r\n  FILE \"/etc/passwd\" WAVE\r\n  TRACK 99 AUDIO';",
       "A FILE \"/etc/passwd\" WAVE TRACK 99 AUDIO"},
      {"StreamTitle='Bell\x81\x9D';", "Bell"},       // Windows-1252's unassigned codes are C1 controls
      {"StreamTitle='Caf\xC3\xA9';", "Caf\xC3\xA9"}, // UTF-8 stays
      {"StreamTitle='Caf\xE9 \x80 \x93';", "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9C"}, // Windows-1252
      {"StreamTitle='\xED\xA0\x80';", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},               // a UTF-16 surrogate is no UTF-8
      {"StreamUrl='http://x';", std::nullopt},
      {"StreamTitle='unterminated", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StreamTitleFromMetadata(c.Metadata), c.Title) << c.Metadata;
}

TEST(InputStreamTitleText, FlattensToOneLineWithoutControlCharacters)
{
  const struct
  {
    const char* Text;
    const char* Flat;
  } cases[] = {
      {"Artist - Song", "Artist - Song"},
      {"", ""},
      {"Line\r\nbreak", "Line break"},
      {"\tTabbed\t\tcolumns\t", "Tabbed columns"},
      {"  many   spaces  ", "many spaces"},
      {"nul\x01\x1F\x7F"
       "del",
       "nul del"},
      {"C1 \xC2\x85next \xC2\x9Fline", "C1 next line"},                             // NEL and APC in UTF-8
      {"kept \xC2\xA0\xC3\xA9 \xE2\x80\xA8", "kept \xC2\xA0\xC3\xA9 \xE2\x80\xA8"}, // no C0 or C1: not touched
      {"\r\n\t ", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FlattenedTitle(c.Text), c.Flat) << c.Text;
}

TEST(InputStreamTitleText, CueSheetLinesCountTracksAndFramesSinceTheFileBegan)
{
  // A double quote would end the field early: it is written as two single quotes.
  EXPECT_EQ(
      CueSheetTrackLines(1, "A \"quoted\" title\"", 205500),
      (std::vector<std::string>{"  TRACK 01 AUDIO", "    TITLE \"A ''quoted'' title''\"", "    INDEX 01 03:25:37"}));
  EXPECT_EQ(CueSheetTrackLines(100, "x", 0)[0], "  TRACK 100 AUDIO");
  EXPECT_EQ(CueSheetTrackLines(2, "x", 6000000 + 999)[2], "    INDEX 01 100:00:74") << "minutes are not limited";
  EXPECT_EQ(CueSheetTrackLines(2, "x", -40)[2], "    INDEX 01 00:00:00");
}
