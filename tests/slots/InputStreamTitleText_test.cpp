// Metadata texts to titles (UTF-8 kept, Windows-1252 converted) and the cue sheet lines of a title.

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
      {"StreamTitle='Two\nlines';", "Two\nlines"},
      {"StreamTitle='Caf\xC3\xA9';", "Caf\xC3\xA9"},                                 // UTF-8 stays
      {"StreamTitle='Caf\xE9 \x80 \x93';", "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9C"}, // Windows-1252
      {"StreamTitle='\xED\xA0\x80';", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},               // a UTF-16 surrogate is no UTF-8
      {"StreamUrl='http://x';", std::nullopt},
      {"StreamTitle='unterminated", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StreamTitleFromMetadata(c.Metadata), c.Title) << c.Metadata;
}

TEST(InputStreamTitleText, CueSheetLinesCountTracksAndFramesSinceTheFileBegan)
{
  EXPECT_EQ(
      CueSheetTrackLines(1, "A \"quoted\" title", 205500),
      (std::vector<std::string>{"  TRACK 01 AUDIO", "    TITLE \"A \"quoted\" title\"", "    INDEX 01 03:25:37"}));
  EXPECT_EQ(CueSheetTrackLines(100, "x", 0)[0], "  TRACK 100 AUDIO");
  EXPECT_EQ(CueSheetTrackLines(2, "x", 6000000 + 999)[2], "    INDEX 01 100:00:74") << "minutes are not limited";
  EXPECT_EQ(CueSheetTrackLines(2, "x", -40)[2], "    INDEX 01 00:00:00");
}
