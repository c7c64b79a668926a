// The command line of the program: --version and --help answer and end without touching any folder; a start
// without a display and without -headless says so, suggests -headless and runs headless; SIGINT ends it like
// SIGTERM.

#include "ServiceTestRoot.h"
#include "lib/TapevaultTools.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

namespace
{
using namespace servicetest;

// Runs the program with iArguments in an empty home and returns its output lines; the home must stay empty.
std::vector<std::string> RunToEnd(const std::vector<std::string>& iArguments)
{
  TSettingsTempFolder home;
  std::vector<std::string> arguments{TAPEVAULT_PROGRAM};
  arguments.insert(arguments.end(), iArguments.begin(), iArguments.end());
  TProgramRunner program(arguments, ServiceEnvironment(home.Path()));
  EXPECT_EQ(program.WaitForExit(StartTimeout), 0) << program.Output();
  EXPECT_TRUE(std::filesystem::is_empty(home.Path())) << "the program created files in its home";
  return program.Lines();
}

TEST(ServiceCommandLine, VersionPrintsTheProgramVersion)
{
  EXPECT_EQ(RunToEnd({"--version"}), std::vector<std::string>{"Tapevault " + ProgramVersionText()});
}

TEST(ServiceCommandLine, HelpNamesEveryOption)
{
  std::string text;
  for (const std::string& line : RunToEnd({"--help"}))
    text += line + "\n";
  for (const char* option : {"-rootfolder", "-headless", "--version", "--help"})
    EXPECT_NE(text.find(option), std::string::npos) << option << " missing in:\n" << text;
}

TEST(ServiceCommandLine, WithoutDisplayItSuggestsHeadlessAndRunsHeadless)
{
  TServiceRoot root;
  root.WriteConfig("[General]\nSlotCount=1\n\n[Slot0]\nSource=None\nFolder=" + root / "Slot 1" + "\n");
  const auto program = root.Start(nullptr, {});
  ASSERT_TRUE(program->WaitForLine(StartedPattern, StartTimeout)) << program->Output();
  const std::vector<std::string> lines = program->Lines();
  const auto started =
      std::find_if(lines.begin(), lines.end(),
                   [](const std::string& iLine) { return iLine.find(StartedPattern) != std::string::npos; });
  const auto notice = std::find_if(lines.begin(), started,
                                   [](const std::string& iLine) { return iLine.find("display") != std::string::npos; });
  ASSERT_NE(notice, started) << "no word about the missing display before the start:\n" << program->Output();
  EXPECT_NE(notice->find("-headless"), std::string::npos) << *notice;

  program->Signal(SIGINT);
  EXPECT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();
}

} // namespace
