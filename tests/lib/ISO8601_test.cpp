#include "TimeZoneScope.h"
#include "lib/DateTime.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"

#include <gtest/gtest.h>

namespace
{

struct TCase
{
  const char* Text;
  bool UTC;
  const char* Zone;
  // The result as FormatTimestampFull, or the message of the EConvertError.
  const char* Expected;
};

std::string Parse(const TCase& iCase)
{
  TTimeZoneScope zone(iCase.Zone);
  try
  {
    return FormatTimestampFull(ParseISO8601(iCase.Text, iCase.UTC));
  }
  catch (const EConvertError& error)
  {
    return error.what();
  }
}

} // namespace

TEST(ParseISO8601, Values)
{
  const char* berlin = "Europe/Berlin";
  const char* newYork = "America/New_York";
  const TCase cases[] = {
      {"2016-03-01", true, berlin, "2016-03-01 00:00:00.000"},
      {"2016-03-01", false, berlin, "2016-03-01 01:00:00.000"},
      {"2016-03-01", false, newYork, "2016-02-29 19:00:00.000"},
      {"-2016-03-01", true, berlin, "2016-03-01 00:00:00.000"},
      {"2016-3-1T9:5", true, berlin, "2016-03-01 09:05:00.000"},
      {"2016-03-01T10:00:00+01:00", true, berlin, "2016-03-01 09:00:00.000"},
      {"2016-03-01T10:00:00+01:00", false, berlin, "2016-03-01 10:00:00.000"},
      {"2016-03-01T10:00:00+02:00", false, berlin, "2016-03-01 09:00:00.000"},
      {"2016-03-01T10:00:00-05:30", true, berlin, "2016-03-01 15:30:00.000"},
      {"2016-03-01T10:00-0530", true, berlin, "2016-03-01 15:30:00.000"},
      {"2016-03-01T10:00+05", true, berlin, "2016-03-01 05:00:00.000"},
      {"2016-03-01T10:00:00.5", true, berlin, "2016-03-01 10:00:00.500"},
      {"2016-03-01T10:00:00.25Z", true, berlin, "2016-03-01 10:00:00.250"},
      {"2016-03-01T10:00:00.123456Z", true, berlin, "2016-03-01 10:00:00.123"},
      {"2016-03-01T10", true, berlin, "2016-03-01 10:00:00.000"},
      {"2016-03-01T10Z", true, berlin, "2016-03-01 10:00:00.000"},
      {"2016-03-01T10:30Z", false, berlin, "2016-03-01 11:30:00.000"},
      {"2016-07-01T10:00:00Z", false, berlin, "2016-07-01 12:00:00.000"},
      {"2016-03-01T10:00:00Z", false, newYork, "2016-03-01 05:00:00.000"},
      {"2016-07-01T10:00:00Z", false, newYork, "2016-07-01 06:00:00.000"},
      // Around daylight-saving changes the zone's offset at the instant itself counts.
      {"2016-03-27T00:59:59Z", false, berlin, "2016-03-27 01:59:59.000"},
      {"2016-03-27T01:30:00Z", false, berlin, "2016-03-27 03:30:00.000"},
      {"2016-10-30T00:30:00Z", false, berlin, "2016-10-30 02:30:00.000"},
      {"2016-10-30T01:30:00Z", false, berlin, "2016-10-30 02:30:00.000"},
      {"2016-03-13T07:30:00Z", false, newYork, "2016-03-13 03:30:00.000"},
      {"2016-03-13T06:30:00Z", false, newYork, "2016-03-13 01:30:00.000"},
      {"", true, berlin, "Invalid date"},
      {"201", true, berlin, "Invalid date"},
      {"-201", true, berlin, "Invalid date"},
      {"abcd-01-01", true, berlin, "Invalid date"},
      {"2016-x", true, berlin, "Invalid date"},
      {"2016-03-", true, berlin, "Invalid date"},
      {"2016-03-01T1030", true, berlin, "Invalid time"},
      {"2016-03-01T", true, berlin, "Invalid time"},
      {"2016-03-01Tx", true, berlin, "Invalid time"},
      {"2016-03-01T10:xx", true, berlin, "Invalid time"},
      {"2016-03-01T10:00:xx", true, berlin, "Invalid time"},
      {"2016-03-01T10:00+x", true, berlin, "Invalid offset"},
      {"2016-03-01T10:00:00+", true, berlin, "Invalid offset"},
      {"2016", true, berlin, "Invalid argument to date encode"},
      {"2016-02-30", true, berlin, "Invalid argument to date encode"},
      {"10000-01-01", true, berlin, "Invalid argument to date encode"},
      {"99999999999999999999-01-01", true, berlin, "Invalid argument to date encode"},
      {"2016-03-01T24:00", true, berlin, "Invalid argument to time encode"},
      {"2016-03-01T10:60", true, berlin, "Invalid argument to time encode"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(Parse(c), c.Expected) << c.Text << (c.UTC ? " UTC " : " local ") << c.Zone;
}
