// Stored local start times to UTC, against an oracle built from the zone itself: every quarter hour of a year
// read through localtime_r gives the local fields each UTC moment shows; a local time shown by no moment does not
// exist, one shown twice takes its standard-time moment.
#include "../lib/TimeZoneScope.h"
#include "web/CalendarTime.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <tuple>

namespace
{
using TFields = std::tuple<int, int, int, int, int>; // year, month, day, hour, minute

struct TMoments
{
  std::time_t Standard = -1, Daylight = -1;
};
} // namespace

TEST(CalendarTime, AgreesWithTheZoneAroundEveryOffsetChange)
{
  for (const char* zoneName : {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kolkata", "UTC"})
  {
    SCOPED_TRACE(zoneName);
    TTimeZoneScope zone(zoneName);
    std::map<TFields, TMoments> shown;
    const std::time_t from = 1704067200; // 2024-01-01T00:00:00Z
    for (std::time_t moment = from; moment < from + 368 * 86400; moment += 900)
    {
      std::tm local{};
      ASSERT_TRUE(localtime_r(&moment, &local));
      auto& moments = shown[{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min}];
      (local.tm_isdst > 0 ? moments.Daylight : moments.Standard) = moment;
    }
    // Every quarter hour of local time in 2024, including the ones that do not exist.
    const TDateTime first = EncodeDate(2024, 1, 2);
    for (int quarter = 0; quarter < 364 * 96; ++quarter)
    {
      const TDateTime local = first + quarter / 96.0;
      const TDateTimeParts parts = DecodeDateTime(local);
      const auto it = shown.find({parts.Year, parts.Month, parts.Day, parts.Hour, parts.Minute});
      TDateTime utc = 0;
      const bool exists = TryLocalToUTCStandardFirst(local, utc);
      if (it == shown.end())
      {
        EXPECT_FALSE(exists) << FormatISODateTime(local);
        continue;
      }
      const std::time_t expected = it->second.Standard != -1 ? it->second.Standard : it->second.Daylight;
      ASSERT_TRUE(exists) << FormatISODateTime(local);
      EXPECT_EQ(std::llround(DateTimeToUnix(utc)), expected) << FormatISODateTime(local);
    }
  }
}

TEST(CalendarTime, KeepsTheMilliseconds)
{
  TTimeZoneScope zone("Europe/Berlin");
  TDateTime utc = 0;
  ASSERT_TRUE(TryLocalToUTCStandardFirst(EncodeDateTime(2024, 6, 1, 12, 0, 0, 250), utc));
  EXPECT_EQ(FormatISODateTimeZ(utc), "2024-06-01T10:00:00.250Z");
}
