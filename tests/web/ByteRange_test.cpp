#include "web/ByteRange.h"

#include <gtest/gtest.h>
#include <limits>

TEST(ByteRange, ParsesHeaders)
{
  constexpr uint64_t maximum = std::numeric_limits<uint64_t>::max();
  struct TCase
  {
    const char* Header;
    std::vector<std::pair<std::optional<uint64_t>, std::optional<uint64_t>>> Ranges; // empty: ignored
  };
  const TCase cases[] = {
      {"bytes=0-", {{0, std::nullopt}}},
      {"bytes=-0", {{std::nullopt, 0}}},
      {"bytes=-500", {{std::nullopt, 500}}},
      {"bytes=10-20", {{10, 20}}},
      {"Bytes = 10 - 20 ", {{10, 20}}},
      {"bytes=0-1,5-6", {{0, 1}, {5, 6}}},
      {"bytes=0-1, ,5-", {{0, 1}, {5, std::nullopt}}},
      {"bytes=99999999999999999999999-", {{maximum, std::nullopt}}},
      {"bytes=-", {}},
      {"bytes=", {}},
      {"bytes=a-b", {}},
      {"bytes=1-2-3", {}},
      {"items=0-1", {}},
      {"0-1", {}},
      {"", {}},
  };
  for (const TCase& test : cases)
  {
    const auto ranges = ParseRangeHeader(test.Header);
    if (test.Ranges.empty())
    {
      EXPECT_FALSE(ranges) << test.Header;
      continue;
    }
    ASSERT_TRUE(ranges) << test.Header;
    ASSERT_EQ(ranges->size(), test.Ranges.size()) << test.Header;
    for (size_t i = 0; i < ranges->size(); ++i)
    {
      EXPECT_EQ((*ranges)[i].First, test.Ranges[i].first) << test.Header;
      EXPECT_EQ((*ranges)[i].Last, test.Ranges[i].second) << test.Header;
    }
  }
}

TEST(ByteRange, ResolvesAgainstTheFileSize)
{
  struct TCase
  {
    const char* Name;
    TByteRangeSpec Range;
    uint64_t Size;
    TRangeStatus Status;
    uint64_t First, Last;
  };
  const TCase cases[] = {
      {"bytes=0-", {0, std::nullopt}, 100, rgPart, 0, 99},
      {"bytes=-0", {std::nullopt, 0}, 100, rgNotSatisfiable, 0, 0},
      {"bytes=-10", {std::nullopt, 10}, 100, rgPart, 90, 99},
      {"suffix longer than the file", {std::nullopt, 1000}, 100, rgPart, 0, 99},
      {"first = size", {100, std::nullopt}, 100, rgNotSatisfiable, 0, 0},
      {"first > size", {150, 160}, 100, rgNotSatisfiable, 0, 0},
      {"last beyond the end", {10, 1000}, 100, rgPart, 10, 99},
      {"last = first", {10, 10}, 100, rgPart, 10, 10},
      {"last < first", {20, 10}, 100, rgWholeFile, 0, 0},
      {"empty file, suffix", {std::nullopt, 5}, 0, rgNotSatisfiable, 0, 0},
      {"empty file, from 0", {0, std::nullopt}, 0, rgNotSatisfiable, 0, 0},
  };
  for (const TCase& test : cases)
  {
    const TRangeAnswer answer = ResolveByteRange(test.Range, test.Size);
    EXPECT_EQ(answer.Status, test.Status) << test.Name;
    if (answer.Status == rgPart)
    {
      EXPECT_EQ(answer.First, test.First) << test.Name;
      EXPECT_EQ(answer.Last, test.Last) << test.Name;
    }
  }
}
