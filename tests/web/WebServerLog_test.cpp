#include "web/WebServerLog.h"

#include <gtest/gtest.h>

TEST(WebServerLog, KeepsTheNewestThousandLines)
{
  TWebServerLog log;
  int changes = 0;
  log.SetOnChange([&] { ++changes; });
  testing::internal::CaptureStdout();
  for (int i = 1; i <= 1002; ++i)
    log.Add("line " + std::to_string(i));
  testing::internal::GetCapturedStdout();
  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 1000u);
  EXPECT_NE(lines.front().find(": line 3"), std::string::npos) << lines.front();
  EXPECT_NE(lines.back().find(": line 1002"), std::string::npos) << lines.back();
  EXPECT_EQ(changes, 1002);
}

TEST(WebServerLog, LineIsDateTimeColonMessage)
{
  TWebServerLog log;
  testing::internal::CaptureStdout();
  log.Add("Web server started");
  const std::string printed = testing::internal::GetCapturedStdout();
  const std::string line = log.Lines().at(0);
  EXPECT_EQ(printed, line + "\n");
  const std::string suffix = ": Web server started";
  ASSERT_GT(line.size(), suffix.size() + 8);
  EXPECT_EQ(line.substr(line.size() - suffix.size()), suffix);
}
