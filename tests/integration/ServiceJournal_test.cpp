// Every recording reaches the index: what a database that fails cannot take waits in the slot's journal and is
// stored at the next start, a recording whose row never came (a kill between the file's start and its row) is
// adopted, and the dropouts of a file survive a kill. The program ends soon after SIGTERM whatever its
// databases do.

#include "ServiceTestRoot.h"
#include "lib/SimpleSQL.h"
#include "slots/SlotDatabase.h"
#include "support/Wait.h"

#include <csignal>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace
{
using namespace servicetest;

// A hang, not a speed goal: the program bounds its end at 5 s.
constexpr auto kEndHang = 8s;

struct TRow
{
  std::string Filename;
  std::optional<double> Duration;
  double Dropouts = 0;
  int DropoutCount = 0;
};

std::vector<TRow> Rows(const std::string& iDatabase)
{
  const auto result = CreateSQLConnection(DatabaseConnectionText(iDatabase))
                          ->PrepareStatement("SELECT filename, duration, dropouts, dropoutcount FROM recordings "
                                             "ORDER BY id")
                          ->ExecuteQueryPrepared();
  std::vector<TRow> rows;
  while (result->Next())
    rows.push_back({result->GetString(1), result->IsNull(2) ? std::nullopt : std::optional(result->GetFloat(2)),
                    result->GetFloat(3), result->GetInt(4)});
  return rows;
}

// The number of rows; 0 while the table is not there yet.
int RowCount(const std::string& iDatabase)
{
  try
  {
    const auto result = CreateSQLConnection(DatabaseConnectionText(iDatabase))
                            ->PrepareStatement("SELECT COUNT(*) FROM recordings")
                            ->ExecuteQueryPrepared();
    return result->First() ? result->GetInt(1) : 0;
  }
  catch (const std::exception&)
  {
    return 0;
  }
}

// The recordings of a flat folder, by name.
std::vector<std::string> Recordings(const std::string& iFolder)
{
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(iFolder))
    if (entry.path().extension() == ".wav")
      names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The seconds of audio in a 16-bit stereo WAV file at 44100 Hz.
double WavSeconds(const std::string& iPath)
{
  return static_cast<double>((std::filesystem::file_size(iPath) - 44) / 4) / 44100;
}

std::string SlotConfig(const TServiceRoot& iRoot, const std::string& iDatabase)
{
  return "[General]\nSlotCount=1\n\n[Slot0]\nName=Studio\nSource=Soundcard\nDevice=PULSE:studio.monitor\n"
         "Format=wav16\nFlatFilenames=on\nFilenamePrefix=take-\nCleanupDaysEnabled=0\nCleanupSpaceEnabled=0\n"
         "Folder=" +
         iRoot / "Studio" + "\nDatabaseFile=" + iDatabase + "\n";
}

// Sends SIGTERM and waits for the end; the seconds it took.
double EndAndMeasure(TProgramRunner& iProgram)
{
  const auto start = std::chrono::steady_clock::now();
  iProgram.Signal(SIGTERM);
  EXPECT_EQ(iProgram.WaitForExit(kEndHang), 0) << iProgram.Output();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Another program's hold on the database at iPath: a connection inside a transaction that has written, until it
// commits or goes.
ISQLConnectionRef LockDatabase(const std::string& iPath)
{
  const ISQLConnectionRef locker = CreateSQLConnection(DatabaseConnectionText(iPath));
  locker
      ->PrepareStatement("CREATE TABLE IF NOT EXISTS recordings (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                         "starttime TIMESTAMP NOT NULL, duration REAL DEFAULT NULL, filename VARCHAR NOT NULL)")
      ->ExecuteUpdatePrepared();
  locker->SetIsolationLevel(ilSerializable);
  locker->BeginTransaction();
  return locker;
}

TEST(ServiceJournal, WhatAFailingDatabaseCouldNotTakeIsStoredAtTheNextStart)
{
  struct TCase
  {
    const char* Name;
    // Makes the database unusable: before the start, or once the file's row is stored.
    std::function<void(const TServiceRoot&)> Before, During;
    // Makes it usable again.
    std::function<void(const TServiceRoot&)> Mend;
  };
  const auto blockFolder = [](const TServiceRoot& iRoot)
  {
    // The database's folder turns into a file.
    if (std::filesystem::exists(iRoot / "db"))
      std::filesystem::rename(iRoot / "db", iRoot / "db.away");
    TSettingsTempFolder::WriteFile(iRoot / "db", "no folder");
  };
  const auto mend = [](const TServiceRoot& iRoot)
  {
    std::filesystem::remove(iRoot / "db");
    if (std::filesystem::exists(iRoot / "db.away"))
      std::filesystem::rename(iRoot / "db.away", iRoot / "db");
  };
  const TCase cases[] = {
      {"at the start", blockFolder, nullptr, mend},
      {"while recording", nullptr, blockFolder, mend},
  };
  TPulseServer pulse({"studio"});
  pulse.Start();
  for (const TCase& c : cases)
  {
    SCOPED_TRACE(c.Name);
    TServiceRoot root;
    const std::string database = root / "db/Tapevault.db";
    root.WriteConfig(SlotConfig(root, database));
    if (c.Before)
      c.Before(root);
    auto program = root.Start(&pulse);
    ASSERT_TRUE(program->WaitForLine("Encoding to file", StartTimeout)) << program->Output();
    if (c.During)
    {
      ASSERT_TRUE(WaitUntil([&] { return RowCount(database) == 1; }, StartTimeout)) << program->Output();
      c.During(root);
    }
    std::this_thread::sleep_for(2s);
    const double seconds = EndAndMeasure(*program);
    std::printf("[ %s ] ended %.2f s after SIGTERM\n", c.Name, seconds);
    EXPECT_TRUE(program->WaitForLine("Studio: [0-9]+ index changes? (is|are) kept in the journal and stored at the "
                                     "next start$",
                                     0s))
        << program->Output();
    const std::string journal = TSettingsTempFolder::ReadFile(root / "Studio/Tapevault.journal");
    EXPECT_NE(journal.find("\nend "), std::string::npos) << journal;

    c.Mend(root);
    program = root.Start(&pulse);
    ASSERT_TRUE(program->WaitForLine("Encoding to file", StartTimeout)) << program->Output();
    ASSERT_TRUE(
        WaitUntil([&] { return !TSettingsTempFolder::Exists(root / "Studio/Tapevault.journal"); }, StartTimeout))
        << "the journal is stored and goes\n"
        << program->Output();
    EndAndMeasure(*program);
    const std::vector<TRow> rows = Rows(database);
    const std::vector<std::string> files = Recordings(root / "Studio");
    ASSERT_EQ(rows.size(), files.size()) << program->Output();
    for (size_t i = 0; i < rows.size(); ++i)
    {
      EXPECT_EQ(rows[i].Filename, files[i]);
      ASSERT_TRUE(rows[i].Duration) << rows[i].Filename;
      EXPECT_NEAR(*rows[i].Duration, WavSeconds(root / "Studio/" + files[i]), 0.1) << rows[i].Filename;
    }
  }
}

TEST(ServiceJournal, ALockedDatabaseHoldsUpNeitherTheEndNorTheRowsOfTheNextStart)
{
  TPulseServer pulse({"studio"});
  pulse.Start();
  TServiceRoot root;
  const std::string database = root / "db/Tapevault.db";
  root.WriteConfig(SlotConfig(root, database));
  std::filesystem::create_directories(root / "db");
  // Another program holds the database; every statement of the slot waits 10 s for it.
  const ISQLConnectionRef locker = LockDatabase(database);
  auto program = root.Start(&pulse);
  ASSERT_TRUE(program->WaitForLine("Encoding to file", StartTimeout)) << program->Output();
  std::this_thread::sleep_for(2s);
  const double seconds = EndAndMeasure(*program);
  std::printf("ended %.2f s after SIGTERM with the database locked\n", seconds);
  EXPECT_TRUE(program->WaitForLine("Studio: 2 index changes are kept in the journal", 0s)) << program->Output();
  locker->CommitTransaction();

  program = root.Start(&pulse);
  ASSERT_TRUE(WaitUntil([&] { return !TSettingsTempFolder::Exists(root / "Studio/Tapevault.journal"); }, StartTimeout))
      << program->Output();
  EndAndMeasure(*program);
  const std::vector<TRow> rows = Rows(database);
  const std::vector<std::string> files = Recordings(root / "Studio");
  ASSERT_GE(rows.size(), 1u) << program->Output();
  EXPECT_EQ(rows[0].Filename, files[0]);
  ASSERT_TRUE(rows[0].Duration);
  EXPECT_NEAR(*rows[0].Duration, WavSeconds(root / "Studio/" + files[0]), 0.1);
}

TEST(ServiceJournal, ARecordingKilledBeforeItsRowIsAdoptedAtTheNextStart)
{
  TPulseServer pulse({"studio"});
  pulse.Start();
  TServiceRoot root;
  const std::string database = root / "db/Tapevault.db";
  root.WriteConfig(SlotConfig(root, database));
  std::filesystem::create_directories(root / "db");
  // The insert of the file's row waits for the lock of another program (10 s before it fails): the kill comes
  // in between, after the file was made and before its row could be stored.
  {
    const ISQLConnectionRef locker = LockDatabase(database);
    auto program = root.Start(&pulse);
    ASSERT_TRUE(program->WaitForLine("Encoding to file", StartTimeout)) << program->Output();
    std::this_thread::sleep_for(2s);
    program->Signal(SIGKILL);
    program->WaitForExit(ExitTimeout);
    EXPECT_FALSE(program->WaitForLine("Error updating database", 0s)) << "the insert had not failed yet";
    locker->CommitTransaction();
  }
  // Another program's file beside it stays as it is.
  TSettingsTempFolder::WriteFile(root / "Studio/notes 2024-05-17-14-05-09.wav", "not ours");
  const std::vector<std::string> files = Recordings(root / "Studio");
  ASSERT_EQ(files.size(), 2u);
  const std::string killed = files[1];
  ASSERT_EQ(killed.rfind("take-", 0), 0u) << killed;
  ASSERT_EQ(RowCount(database), 0);
  EXPECT_FALSE(TSettingsTempFolder::Exists(root / "Studio/Tapevault.journal"));

  auto program = root.Start(&pulse);
  ASSERT_TRUE(program->WaitForLine(LogLinePattern("Studio: Adopted " + root / "Studio/" + killed), StartTimeout))
      << program->Output();
  EndAndMeasure(*program);
  const std::vector<TRow> rows = Rows(database);
  ASSERT_GE(rows.size(), 1u) << program->Output();
  EXPECT_EQ(rows[0].Filename, killed);
  ASSERT_TRUE(rows[0].Duration);
  EXPECT_DOUBLE_EQ(*rows[0].Duration, WavSeconds(root / "Studio/" + killed));
  // Its start time comes from its name.
  const auto start = CreateSQLConnection(DatabaseConnectionText(database))
                         ->PrepareStatement("SELECT starttime FROM recordings ORDER BY id")
                         ->ExecuteQueryPrepared();
  ASSERT_TRUE(start->First());
  const std::string stamp = killed.substr(5, 19); // "take-yyyy-mm-dd-hh-nn-ss.wav"
  EXPECT_EQ(start->GetString(1), stamp.substr(0, 10) + " " + stamp.substr(11, 2) + ":" + stamp.substr(14, 2) + ":" +
                                     stamp.substr(17, 2) + ".000");
  for (const TRow& row : rows)
    EXPECT_NE(row.Filename, "notes 2024-05-17-14-05-09.wav");
}

TEST(ServiceJournal, TheDropoutsOfAFileSurviveAKill)
{
  TPulseServer pulse({"studio"});
  pulse.Start();
  TServiceRoot root;
  const std::string database = root / "db/Tapevault.db";
  root.WriteConfig(SlotConfig(root, database));
  auto program = root.Start(&pulse);
  ASSERT_TRUE(program->WaitForLine("Encoding to file", StartTimeout)) << program->Output();
  ASSERT_TRUE(WaitUntil([&] { return RowCount(database) == 1; }, StartTimeout));
  std::this_thread::sleep_for(1s);
  pulse.Stop();
  ASSERT_TRUE(program->WaitForLine("Studio: input lost: ", 10s)) << program->Output();
  std::this_thread::sleep_for(1s);
  pulse.Start();
  ASSERT_TRUE(program->WaitForLine("Studio: input back after ", 30s)) << program->Output();
  ASSERT_TRUE(program->WaitForLine(" s of audio dropped: ", 10s)) << program->Output();
  const std::string journal = root / "Studio/Tapevault.journal";
  ASSERT_TRUE(
      WaitUntil([&] { return TSettingsTempFolder::ReadFile(journal).find("\ndropouts ") != std::string::npos; }, 10s))
      << program->Output();
  // Whatever was counted until now.
  std::this_thread::sleep_for(1500ms);
  program->Signal(SIGKILL);
  program->WaitForExit(ExitTimeout);
  double logged = 0;
  int count = 0;
  for (const std::string& line : program->MatchingLines(" s of audio dropped: "))
  {
    logged += std::stod(line.substr(line.find("Studio: ") + 8));
    ++count;
  }

  program = root.Start(&pulse);
  ASSERT_TRUE(program->WaitForLine("Studio: Repaired ", StartTimeout)) << program->Output();
  EndAndMeasure(*program);
  const std::vector<TRow> rows = Rows(database);
  ASSERT_GE(rows.size(), 1u);
  // The log rounds each to hundredths.
  EXPECT_NEAR(rows[0].Dropouts, logged, 0.01 * count) << TSettingsTempFolder::ReadFile(journal);
  EXPECT_EQ(rows[0].DropoutCount, count);
  EXPECT_GT(rows[0].Dropouts, 0.5);
  EXPECT_FALSE(TSettingsTempFolder::Exists(journal));
}
} // namespace
