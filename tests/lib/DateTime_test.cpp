#include "TimeZoneScope.h"
#include "lib/DateTime.h"
#include "lib/Errors.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

TEST(DateTime, EncodeDecode)
{
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), UnixDateDelta);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_EQ(EncodeDateTime(2024, 3, 15, 13, 0, 0, 12), EncodeDate(2024, 3, 15) + EncodeTime(13, 0, 0, 12));
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7);
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 3, 17)), 1);
  EXPECT_EQ(DayOfWeek(EncodeDateTime(2024, 3, 15, 23, 59, 0, 0)), 6);
  EXPECT_EQ(DaysInMonth(2000, 2), 29);
  EXPECT_EQ(DaysInMonth(1900, 2), 28);
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2023, 4), 30);
  EXPECT_EQ(DaysInMonth(2023, 13), 0);

  // Every 13th day with a changing time of day survives the round trip.
  for (TDateTime day = EncodeDate(1, 1, 1); day < EncodeDate(9999, 12, 31); day += 13)
  {
    const int ms = static_cast<int>(std::fmod(std::fabs(day) * 7919, 86400000));
    const TDateTimeParts p = DecodeDateTime(day + ms / MSecsPerDay);
    ASSERT_EQ(EncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond), day + ms / MSecsPerDay)
        << day;
  }
}

TEST(DateTime, RoundsToMilliseconds)
{
  EXPECT_EQ(FormatTimestampFull(EncodeDate(2024, 3, 15) + 86399999.6 / MSecsPerDay), "2024-03-16 00:00:00.000");
  EXPECT_EQ(FormatTimestampFull(EncodeDate(2024, 3, 15) + 1000.4 / MSecsPerDay), "2024-03-15 00:00:01.000");
}

TEST(DateTime, InvalidPartsAreRejected)
{
  const int cases[][7] = {
      {0, 1, 1, 0, 0, 0, 0},       {10000, 1, 1, 0, 0, 0, 0}, {2023, 2, 29, 0, 0, 0, 0}, {2024, 13, 1, 0, 0, 0, 0},
      {2024, 1, 0, 0, 0, 0, 0},    {2024, 1, 1, 24, 0, 0, 0}, {2024, 1, 1, 0, 60, 0, 0}, {2024, 1, 1, 0, 0, 60, 0},
      {2024, 1, 1, 0, 0, 0, 1000}, {2024, 1, 1, -1, 0, 0, 0},
  };
  for (const auto& c : cases)
  {
    TDateTime value = 0;
    EXPECT_FALSE(TryEncodeDateTime(c[0], c[1], c[2], c[3], c[4], c[5], c[6], value));
    EXPECT_THROW(EncodeDateTime(c[0], c[1], c[2], c[3], c[4], c[5], c[6]), EConvertError);
  }
}

TEST(DateTime, BrokenValuesDoNotCrash)
{
  for (double value :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 1e300, -1e300})
  {
    const TDateTimeParts p = DecodeDateTime(value);
    EXPECT_TRUE(IsValidDate(p.Year, p.Month, p.Day)) << value;
    EXPECT_FALSE(FormatTimestamp(value).empty());
    UTCToLocal(value);
    LocalToUTC(value);
  }
}

TEST(DateTime, TextForms)
{
  const TDateTime value = EncodeDateTime(2024, 3, 5, 13, 4, 9, 12);
  EXPECT_EQ(FormatTimestamp(value), "2024-03-05 13:04:09.012");
  EXPECT_EQ(FormatTimestamp(EncodeDate(2024, 3, 16)), "2024-03-16");
  EXPECT_EQ(FormatTimestampFull(EncodeDate(2024, 3, 16)), "2024-03-16 00:00:00.000");
  EXPECT_EQ(FormatDate(value), "2024-03-05");
  EXPECT_EQ(FormatTime(value), "13:04:09.012");
  EXPECT_EQ(FormatUSDateTime(value), "03/05/2024 13:04:09");
  EXPECT_EQ(FormatISODateTime(value), "2024-03-05T13:04:09");
  EXPECT_EQ(FormatISODateTimeZ(value), "2024-03-05T13:04:09.012Z");
  EXPECT_EQ(FormatLogTime(value), "03/05/24 13:04:09");
}

