// One running instance per root folder: a second start on the same folder ends with a message and leaves the
// first running (which logs the request); another root folder runs beside it; a folder whose instance crashed
// can be started again.

#include "ServiceTestRoot.h"

#include <csignal>
#include <gtest/gtest.h>

namespace
{
using namespace servicetest;

// One slot without an input: the service runs without any sound server.
void WriteQuietConfig(const TServiceRoot& iRoot)
{
  iRoot.WriteConfig("[General]\nSlotCount=1\n\n[Slot0]\nName=Quiet\nSource=None\nFolder=" + iRoot / "Quiet" + "\n");
}

TEST(ServiceSingleInstance, SecondStartOnTheSameRootFolderEndsAndTheFirstKeepsRunning)
{
  TServiceRoot root;
  TServiceRoot otherRoot;
  WriteQuietConfig(root);
  WriteQuietConfig(otherRoot);

  const auto first = root.Start();
  ASSERT_TRUE(first->WaitForLine(StartedPattern, StartTimeout)) << first->Output();
  const size_t linesBefore = first->Lines().size();

  const auto second = root.Start();
  EXPECT_TRUE(second->WaitForExit(StartTimeout).has_value()) << second->Output();
  EXPECT_TRUE(second->WaitForLine("already running", 0s)) << second->Output();
  EXPECT_FALSE(second->WaitForLine(StartedPattern, 0s)) << second->Output();
  // The running instance was asked to come to the front; without a window it says so in its log.
  EXPECT_TRUE(first->WaitForLine("[Aa]nother start", 10s, linesBefore)) << first->Output();
  EXPECT_TRUE(first->Running()) << first->Output();

  const auto other = otherRoot.Start();
  ASSERT_TRUE(other->WaitForLine(StartedPattern, StartTimeout)) << other->Output();
  std::this_thread::sleep_for(1s);
  EXPECT_TRUE(first->Running()) << first->Output();
  EXPECT_TRUE(other->Running()) << other->Output();

  first->Signal(SIGTERM);
  other->Signal(SIGTERM);
  EXPECT_EQ(first->WaitForExit(ExitTimeout), 0) << first->Output();
  EXPECT_EQ(other->WaitForExit(ExitTimeout), 0) << other->Output();
}

TEST(ServiceSingleInstance, RootFolderOfACrashedInstanceCanBeStartedAgain)
{
  TServiceRoot root;
  WriteQuietConfig(root);
  const auto crashed = root.Start();
  ASSERT_TRUE(crashed->WaitForLine(StartedPattern, StartTimeout)) << crashed->Output();
  crashed->Signal(SIGKILL);
  ASSERT_TRUE(crashed->WaitForExit(ExitTimeout));

  const auto next = root.Start();
  ASSERT_TRUE(next->WaitForLine(StartedPattern, StartTimeout)) << next->Output();
  next->Signal(SIGTERM);
  EXPECT_EQ(next->WaitForExit(ExitTimeout), 0) << next->Output();
}

} // namespace
