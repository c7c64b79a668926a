// The program with its window (Qt's offscreen platform stands in for a display): a second start on the same
// root folder brings the window to the front and ends; SIGTERM closes the window without the question, in the
// order of a normal close, so the global keys (the window's bounds among them) and the slots' sections are written.

#include "ServiceTestRoot.h"

#include <csignal>
#include <gtest/gtest.h>

namespace
{
using namespace servicetest;

std::unique_ptr<TProgramRunner> StartWindowed(const TServiceRoot& iRoot)
{
  std::vector<std::string> environment = ServiceEnvironment(iRoot / "home");
  environment.push_back("DISPLAY=:tapevault-test");
  environment.push_back("QT_QPA_PLATFORM=offscreen");
  return std::make_unique<TProgramRunner>(std::vector<std::string>{TAPEVAULT_PROGRAM, "-rootfolder", iRoot.Path()},
                                          environment);
}

TEST(DesktopWindow, SecondStartRestoresAndSIGTERMClosesWithoutTheQuestion)
{
  TServiceRoot root;
  root.WriteConfig("[General]\nSlotCount=2\nCloseConfirmation=on\n\n[Slot0]\nName=Quiet\nSource=None\nFolder=" +
                   root / "Quiet" + "\n");
  const auto program = StartWindowed(root);
  ASSERT_TRUE(program->WaitForLine(StartedPattern, StartTimeout)) << program->Output();
  EXPECT_FALSE(program->WaitForLine("No display", 0s)) << program->Output();

  const auto second = StartWindowed(root);
  EXPECT_EQ(second->WaitForExit(StartTimeout), 0) << second->Output();
  EXPECT_TRUE(second->WaitForLine("already running", 0s)) << second->Output();
  EXPECT_TRUE(program->Running()) << program->Output();

  program->Signal(SIGTERM);
  EXPECT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();
  const std::vector<TIniEntry> entries = ReadIniEntries(root.ConfigPath());
  EXPECT_EQ(IniSection(entries, "MainWindowPosition").count("Width"), 1u) << "the window's close did not run";
  EXPECT_EQ(IniSection(entries, "Webserver")["Enabled"], "off");
  EXPECT_EQ(IniSection(entries, "Slot1")["Name"], "Slot 2") << "the slots were not destroyed in order";
}
} // namespace
