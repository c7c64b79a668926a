#include "app/TimeSlot.h"

#include <gtest/gtest.h>

namespace
{
struct TAlignedCase
{
  const char* Name;
  int Length, Offset;
  TDateTimeParts Now;
  TDateTimeParts ExpectedStart;
};

TDateTime Value(const TDateTimeParts& iParts)
{
  return EncodeDateTime(iParts.Year, iParts.Month, iParts.Day, iParts.Hour, iParts.Minute, iParts.Second,
                        iParts.Millisecond);
}
} // namespace

TEST(TimeSlot, AlignedStarts)
{
  const TAlignedCase cases[] = {
      {"hour, just before the top", 60, 0, {2024, 3, 15, 13, 59, 59, 900}, {2024, 3, 15, 13, 0, 0, 0}},
      {"hour, just after the top", 60, 0, {2024, 3, 15, 14, 0, 0, 1}, {2024, 3, 15, 14, 0, 0, 0}},
      {"offset 30 s, before it", 60, 30, {2024, 3, 15, 14, 0, 29, 0}, {2024, 3, 15, 13, 0, 0, 0}},
      {"offset 30 s, after it", 60, 30, {2024, 3, 15, 14, 0, 30, 1}, {2024, 3, 15, 14, 0, 0, 0}},
      {"45 minutes", 45, 0, {2024, 3, 15, 1, 29, 0, 0}, {2024, 3, 15, 0, 45, 0, 0}},
      {"45 minutes, next", 45, 0, {2024, 3, 15, 1, 31, 0, 0}, {2024, 3, 15, 1, 30, 0, 0}},
      // 7 does not divide a day: the boundaries run on from 1899-12-30, not from each midnight.
      {"7 minutes across midnight", 7, 0, {2024, 3, 15, 0, 2, 0, 0}, {2024, 3, 14, 23, 58, 0, 0}},
      {"length 0 counts as 1", 0, 0, {2024, 3, 15, 10, 20, 30, 0}, {2024, 3, 15, 10, 20, 0, 0}},
  };
  for (const TAlignedCase& c : cases)
  {
    const TDateTime start = AlignedTimeSlotStart(Value(c.Now), c.Length, c.Offset);
    EXPECT_NEAR(start, Value(c.ExpectedStart), 1e-9) << c.Name;
  }
}

TEST(TimeSlot, ClockChangesRotateOnlyWhenTheSlotChanges)
{
  // Local wall-clock readings before and after a change: daylight saving both ways and manual jumps.
  struct TJump
  {
    const char* Name;
    int Length;
    TDateTimeParts Before, After;
    bool Rotates;
  } jumps[] = {
      {"spring forward 02:00 -> 03:00", 60, {2024, 3, 31, 1, 59, 59, 900}, {2024, 3, 31, 3, 0, 0, 0}, true},
      // Falling back from 03:00 to 02:00 repeats the wall-clock hour: the same hourly slot, a new half-hour one.
      {"fall back, hourly", 60, {2024, 10, 27, 2, 59, 59, 900}, {2024, 10, 27, 2, 0, 0, 0}, false},
      {"fall back, half-hourly", 30, {2024, 10, 27, 2, 59, 59, 900}, {2024, 10, 27, 2, 0, 0, 0}, true},
      {"manual jump back within the hour", 60, {2024, 5, 1, 10, 40, 0, 0}, {2024, 5, 1, 10, 5, 0, 0}, false},
      {"manual jump forward into the next hour", 60, {2024, 5, 1, 10, 40, 0, 0}, {2024, 5, 1, 11, 5, 0, 0}, true},
      {"manual jump back into the previous hour", 60, {2024, 5, 1, 10, 5, 0, 0}, {2024, 5, 1, 9, 55, 0, 0}, true},
  };
  for (const TJump& j : jumps)
  {
    const bool rotates =
        AlignedTimeSlotStart(Value(j.Before), j.Length, 0) != AlignedTimeSlotStart(Value(j.After), j.Length, 0);
    EXPECT_EQ(rotates, j.Rotates) << j.Name;
  }
}

TEST(TimeSlot, LengthRuleIsStrictlyGreater)
{
  const uint64_t start = 5'000'000;
  EXPECT_FALSE(LengthElapsed(start + 3'600'000, start, 60));
  EXPECT_TRUE(LengthElapsed(start + 3'600'001, start, 60));
  EXPECT_FALSE(LengthElapsed(start - 1, start, 60)); // a tick before the start never rotates
  EXPECT_TRUE(LengthElapsed(start + 60'001, start, 0));
}