TEST(DateTime, TryParseTimestamp)
{
  struct TCase
  {
    const char* Text;
    const char* Expected; // FormatTimestampFull, or nullptr when the text is rejected
  };
  const TCase cases[] = {
      {"2024-03-15 13:00:00.012", "2024-03-15 13:00:00.012"},
      {"2024-03-16", "2024-03-16 00:00:00.000"},
      {"2024-03-15T13:00", "2024-03-15 13:00:00.000"},
      {"2024-03-15t13:00:05", "2024-03-15 13:00:05.000"},
      {"2024-03-15 T  13:00:05.5", "2024-03-15 13:00:05.500"},
      {"2024-03-15 13:00:05.12", "2024-03-15 13:00:05.120"},
      {"13:00:00.012", "1899-12-30 13:00:00.012"},
      {"", nullptr},
      {"abc", nullptr},
      {"2024-3-15", nullptr},
      {"2024-03-15 13", nullptr},
      {"2024-03-1513:00", nullptr},
      {"2024-03-15 13:00x", nullptr},
      {"2024-03-15 13:00:00.", nullptr},
      {"2024-03-15 13:00:00.1234", nullptr},
      {"2024-02-30", nullptr},
      {"2024-03-15 25:00", nullptr},
  };
  for (const TCase& c : cases)
  {
    TDateTime value = -1;
    const bool parsed = TryParseTimestamp(c.Text, value);
    EXPECT_EQ(parsed, c.Expected != nullptr) << c.Text;
    if (parsed && c.Expected)
    {
      EXPECT_EQ(FormatTimestampFull(value), c.Expected) << c.Text;
    }
  }
}

TEST(DateTime, ZoneConversions)
{
  struct TCase
  {
    const char* Zone;
    TDateTime Local;
    const char* UTC;
    int OffsetMinutes;
  };
  const TCase cases[] = {
      {"Europe/Berlin", EncodeDateTime(2024, 1, 15, 12, 0, 0, 250), "2024-01-15 11:00:00.250", -60},
      {"Europe/Berlin", EncodeDateTime(2024, 7, 15, 0, 30, 0, 0), "2024-07-14 22:30:00.000", -120},
      {"Europe/Berlin", EncodeDateTime(2024, 3, 31, 1, 59, 59, 999), "2024-03-31 00:59:59.999", -60},
      {"Europe/Berlin", EncodeDateTime(2024, 3, 31, 3, 0, 0, 0), "2024-03-31 01:00:00.000", -120},
      {"America/New_York", EncodeDateTime(2024, 1, 15, 12, 0, 0, 0), "2024-01-15 17:00:00.000", 300},
      {"America/New_York", EncodeDateTime(2024, 7, 15, 22, 0, 0, 0), "2024-07-16 02:00:00.000", 240},
  };
  for (const TCase& c : cases)
  {
    TTimeZoneScope zone(c.Zone);
    EXPECT_EQ(FormatTimestampFull(LocalToUTC(c.Local)), c.UTC) << c.Zone;
    EXPECT_EQ(FormatTimestampFull(UTCToLocal(LocalToUTC(c.Local))), FormatTimestampFull(c.Local)) << c.Zone;
    EXPECT_EQ(LocalUTCOffsetMinutes(c.Local), c.OffsetMinutes) << c.Zone;
    EXPECT_EQ(FormatTimestamp(UnixToLocal(LocalToUnix(c.Local))).substr(0, 19), FormatTimestamp(c.Local).substr(0, 19))
        << c.Zone;
  }
  TTimeZoneScope zone("Europe/Berlin");
  EXPECT_EQ(FormatTimestampFull(UnixToLocal(0)), "1970-01-01 01:00:00.000");
  EXPECT_EQ(UnixToDateTime(86400), UnixDateDelta + 1);
  EXPECT_EQ(DateTimeToUnix(UnixDateDelta + 1.5), 129600.0);
  EXPECT_NEAR(LocalToUTC(Now()), NowUTC(), 2.0 / SecsPerDay);
}
