// Start-up repair: rows the last run left without a length (it crashed, was killed or lost power) get the
// length of their files, read from the files themselves.

#include "lib/Errors.h"
#include "lib/SimpleSQL.h"
#include "slots/RecordingDuration.h"
#include "slots/SlotInfo.h"
#include "slots/SlotPaths.h"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace
{
const char* const UnfinishedSQL = "SELECT id, filename FROM recordings WHERE duration IS NULL ORDER BY id";
const char* const RepairSQL = "UPDATE recordings SET duration=:duration WHERE id=:id";
} // namespace

void TSlotInfo::RepairRecordings()
{
  fRecorder.Worker().Post(
      [this, reported = false]() mutable
      {
        // A slot that never recorded has nothing to repair, and no database is made for it here.
        std::error_code ignored;
        if (!std::filesystem::exists(DatabasePath(), ignored))
          return true;
        try
        {
          const ISQLConnectionRef connection = GetDatabaseConnection();
          const auto rows = connection->PrepareStatement(UnfinishedSQL)->ExecuteQueryPrepared();
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
            const auto update = connection->PrepareStatement(RepairSQL);
            update->SetFloatByName("duration", measured->Seconds);
            update->SetIntByName("id", rows->GetInt(1));
            update->ExecuteUpdatePrepared();
            LogMessage(Format("Repaired %s: %.3f seconds%s", path.c_str(), measured->Seconds,
                              measured->HeaderRepaired ? ", WAV header fixed" : ""));
          }
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
