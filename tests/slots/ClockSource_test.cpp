// The clock-source text: an output device for "BASS" and "BASS:n", the pull thread for everything else.

#include "slots/ClockSource.h"

#include <gtest/gtest.h>

namespace
{
TEST(ClockSource, Texts)
{
  EXPECT_EQ(ClockSourceDevice(""), std::nullopt);
  EXPECT_EQ(ClockSourceDevice("bass"), std::nullopt);
  EXPECT_EQ(ClockSourceDevice("BASS"), 1u);
  EXPECT_EQ(ClockSourceDevice("BASS:3"), 3u);
  EXPECT_EQ(ClockSourceDevice("BASS:x"), std::nullopt);
  EXPECT_EQ(ClockSourceDevice("BASS:"), std::nullopt);
  EXPECT_EQ(ClockSourceDevice(" BASS"), std::nullopt);
  EXPECT_EQ(ClockSourceDevice("BASS:2 "), std::nullopt);
  EXPECT_EQ(ClockSourceDevice("BASS:99999999999999999999999"), 0xFFFFFFFFu);
}
} // namespace
