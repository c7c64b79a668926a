// A recording slot facing faults from outside: cleanup settings that would take the file being written, a
// disk that fills, a database held locked by another program, a sound server that goes away and comes back.

#include "lib/SimpleSQL.h"
#include "slots/SlotDatabase.h"
#include "slots/SlotPipelineFixture.h"
#include "support/Wait.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/mount.h>
#include <utility>
#include <vector>

namespace
{
using namespace std::chrono_literals;
using SlotFaultsTest = TSlotPipelineTest;

// The controller's 100 ms pass until iCondition holds, at most iMilliseconds.
template <class F> bool Poll(TSlotInfo& iSlot, F&& iCondition, int iMilliseconds)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(iMilliseconds);
  for (;;)
  {
    iSlot.CheckInput();
    iSlot.CheckEncoder();
    if (iCondition())
      return true;
    if (std::chrono::steady_clock::now() > end)
      return false;
    std::this_thread::sleep_for(100ms);
  }
}

TEST_F(SlotFaultsTest, CleanupNeverDeletesTheFileBeingWritten)
{
  TSlotInfo& slot = MakeSlot("CleanupDays=0\nCleanupSpace=5\nCustomFilename=current\n");
  slot.SetFreeSpaceFunction([](const std::string&) { return int64_t{0}; });
  TSettingsTempFolder::WriteFile(fFolder / "rec/old.wav", "audio");
  slot.InsertRecordingRow("old.wav", Now() - 2);
  slot.Initialize();
  slot.StartRecording();
  slot.CycleEncoder();
  ASSERT_NE(slot.Encoder(), 0u) << slot.ErrorMessage();
  ASSERT_TRUE(slot.WaitForWorker(30s));
  for (int pass = 0; pass < 3; ++pass)
  {
    EXPECT_FALSE(slot.CleanUpByAge());
    EXPECT_EQ(slot.CleanupBySpace(), pass == 0) << "only the older recording goes";
  }
  EXPECT_FALSE(TSettingsTempFolder::Exists(fFolder / "rec/old.wav"));
  EXPECT_TRUE(TSettingsTempFolder::Exists(fFolder / "rec/current.wav"));
  EXPECT_EQ(CountLog("Slot 1: CleanupDays 0 is below 1: cleanup by age is off"), 1u);
  EXPECT_EQ(CountLog("the disk is too small for this setting"), 1u) << "once an hour";
  std::this_thread::sleep_for(300ms);
  slot.FinishRecording();
  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Filename, "current.wav");
  EXPECT_GT(ReadWav16(fFolder / "rec/current.wav").size(), 0u);
}

TEST_F(SlotFaultsTest, AFullDiskIsTriedAgainEveryFewSecondsAndLeavesNoEmptyFile)
{
  const std::string rec = fFolder / "rec";
  std::filesystem::create_directories(rec);
  ASSERT_EQ(::mount("tapevault-test", rec.c_str(), "tmpfs", 0, "size=2m"), 0)
      << "mounting a small file system needs root: " << std::strerror(errno);
  struct TUnmount
  {
    std::string Path;
    ~TUnmount() { ::umount2(Path.c_str(), MNT_DETACH); }
  } unmount{rec};
  // About 0.3 s of 16-bit stereo audio fit beside the filler.
  TSettingsTempFolder::WriteFile(rec + "/filler", std::string(2 * 1024 * 1024 - 64 * 1024, 'x'));
  TSlotInfo& slot = MakeSlot("DatabaseFile=" + fFolder / "db/Tapevault.db\n");
  slot.Initialize();
  slot.StartRecording();
  slot.CycleEncoder();
  ASSERT_TRUE(Poll(
      slot, [&] { return CountLog("No space left on device") == 1; }, 15000))
      << Log().size();
  // Tried again meanwhile (the first automatic try follows at once, the next after 3 s), logged once.
  std::this_thread::sleep_for(100ms);
  Poll(
      slot, [] { return false; }, 3500);
  EXPECT_EQ(CountLog("No space left on device: " + rec), 1u);
  EXPECT_GE(slot.GetCounters().EncoderRestarts, 2u);
  std::filesystem::remove(rec + "/filler");
  ASSERT_TRUE(Poll(
      slot, [&] { return CountLog("Slot 1: Recording resumed: " + rec + "/t") == 1; }, 15000));
  slot.FinishRecording();
  ASSERT_TRUE(slot.WaitForWorker(30s));
  std::vector<std::string> stored;
  for (const TRow& row : Rows())
    stored.push_back(row.Filename);
  // Every file left behind has audio and a row; the tries that got nothing left nothing.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(rec))
  {
    ++files;
    EXPECT_GT(entry.file_size(), 44u) << entry.path();
    EXPECT_NE(std::find(stored.begin(), stored.end(), entry.path().filename().string()), stored.end()) << entry.path();
  }
  EXPECT_EQ(files, 2u) << "the file that filled the disk and the one after it";
}

