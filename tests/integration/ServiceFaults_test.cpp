// The service facing faults: a slot switched from the web while its database cannot be opened, a kill -9 in
// the middle of a file and the start after it, and the end of a thousand slots.

#include "ServiceTestRoot.h"
#include "lib/SimpleSQL.h"
#include "support/PythonTestServer.h"
#include "support/Wait.h"
#include "support/WebClient.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace
{
using namespace servicetest;

std::string SlotConfig(const TServiceRoot& iRoot, const std::string& iExtra)
{
  return "[Slot0]\nName=Studio\nSource=Soundcard\nDevice=PULSE:studio.monitor\nFormat=wav16\nFlatFilenames=on\n"
         "CleanupDaysEnabled=0\nCleanupSpaceEnabled=0\nFolder=" +
         iRoot / "Studio" + "\n" + iExtra;
}

// The rows of a database: "filename|duration" (duration empty while NULL).
std::vector<std::string> Rows(const std::string& iDatabase)
{
  const auto result = CreateSQLConnection("DriverID=SQLite;Database=\"" + iDatabase + "\";")
                          ->PrepareStatement("SELECT filename, duration FROM recordings ORDER BY id")
                          ->ExecuteQueryPrepared();
  std::vector<std::string> rows;
  while (result->Next())
    rows.push_back(result->GetString(1) + "|" + (result->IsNull(2) ? "" : result->GetString(2)));
  return rows;
}

TEST(ServiceFaults, SwitchingASlotWhoseDatabaseCannotBeOpenedKeepsTheProgramRunning)
{
  TPulseServer pulse({"studio"});
  pulse.Start();
  TServiceRoot root;
  root.WriteConfig("[General]\nSlotCount=1\n\n" + SlotConfig(root, "DatabaseFile=" + root / "db/Tapevault.db\n") +
                   "\n[Webserver]\nEnabled=on\nPort=127.0.0.1:0\nAnonymousAccess=Admin\n");
  const auto program = root.Start(&pulse);
  const uint16_t port = program->WebServerPort(StartTimeout);
  ASSERT_NE(port, 0) << program->Output();
  ASSERT_TRUE(program->WaitForLine("Web server started", StartTimeout)) << program->Output();
  ASSERT_TRUE(program->WaitForLine("Encoding to file", StartTimeout)) << program->Output();
  // The slot's worker makes the database after the file began.
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(root / "db/Tapevault.db"); }, StartTimeout))
      << program->Output();
  // The database's folder turns into a file: the database cannot be opened any more.
  std::filesystem::rename(root / "db", root / "db.away");
  TSettingsTempFolder::WriteFile(root / "db", "no folder");
  for (const char* command : {"SLOT%201%20STOP", "SLOT%201%20START"})
  {
    EXPECT_EQ(WebGet(port, std::string("/execute?command=") + command).Status, 200);
    std::this_thread::sleep_for(1s);
  }
  EXPECT_TRUE(program->Running()) << program->Output();
  EXPECT_TRUE(program->WaitForLine("Studio: Error updating database: ", 10s)) << program->Output();
  EXPECT_EQ(WebGet(port, "/ws/slots").Status, 200);
  // Once the database is back, what waited is stored.
  std::filesystem::remove(root / "db");
  std::filesystem::rename(root / "db.away", root / "db");
  std::this_thread::sleep_for(3s);
  program->Signal(SIGTERM);
  ASSERT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();
  const std::vector<std::string> rows = Rows(root / "db/Tapevault.db");
  // Every file has its row: the two of STOP and START, and a third when the run crossed a full hour.
  size_t files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root / "Studio"))
    files += entry.path().extension() == ".wav" ? 1 : 0;
  EXPECT_GE(files, 2u) << program->Output();
  ASSERT_EQ(rows.size(), files) << program->Output();
  for (const std::string& row : rows)
    EXPECT_NE(row.back(), '|') << row;
}

TEST(ServiceFaults, TheStartAfterAKillRepairsTheUnfinishedRow)
{
  TPulseServer pulse({"studio"});
  pulse.Start();
  TServiceRoot root;
  root.WriteConfig("[General]\nSlotCount=1\n\n" + SlotConfig(root, ""));
  auto program = root.Start(&pulse);
  ASSERT_TRUE(program->WaitForLine("Encoding to file", StartTimeout)) << program->Output();
  std::this_thread::sleep_for(2s);
  program->Signal(SIGKILL);
  program->WaitForExit(ExitTimeout);
  const std::string database = root / "Studio/Tapevault.db";
  std::vector<std::string> rows = Rows(database);
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_EQ(rows[0].back(), '|') << "no length after a kill";
  const std::string file = root / "Studio/" + rows[0].substr(0, rows[0].find('|'));
  const auto size = std::filesystem::file_size(file);
  ASSERT_GT(size, 44u + 44100 * 4) << "more than a second of audio was written";

  program = root.Start(&pulse);
  ASSERT_TRUE(program->WaitForLine("Studio: Repaired " + file + ": ", StartTimeout)) << program->Output();
  program->Signal(SIGTERM);
  ASSERT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();
  rows = Rows(database);
  ASSERT_GE(rows.size(), 1u);
  EXPECT_DOUBLE_EQ(std::stod(rows[0].substr(rows[0].find('|') + 1)), static_cast<double>((size - 44) / 4) / 44100);
  // The header now tells the data's real size.
  const std::string data = TSettingsTempFolder::ReadFile(file);
  uint32_t riff = 0, bytes = 0;
  std::memcpy(&riff, data.data() + 4, 4);
  std::memcpy(&bytes, data.data() + 40, 4);
  EXPECT_EQ(riff, size - 8);
  EXPECT_EQ(bytes, size - 44);
}

TEST(ServiceFaults, AThousandSlotsEndInTime)
{
  TServiceRoot root;
  root.WriteConfig("[General]\nSlotCount=1000\n");
  const auto program = root.Start();
  ASSERT_TRUE(program->WaitForLine(StartedPattern, StartTimeout)) << program->Output();
  program->Signal(SIGTERM);
  // Before, the configuration was written once per setting and slot: over two minutes.
  ASSERT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();
  const std::vector<std::string> sections = ReadIniSections(root.ConfigPath());
  EXPECT_NE(std::find(sections.begin(), sections.end(), "Slot999"), sections.end());
}
} // namespace
