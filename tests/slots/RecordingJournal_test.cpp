// The index journal: lines a person can read that no name from outside can break, written and read back, a
// torn last line, and lines removed once their changes are stored.

#include "slots/RecordingJournal.h"
#include "support/SettingsTempFolder.h"

#include <gtest/gtest.h>

namespace
{
const TDateTime kStart = EncodeDateTime(2026, 12, 11, 3, 25, 21, 123);

TEST(RecordingJournal, LinesWithHostileNamesAreWrittenAndReadBack)
{
  struct TCase
  {
    TJournalEntry Entry;
    std::string Line;
  };
  const TCase cases[] = {
      {{jcInsert, "2026/12/11/news2026-12-11-03-25-21.mp3", kStart},
       "insert 2026-12-11T03:25:21.123 2026/12/11/news2026-12-11-03-25-21.mp3"},
      {{jcInsert, "line\nbreak\r.mp3", kStart}, "insert 2026-12-11T03:25:21.123 line\\nbreak\\r.mp3"},
      {{jcDropouts, "\"quoted\" 'name' with  spaces.wav", 0, 0, 8.97, 3},
       "dropouts 8.970 3 \"quoted\" 'name' with  spaces.wav"},
      {{jcEnd, "back\\slash\\n\ttab\x7f.ogg", 0, 3600.25, 0.5, 1},
       "end 3600.250 0.500 1 back\\\\slash\\\\n\\x09tab\\x7F.ogg"},
      {{jcEnd, "ünïcödé €.mp3", 0, 0, 0, 0}, "end 0.000 0.000 0 ünïcödé €.mp3"},
  };
  TSettingsTempFolder folder;
  const std::string path = JournalPath(folder.Path());
  std::vector<TJournalEntry> written;
  for (const TCase& c : cases)
  {
    EXPECT_EQ(JournalLine(c.Entry), c.Line);
    AppendJournalEntry(path, c.Entry);
    written.push_back(c.Entry);
  }
  const std::string text = TSettingsTempFolder::ReadFile(path);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(std::size(cases)) + 1)
      << "one line per change after the version line";
  EXPECT_EQ(ReadJournal(path), written);
}

TEST(RecordingJournal, WhatIsNotALineOfThisVersionIsSkipped)
{
  const char* const lines[] = {
      "",
      "insert",
      "insert 2026-12-11T03:25:21.123",
      "insert 2026-13-11T03:25:21.123 a.mp3",
      "dropouts 1,5 2 a.mp3",
      "dropouts 1.5 a.mp3",
      "end 1.0 2.0 x a.mp3",
      "rename 1 a.mp3",
      "insert 2026-12-11T03:25:21.123 bad\\escape",
      "insert 2026-12-11T03:25:21.123 raw\ttab",
  };
  for (const char* line : lines)
    EXPECT_FALSE(ParseJournalLine(line)) << line;

  TSettingsTempFolder folder;
  const std::string path = JournalPath(folder.Path());
  // A crash while the last line was written leaves it without its end.
  TSettingsTempFolder::WriteFile(path, "Tapevault index journal 1\nend 1.000 0.000 0 a.mp3\nend 2.000 0.000 0 b.m");
  ASSERT_EQ(ReadJournal(path).size(), 1u);
  EXPECT_EQ(ReadJournal(path)[0].Name, "a.mp3");
  TSettingsTempFolder::WriteFile(path, "Tapevault index journal 2\nend 1.000 0.000 0 a.mp3\n");
  EXPECT_TRUE(ReadJournal(path).empty()) << "another version's file is not guessed at";
  EXPECT_TRUE(ReadJournal(folder / "missing").empty());
}

TEST(RecordingJournal, StoredChangesLeaveTheJournalAndTheLastTakesTheFile)
{
  TSettingsTempFolder folder;
  const std::string path = JournalPath(folder.Path());
  AppendJournalEntry(path, {jcInsert, "a.mp3", kStart});
  AppendJournalEntry(path, {jcInsert, "b\n.mp3", kStart});
  AppendJournalEntry(path, {jcEnd, "a.mp3", 0, 10, 0, 0});
  ForgetJournalEntries(path, {"a.mp3"});
  const std::vector<TJournalEntry> left = ReadJournal(path);
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].Name, "b\n.mp3");
  ForgetJournalEntries(path, {"b\n.mp3"});
  EXPECT_FALSE(TSettingsTempFolder::Exists(path));
  EXPECT_FALSE(TSettingsTempFolder::Exists(path + ".new"));
}
} // namespace
