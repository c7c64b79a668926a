// Deleting old recordings: by age and, while the disk is nearly full, the oldest one at a time.

#include "slots/SlotCleanup.h"

#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"
#include "slots/SlotPaths.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace
{
const char* const ByAgeSQL = "SELECT id, filename FROM recordings WHERE julianday('now') - julianday(starttime) > ?";
const char* const OldestFirstSQL = "SELECT id, filename FROM recordings ORDER BY id";
const char* const DeleteSQL = "DELETE FROM recordings WHERE id=:id";
constexpr int64_t GiB = 1024LL * 1024 * 1024;
// A space rule that cannot reach its goal says so once an hour.
constexpr int64_t kTooSmallReportMilliseconds = 3600 * 1000;

// The row deletions of one pass, committed together: one sync of the database per pass instead of one per
// recording. Deferred, so web requests keep reading until the commit. Rolled back when the pass fails; files
// deleted before that only cost a "missing" warning at the next pass.
class TPassTransaction
{
public:
  explicit TPassTransaction(ISQLConnection& iConnection) : fConnection(iConnection)
  {
    fConnection.SetIsolationLevel(ilReadCommitted);
    fConnection.BeginTransaction();
  }
  ~TPassTransaction()
  {
    if (fOpen)
    {
      try
      {
        fConnection.RollbackTransaction();
      }
      catch (const std::exception&)
      {
        // The connection is closed right after; SQLite rolls back what is left.
      }
    }
  }
  TPassTransaction(const TPassTransaction&) = delete;
  TPassTransaction& operator=(const TPassTransaction&) = delete;
  void Commit()
  {
    fConnection.CommitTransaction();
    fOpen = false;
  }

private:
  ISQLConnection& fConnection;
  bool fOpen = true;
};

// Removes the folders between iPath and iFolder that became empty, deepest first; never iFolder itself nor
// anything outside it.
void PruneEmptyFolders(const std::string& iFolder, const std::string& iPath)
{
  namespace fs = std::filesystem;
  fs::path folder = fs::path(iFolder).lexically_normal();
  if (!folder.has_filename() && folder.has_parent_path() && folder != folder.root_path())
    folder = folder.parent_path();
  const fs::path relative = fs::path(iPath).lexically_normal().lexically_relative(folder);
  if (relative.empty() || *relative.begin() == "..")
    return;
  const auto levels = std::distance(relative.begin(), relative.end()) - 1;
  fs::path current = fs::path(iPath).lexically_normal().parent_path();
  for (auto i = 0; i < levels && rmdir(current.c_str()) == 0; ++i)
    current = current.parent_path();
}
} // namespace