TEST_F(SlotFaultsTest, ALockedDatabaseHoldsUpNoFileChangeAndLosesNoLength)
{
  const std::string database = fFolder / "db/Tapevault.db";
  TSlotInfo& slot = MakeSlot("DatabaseFile=" + database + "\n");
  slot.Initialize();
  slot.StartRecording();
  slot.CycleEncoder();
  ASSERT_TRUE(slot.WaitForWorker(30s));
  // Another program holds the database (the SQL layer would wait 10 s for it at every statement).
  const ISQLConnectionRef locker = CreateSQLConnection(DatabaseConnectionText(database));
  locker->SetIsolationLevel(ilSerializable);
  locker->BeginTransaction();
  for (int change = 0; change < 2; ++change)
  {
    std::this_thread::sleep_for(300ms);
    const auto before = std::chrono::steady_clock::now();
    slot.CycleEncoder();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s) << "the file change waited for the database";
    EXPECT_NE(slot.Encoder(), 0u);
  }
  locker->CommitTransaction();
  std::this_thread::sleep_for(300ms);
  slot.FinishRecording();
  const std::vector<TRow> rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  for (const TRow& row : rows)
  {
    ASSERT_TRUE(row.Duration) << row.Filename;
    EXPECT_DOUBLE_EQ(*row.Duration, static_cast<double>(ReadWav16(fFolder / "rec/" + row.Filename).size() / 2) / 44100);
  }
}

TEST_F(SlotFaultsTest, ASoundServerOutageIsLoggedAndCountedInTheRow)
{
  TSlotInfo& slot = MakeSlot();
  slot.Initialize();
  slot.StartRecording();
  auto tone = fServer->PlayTone("tone", 1000, 3);
  ASSERT_TRUE(WaitUntil([&] { return slot.LevelLeft() > 0.4f; }, 5s));
  slot.CycleEncoder();
  Poll(
      slot, [] { return false; }, 300);
  tone.reset();
  fServer->Stop();
  ASSERT_TRUE(Poll(
      slot, [&] { return CountLog("Slot 1: input lost: ") == 1; }, 10000));
  std::this_thread::sleep_for(1s);
  fServer->Start();
  ASSERT_TRUE(Poll(
      slot, [&] { return CountLog("Slot 1: input back after ") == 1; }, 30000));
  ASSERT_TRUE(Poll(
      slot, [&] { return CountLog(" s of audio dropped: ") >= 1; }, 10000));
  const TSlotCounters counters = slot.GetCounters();
  EXPECT_EQ(counters.InputReconnects, 1u);
  EXPECT_GE(counters.DropoutCount, 1u);
  EXPECT_GT(counters.DropoutSeconds, 0.5);
  EXPECT_GT(counters.BytesWritten, 44100u * 4);
  slot.FinishRecording();
  ASSERT_TRUE(slot.WaitForWorker(30s));
  const auto row = slot.GetDatabaseConnection()
                       ->PrepareStatement("SELECT dropouts, dropoutcount, dropoutmarks FROM recordings")
                       ->ExecuteQueryPrepared();
  ASSERT_TRUE(row->First());
  EXPECT_DOUBLE_EQ(row->GetFloat(1), counters.DropoutSeconds);
  EXPECT_EQ(row->GetInt(2), static_cast<int>(counters.DropoutCount));
  // Each dropout's place: the server went away about 0.3 s into the file; the lengths add up to the total.
  std::istringstream marks(row->GetString(3));
  std::string mark;
  std::vector<std::pair<double, double>> places;
  while (std::getline(marks, mark, ','))
  {
    double at = 0;
    double seconds = 0;
    ASSERT_EQ(std::sscanf(mark.c_str(), "%lf+%lf", &at, &seconds), 2) << row->GetString(3);
    places.emplace_back(at, seconds);
  }
  ASSERT_EQ(places.size(), counters.DropoutCount) << row->GetString(3);
  EXPECT_GE(places.front().first, 0.1);
  EXPECT_LE(places.front().first, 3.0);
  double total = 0;
  for (const auto& [at, seconds] : places)
    total += seconds;
  EXPECT_NEAR(total, counters.DropoutSeconds, 0.01 * places.size());
}
} // namespace
