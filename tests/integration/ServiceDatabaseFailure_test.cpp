// A slot whose database cannot be opened still records, and its file change is not retried at every tick of
// the rotation timer (which would start a new file ten times a second).

#include "ServiceTestRoot.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace
{
using namespace servicetest;

TEST(ServiceDatabaseFailure, AFailingDatabaseDoesNotMakeANewFileAtEveryTick)
{
  TPulseServer pulse({"studio"});
  pulse.Start();
  TServiceRoot root;
  // A regular file where the database's folder should be: the database can never be opened.
  TSettingsTempFolder::WriteFile(root / "blocker", "not a folder");
  root.WriteConfig("[General]\nSlotCount=1\n\n[Slot0]\nName=Studio\nSource=Soundcard\nDevice=PULSE:studio.monitor\n"
                   "Format=wav16\nTimeSlotLength=60\nFolder=" +
                   root / "Studio" + "\nDatabaseFile=" + root / "blocker/Tapevault.db" + "\n");
  const auto program = root.Start(&pulse);
  ASSERT_TRUE(program->WaitForLine("Encoding to file", StartTimeout)) << program->Output();
  std::this_thread::sleep_for(3s);
  program->Signal(SIGTERM);
  EXPECT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();

  const std::vector<std::string> lines = program->Lines();
  const auto files =
      std::count_if(lines.begin(), lines.end(),
                    [](const std::string& iLine) { return iLine.find("Encoding to file") != std::string::npos; });
  // One file, or two when the test happened to cross the top of an hour.
  EXPECT_GE(files, 1);
  EXPECT_LE(files, 2) << program->Output();
}
} // namespace