int64_t AvailableBytes(const std::string& iFolder)
{
  struct statvfs info;
  if (statvfs(iFolder.c_str(), &info) != 0)
    return -1;
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

std::vector<std::string> TSlotInfo::OpenStoredNames() const
{
  std::vector<std::string> names = fRecorder.OpenRelativeNames();
  for (std::string& name : names)
    name = StoredRecordingName(name);
  return names;
}

void TSlotInfo::RequestCleanup()
{
  if (fCleanupQueued.exchange(true))
    return;
  fRecorder.Worker().Post(
      [this]
      {
        bool more = false;
        try
        {
          more = CleanUpByAge();
          more = CleanupBySpace() || more;
        }
        catch (const std::exception& e)
        {
          // The controller's line, without the slot's prefix.
          if (fOnLogMessage)
            fOnLogMessage(this, Format("Cleanup error in %s: %s", Settings(&TSlotSettings::Name).c_str(), e.what()));
        }
        // A pass that found work runs again after the worker's pause, until the rules are met.
        if (!more)
          fCleanupQueued = false;
        return !more;
      });
}

bool TSlotInfo::CleanUpByAge()
{
  const TSlotSettings::TCleanup cleanup = Settings(&TSlotSettings::Cleanup);
  const int days = cleanup.Days;
  if (!cleanup.DaysEnabled)
    return false;
  // Below one day every recording would qualify, the one being written too.
  if (days < 1)
  {
    if (!std::exchange(fAgeRuleOffReported, true))
      LogMessage(Format("CleanupDays %d is below 1: cleanup by age is off", days));
    return false;
  }
  const ISQLConnectionRef connection = GetDatabaseConnection();
  const auto query = connection->PrepareStatement(ByAgeSQL);
  query->SetInt(1, days);
  // The whole answer is fetched before the first deletion.
  const auto rows = query->ExecuteQueryPrepared();
  const std::vector<std::string> open = OpenStoredNames();
  bool found = false;
  TPassTransaction transaction(*connection);
  while (rows->Next())
  {
    const std::string name = rows->GetString(2);
    if (std::find(open.begin(), open.end(), name) != open.end())
      continue;
    found = true;
    DeleteStoredRecording(*connection, rows->GetInt(1), name);
  }
  transaction.Commit();
  return found;
}

int64_t TSlotInfo::CleanupGoalBytes() const
{
  const TSlotSettings::TCleanup cleanup = Settings(&TSlotSettings::Cleanup);
  return cleanup.SpaceEnabled ? static_cast<int64_t>(cleanup.Space) * GiB : 0;
}

bool TSlotInfo::CleanupBySpace()
{
  const TSlotSettings settings = Settings();
  const int64_t goal = CleanupGoalBytes();
  if (!settings.Cleanup.SpaceEnabled)
    return false;
  const std::string& folder = settings.Output.Folder;
  // A volume that cannot be measured disables the rule for this call.
  const int64_t free = fFreeSpace ? fFreeSpace(folder) : -1;
  if (free < 0 || free >= goal)
    return false;
  const ISQLConnectionRef connection = GetDatabaseConnection();
  const auto rows = connection->PrepareStatement(OldestFirstSQL)->ExecuteQueryPrepared();
  const std::vector<std::string> open = OpenStoredNames();
  // One recording per call; one that cannot be deleted is skipped for the next older one, one being written is
  // never deleted.
  while (rows->Next())
  {
    const std::string name = rows->GetString(2);
    if (std::find(open.begin(), open.end(), name) == open.end() &&
        DeleteStoredRecording(*connection, rows->GetInt(1), name))
      return true;
  }
  const int64_t now = static_cast<int64_t>(MillisecondClock());
  if (!fLastTooSmallReport || now - *fLastTooSmallReport >= kTooSmallReportMilliseconds)
  {
    fLastTooSmallReport = now;
    LogMessage(Format("Free space on %s stays below %d GiB with nothing left to delete: the disk is too small "
                      "for this setting",
                      folder.c_str(), settings.Cleanup.Space));
  }
  return false;
}

bool TSlotInfo::DeleteStoredRecording(ISQLConnection& iConnection, int iID, const std::string& iStoredName)
{
  std::string path;
  if (!ResolveRecordingPath(Settings(&TSlotSettings::Output).Folder, iStoredName, path))
  {
    // Never delete outside the slot's folder; the row cannot name a recording of this slot.
    LogMessage(Format("Warning: Invalid file name, deleted from database: %s", iStoredName.c_str()));
    DeleteRow(iConnection, iID);
    return true;
  }
  return DeleteRecording(iConnection, iID, path);
}

bool TSlotInfo::DeleteRecording(ISQLConnection& iConnection, int iID, const std::string& iPath)
{
  if (unlink(iPath.c_str()) == 0)
  {
    LogMessage(Format("Deleted %s", iPath.c_str()));
    PruneEmptyFolders(Settings(&TSlotSettings::Output).Folder, iPath);
  }
  else if (const int error = errno; error == ENOENT || error == ENOTDIR)
    LogMessage(Format("Warning: File was missing, deleted from database: %s", iPath.c_str()));
  else
  {
    LogMessage(Format("Error deleting %s: Error code %d", iPath.c_str(), error));
    return false;
  }
  DeleteRow(iConnection, iID);
  return true;
}

void TSlotInfo::DeleteRow(ISQLConnection& iConnection, int iID)
{
  const auto statement = iConnection.PrepareStatement(DeleteSQL);
  statement->SetIntByName("id", iID);
  statement->ExecuteUpdatePrepared();
}
