// The web server of the service: started at once when the configuration says so, and still switched on in the
// configuration after a regular exit (closing stops the server without recording that as the user's choice).

#include "ServiceTestRoot.h"

#include <csignal>
#include <gtest/gtest.h>

namespace
{
using namespace servicetest;

TEST(ServiceWebServer, StaysEnabledAcrossARegularExit)
{
  TServiceRoot root;
  root.WriteConfig("[General]\nSlotCount=1\n\n[Slot0]\nSource=None\nFolder=" + root / "Slot 1" +
                   "\n\n[Webserver]\nEnabled=on\nPort=127.0.0.1:0\n");
  const auto program = root.Start();
  ASSERT_TRUE(program->WaitForLine("Web server started", StartTimeout)) << program->Output();
  program->Signal(SIGTERM);
  ASSERT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();
  EXPECT_EQ(IniSection(ReadIniEntries(root.ConfigPath()), "Webserver")["Enabled"], "on");
}
} // namespace
