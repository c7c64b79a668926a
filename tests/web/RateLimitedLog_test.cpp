#include "web/RateLimitedLog.h"

#include <gtest/gtest.h>

TEST(RateLimitedLog, OneLineAMinutePerAddressThenTheCountOfThoseHeldBack)
{
  TRateLimitedLog log;
  EXPECT_EQ(log.Take("10.0.0.1", "PUT", 1000), "PUT");
  for (int i = 0; i < 38000; ++i)
    ASSERT_EQ(log.Take("10.0.0.1", "PROPFIND", 1000 + i), std::nullopt);
  // Another address has its own allowance.
  EXPECT_EQ(log.Take("10.0.0.2", "DELETE", 2000), "DELETE");
  EXPECT_EQ(log.Take("10.0.0.1", "PUT", 60999), std::nullopt);
  EXPECT_EQ(log.Take("10.0.0.1", "PUT", 61000), "PUT (38001 more from 10.0.0.1 not logged)");
  EXPECT_EQ(log.Take("10.0.0.1", "PUT", 121000), "PUT");
}

TEST(RateLimitedLog, ManyAddressesShareOneAllowanceAndMemoryStaysBounded)
{
  TRateLimitedLog log;
  size_t logged = 0;
  for (size_t i = 0; i < 3 * TRateLimitedLog::cMaxAddresses; ++i)
    logged += log.Take("fd00::" + std::to_string(i), "PUT", 5000).has_value();
  EXPECT_EQ(logged, TRateLimitedLog::cMaxAddresses + 1);
  // Once their minute is over, old addresses make room for new ones.
  EXPECT_EQ(log.Take("10.9.9.9", "PUT", 70000), "PUT");
}
