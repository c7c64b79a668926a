// Start-up recovery of the index: what the journal kept is stored, recordings of the slot's own naming
// pattern that have no row (the last run ended between a file's start and its row) are adopted, and rows the
// last run left without a length (it crashed, was killed or lost power) get the length of their files, read
// from the files themselves.

#include "lib/Errors.h"
#include "lib/SimpleSQL.h"
#include "slots/RecordingDuration.h"
#include "slots/RecordingJournal.h"
#include "slots/RecordingName.h"
#include "slots/SlotInfo.h"
#include "slots/SlotPaths.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unordered_set>
#include <utility>

namespace
{
const char* const UnfinishedSQL = "SELECT id, filename FROM recordings WHERE duration IS NULL ORDER BY id";
const char* const RepairSQL = "UPDATE recordings SET duration=:duration WHERE id=:id";
const char* const RowOfNameSQL = "SELECT MAX(id) FROM recordings WHERE filename=:filename";
const char* const NamesSQL = "SELECT filename FROM recordings";
const char* const InsertSQL = "INSERT INTO recordings (starttime, filename) VALUES (:starttime, :filename)";
const char* const AdoptSQL =
    "INSERT INTO recordings (starttime, duration, filename) VALUES (:starttime, :duration, :filename)";
const char* const DropoutsSQL = "UPDATE recordings SET dropouts=:dropouts, dropoutcount=:dropoutcount WHERE id=:id";
const char* const EndSQL =
    "UPDATE recordings SET duration=:duration, dropouts=:dropouts, dropoutcount=:dropoutcount WHERE id=:id";

double Seconds(const timespec& iTime)
{
  return static_cast<double>(iTime.tv_sec) + static_cast<double>(iTime.tv_nsec) / 1e9;
}

// The newest row of a stored name; 0 when it has none.
int RowOfName(ISQLConnection& iConnection, const std::string& iName)
{
  const auto query = iConnection.PrepareStatement(RowOfNameSQL);
  query->SetStringByName("filename", iName);
  const auto result = query->ExecuteQueryPrepared();
  return result->First() && !result->IsNull(1) ? result->GetInt(1) : 0;
}

// Rows first, so that adoption leaves the journal's files to it; lengths and dropouts once every row exists.
void ReplayInserts(ISQLConnection& iConnection, const std::vector<TJournalEntry>& iEntries)
{
  for (const TJournalEntry& entry : iEntries)
    if (entry.Change == jcInsert && RowOfName(iConnection, entry.Name) == 0)
    {
      const auto insert = iConnection.PrepareStatement(InsertSQL);
      insert->SetTimestampByName("starttime", entry.StartTime);
      insert->SetStringByName("filename", entry.Name);
      insert->ExecuteUpdatePrepared();
    }
}

void ReplayUpdates(ISQLConnection& iConnection, const std::vector<TJournalEntry>& iEntries)
{
  for (const TJournalEntry& entry : iEntries)
  {
    const int id = entry.Change == jcInsert ? 0 : RowOfName(iConnection, entry.Name);
    if (id == 0)
      continue;
    const auto update = iConnection.PrepareStatement(entry.Change == jcEnd ? EndSQL : DropoutsSQL);
    if (entry.Change == jcEnd)
      update->SetFloatByName("duration", entry.Seconds);
    update->SetFloatByName("dropouts", entry.DropoutSeconds);
    update->SetIntByName("dropoutcount", entry.DropoutCount);
    update->SetIntByName("id", id);
    update->ExecuteUpdatePrepared();
  }
}
} // namespace

