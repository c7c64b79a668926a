#include "lib/BrendleRegExpr.h"

#include <gtest/gtest.h>
#include <stdexcept>

TEST(BrendleRegExpr, CallersPatterns)
{
  struct TCase
  {
    const char* Pattern;
    const char* Text;
    std::vector<std::string> Groups; // empty: no match
  };
  const TCase cases[] = {
      {"StreamTitle='(.*?)';", "StreamTitle='A - B';StreamUrl='';", {"StreamTitle='A - B';", "A - B"}},
      {"StreamTitle='(.*?)';", "StreamTitle='Line\nbreak';", {"StreamTitle='Line\nbreak';", "Line\nbreak"}},
      {"^(.*):(\\d+)$", "127.0.0.1:8080", {"127.0.0.1:8080", "127.0.0.1", "8080"}},
      {"^(.*):(\\d+)$", "[::1]:80", {"[::1]:80", "[::1]", "80"}},
      {"^(.*):(\\d+)$", "localhost", {}},
      {"^SLOT (\\d+) START$", "SLOT 12 START", {"SLOT 12 START", "12"}},
      {"^SLOT (\\d+) START$", "slot 12 start", {}},
      {"^SLOT (\\d+) STOP$", "SLOT 1 STOP ", {}},
      {"^/ws/slots/(\\d+)/name$", "/ws/slots/3/name", {"/ws/slots/3/name", "3"}},
      {"^/ws/slots/(\\d+)/name$", "/ws/slots/x/name", {}},
      {"[0-9]+", "abc 42 def", {"42"}},
      {"(a)|(b)", "b", {"b", "", "b"}},
      {"ä(.)", "xäöy", {"äö", "ö"}},
      {"Title='(.*?)'", "Title='caf\xe9'", {"Title='caf\xe9'", "caf\xe9"}},
  };
  for (const TCase& c : cases)
  {
    TBrendleRegExpr expression;
    ASSERT_EQ(expression.Matches(c.Pattern, c.Text), !c.Groups.empty()) << c.Pattern << " on " << c.Text;
    ASSERT_EQ(expression.GroupCount(), c.Groups.empty() ? 0 : static_cast<int>(c.Groups.size()) - 1) << c.Pattern;
    for (size_t i = 0; i < c.Groups.size(); ++i)
      EXPECT_EQ(expression.Group(static_cast<int>(i)), c.Groups[i]) << c.Pattern << " group " << i;
    EXPECT_EQ(expression.Group(static_cast<int>(c.Groups.size())), "");
    EXPECT_EQ(expression.Group(-1), "");
  }
}

TEST(BrendleRegExpr, ReusesInputAndPatterns)
{
  TBrendleRegExpr expression;
  expression.SetInput("SLOT 2 STOP");
  EXPECT_FALSE(expression.Matches("^SLOT (\\d+) START$"));
  EXPECT_EQ(expression.Group(1), "");
  EXPECT_TRUE(expression.Matches("^SLOT (\\d+) STOP$"));
  EXPECT_EQ(expression.Group(1), "2");
  EXPECT_TRUE(expression.Matches("^SLOT (\\d+) STOP$", "SLOT 7 STOP"));
  EXPECT_EQ(expression.Group(1), "7");
  EXPECT_TRUE(expression.Matches("^SLOT (\\d+) STOP$"));
  EXPECT_EQ(expression.Group(1), "7");
}

TEST(BrendleRegExpr, BadPatternThrowsWithEngineMessage)
{
  TBrendleRegExpr expression;
  try
  {
    expression.Matches("(unclosed", "text");
    FAIL() << "no exception";
  }
  catch (const std::runtime_error& error)
  {
    EXPECT_NE(std::string(error.what()).find("missing closing parenthesis"), std::string::npos) << error.what();
  }
  EXPECT_TRUE(expression.Matches("(closed)", "closed"));
}
