#include "web/HTTPCaching.h"

#include <gtest/gtest.h>

TEST(HTTPCaching, AcceptEncodingDecidesOnGzip)
{
  const std::pair<const char*, bool> cases[] = {
      {"gzip", true},
      {"gzip, deflate, br", true},
      {"br;q=1.0, GZIP;q=0.5", true},
      {"x-gzip", true},
      {"*", true},
      {"", false},
      {"identity", false},
      {"br", false},
      {"gzip;q=0", false},
      {"gzip; q=0.000", false},
      {"*, gzip;q=0", false},
      {"*;q=0", false},
  };
  for (const auto& [header, gzip] : cases)
    EXPECT_EQ(AcceptsGzip(header), gzip) << header;
}

TEST(HTTPCaching, IfNoneMatchNamesTheTag)
{
  const std::pair<const char*, bool> cases[] = {
      {"\"abc\"", true},     {"W/\"abc\"", true}, {"\"x\", \"abc\"", true}, {"*", true},
      {"\"abc-gz\"", false}, {"abc", false},      {"\"ABC\"", false},       {"", false},
  };
  for (const auto& [header, matches] : cases)
    EXPECT_EQ(TagMatches(header, "\"abc\""), matches) << header;
}

TEST(HTTPCaching, DatesAreIMFFixdates)
{
  EXPECT_EQ(HTTPDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_EQ(HTTPDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(HTTPDate(1796959329), "Fri, 11 Dec 2026 03:22:09 GMT");
}
