#include "lib/TapevaultTools.h"

#include <gtest/gtest.h>

TEST(SplitCommandLine, QuotingRules)
{
  struct TCase
  {
    const char* Line;
    std::vector<std::string> Arguments;
  };
  const TCase cases[] = {
      {"", {}},
      {" \t\r\n ", {}},
      {"prog \"a b\" c", {"prog", "a b", "c"}},
      {"prog a\\\"b", {"prog", "a\"b"}},
      {"prog a\\\\\"b c\" d", {"prog", "a\\b c", "d"}},
      {"prog \\\\\\\"x", {"prog", "\\\"x"}},
      {"prog C:\\path\\to\\file.wav", {"prog", "C:\\path\\to\\file.wav"}},
      {"prog trailing\\\\", {"prog", "trailing\\\\"}},
      {"prog \"\" end", {"prog", "", "end"}},
      {"prog ab\"c d\"ef", {"prog", "abc def"}},
      {"prog \"unterminated quote", {"prog", "unterminated quote"}},
      {"  lame  -r\t-s 48 --bitwidth 16 - \"/rec/file name.mp3\"  ",
       {"lame", "-r", "-s", "48", "--bitwidth", "16", "-", "/rec/file name.mp3"}},
      {"prog \x01sep\x7f \xc3\xa4", {"prog", "sep\x7f", "\xc3\xa4"}},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(SplitCommandLine(c.Line), c.Arguments) << c.Line;
}

TEST(Arguments, CountAndText)
{
  const char* argv[] = {"relative/name", "-rootfolder", "/tmp/root dir"};
  SetArguments(3, argv);
  EXPECT_EQ(ArgumentCount(), 2);
  EXPECT_EQ(ArgumentText(0), ProgramFilePath());
  EXPECT_EQ(ArgumentText(1), "-rootfolder");
  EXPECT_EQ(ArgumentText(2), "/tmp/root dir");
  EXPECT_EQ(ArgumentText(3), "");
  EXPECT_EQ(ArgumentText(-1), "");
  SetArguments(1, argv);
  EXPECT_EQ(ArgumentCount(), 0);
  EXPECT_EQ(ArgumentText(1), "");
}