std::vector<std::string> TSlotInfo::UnindexedCandidates(double iBefore) const
{
  const TSlotSettings::TOutput output = Settings(&TSlotSettings::Output);
  const std::string extension = RecordingExtension(output.Format, output.FileExtension);
  std::vector<std::string> names;
  std::error_code error;
  if (extension.empty() || !std::filesystem::is_directory(output.Folder, error))
    return names;
  const TRecordingNamePattern pattern({output.CustomFilename, output.FilenamePrefix, output.FlatFilenames}, extension);
  const auto options = std::filesystem::directory_options::skip_permission_denied;
  for (auto it = std::filesystem::recursive_directory_iterator(output.Folder, options, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
  {
    struct stat info;
    const std::string path = it->path().string();
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || Seconds(info.st_mtim) >= iBefore)
      continue;
    const std::string name = it->path().lexically_relative(output.Folder).generic_string();
    if (pattern.Match(name).Matches)
      names.push_back(name);
  }
  return names;
}

void TSlotInfo::AdoptRecordings(ISQLConnection& iConnection, const std::vector<std::string>& iNames)
{
  const TSlotSettings::TOutput output = Settings(&TSlotSettings::Output);
  const TRecordingNamePattern pattern({output.CustomFilename, output.FilenamePrefix, output.FlatFilenames},
                                      RecordingExtension(output.Format, output.FileExtension));
  // Every recording of the folder is a candidate: the indexed names are read once, not asked for one by one.
  std::unordered_set<std::string> indexed;
  const auto rows = iConnection.PrepareStatement(NamesSQL)->ExecuteQueryPrepared();
  while (rows->Next())
    indexed.insert(rows->GetString(1));
  for (const std::string& name : iNames)
  {
    std::string path;
    struct stat info;
    if (indexed.contains(name) || !ResolveRecordingPath(output.Folder, name, path) || ::stat(path.c_str(), &info) != 0)
      continue;
    const auto measured = MeasureRecordingDuration(path);
    if (!measured)
      continue;
    // Without the time in its name, the file began its length before it was last written.
    const std::optional<TDateTime> named = pattern.Match(name).StartTime;
    const TDateTime start = named ? *named
                                  : UnixToLocal(info.st_mtim.tv_sec) +
                                        (static_cast<double>(info.st_mtim.tv_nsec) / 1e9 - measured->Seconds) / 86400;
    const auto insert = iConnection.PrepareStatement(AdoptSQL);
    insert->SetTimestampByName("starttime", start);
    insert->SetFloatByName("duration", measured->Seconds);
    insert->SetStringByName("filename", name);
    insert->ExecuteUpdatePrepared();
    LogMessage(Format("Adopted %s", path.c_str()));
  }
}

void TSlotInfo::RepairUnfinishedRows(ISQLConnection& iConnection)
{
  const auto rows = iConnection.PrepareStatement(UnfinishedSQL)->ExecuteQueryPrepared();
  const std::string folder = Settings(&TSlotSettings::Output).Folder;
  const std::vector<std::string> open = OpenStoredNames();
  while (rows->Next())
  {
    const std::string name = rows->GetString(2);
    std::string path;
    // A file still being written is no leftover; a missing file is the cleanup's to handle.
    if (std::find(open.begin(), open.end(), name) != open.end() || !ResolveRecordingPath(folder, name, path))
      continue;
    const auto measured = MeasureRecordingDuration(path);
    if (!measured)
      continue;
    const auto update = iConnection.PrepareStatement(RepairSQL);
    update->SetFloatByName("duration", measured->Seconds);
    update->SetIntByName("id", rows->GetInt(1));
    update->ExecuteUpdatePrepared();
    LogMessage(Format("Repaired %s: %.3f seconds%s", path.c_str(), measured->Seconds,
                      measured->HeaderRepaired ? ", WAV header fixed" : ""));
  }
}

void TSlotInfo::RepairRecordings()
{
  // Files of this run are written from now on; only older ones can lack a row for good.
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  fRecorder.Worker().Post(
      [this, runStart = Seconds(now), reported = false, journal = std::optional<std::vector<TJournalEntry>>(),
       candidates = std::optional<std::vector<std::string>>()]() mutable
      {
        const std::string journalPath = JournalPath(Settings(&TSlotSettings::Output).Folder);
        // Taken at the first try, which runs before any job of this run: what comes later is this run's.
        if (!journal)
        {
          journal = ReadJournal(journalPath);
          candidates = UnindexedCandidates(runStart);
        }
        // A slot that never recorded has nothing to recover, and no database is made for it here.
        std::error_code ignored;
        if (journal->empty() && candidates->empty() && !std::filesystem::exists(DatabasePath(), ignored))
          return true;
        try
        {
          const ISQLConnectionRef connection = GetDatabaseConnection();
          ReplayInserts(*connection, *journal);
          AdoptRecordings(*connection, *candidates);
          ReplayUpdates(*connection, *journal);
          RepairUnfinishedRows(*connection);
          std::set<std::string> stored;
          for (const TJournalEntry& entry : *journal)
            stored.insert(entry.Name);
          if (!stored.empty())
            ForgetJournalEntries(journalPath, stored);
        }
        catch (const std::exception& e)
        {
          // Tried again until the database answers; logged once.
          if (!std::exchange(reported, true))
            LogMessage(Format("Error updating database: %s", e.what()));
          return false;
        }
        return true;
      });
}
