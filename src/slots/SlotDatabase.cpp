#include "slots/SlotDatabase.h"

#include "lib/Errors.h"
#include "lib/SimpleSQL.h"
#include "slots/RecordingReaders.h"
#include "slots/SlotInfo.h"
#include "slots/SlotPaths.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace
{
const char* const CreateTableSQL =
    "CREATE TABLE IF NOT EXISTS recordings (id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "starttime TIMESTAMP NOT NULL, duration REAL DEFAULT NULL, filename VARCHAR NOT NULL)";
const char* const InsertSQL = "INSERT INTO recordings (starttime, filename) VALUES (:starttime, :filename)";
const char* const LastIDSQL = "SELECT last_insert_rowid()";
const char* const EndSQL = "UPDATE recordings SET duration=:duration, dropouts=:dropouts, dropoutcount=:dropoutcount, "
                           "dropoutmarks=:dropoutmarks WHERE id=:id";
const char* const DeleteRowSQL = "DELETE FROM recordings WHERE id=:id";
const char* const ColumnsSQL = "PRAGMA table_info(recordings)";
// The calendar asks for ranges of start times; without it every request reads every row.
const char* const StartTimeIndexSQL = "CREATE INDEX IF NOT EXISTS recordings_starttime ON recordings (starttime)";
// Columns added after the first release: databases of older versions get them, their rows kept.
const char* const AddedColumns[][2] = {
    {"dropouts", "ALTER TABLE recordings ADD COLUMN dropouts REAL DEFAULT 0"},
    {"dropoutcount", "ALTER TABLE recordings ADD COLUMN dropoutcount INTEGER DEFAULT 0"},
    {"dropoutmarks", "ALTER TABLE recordings ADD COLUMN dropoutmarks TEXT DEFAULT NULL"}};

void AddMissingColumns(ISQLConnection& iConnection)
{
  const auto columns = iConnection.PrepareStatement(ColumnsSQL)->ExecuteQueryPrepared();
  std::vector<std::string> names;
  while (columns->Next())
    names.push_back(columns->GetString(2));
  for (const auto& [name, statement] : AddedColumns)
    if (std::find(names.begin(), names.end(), name) == names.end())
      iConnection.PrepareStatement(statement)->ExecuteUpdatePrepared();
}
} // namespace

std::string DatabaseConnectionText(const std::string& iPath)
{
  return Format("DriverID=SQLite;Database=\"%s\";Synchronous=ON;OpenMode=CreateUTF8;SharedCache=False;"
                "LockingMode=Normal;StringFormat=Unicode;DateTimeFormat=String;",
                iPath.c_str());
}

std::string TSlotInfo::DatabasePath()
{
  const TSlotSettings settings = Settings();
  if (!settings.Output.DatabaseFile.empty())
    return settings.Output.DatabaseFile;
  if (!fDatabaseFolder.empty())
    return WithTrailingDelimiter(fDatabaseFolder) + Format("Tapevault_%d.db", fIndex);
  return WithTrailingDelimiter(settings.Output.Folder) + "Tapevault.db";
}

ISQLConnectionRef OpenSlotDatabase(const std::string& iPath)
{
  const auto folder = std::filesystem::path(iPath).parent_path();
  if (folder.empty())
    throw ESQLError(Format("Unable to create the folder of the database %s", iPath.c_str()));
  std::error_code ignored; // a folder that cannot be created makes the opening fail
  std::filesystem::create_directories(folder, ignored);
  const ISQLConnectionRef connection = CreateSQLConnection(DatabaseConnectionText(iPath));
  connection->PrepareStatement(CreateTableSQL)->ExecuteUpdatePrepared();
  AddMissingColumns(*connection);
  try
  {
    connection->PrepareStatement(StartTimeIndexSQL)->ExecuteUpdatePrepared();
  }
  catch (const ESQLError&)
  {
    // A database that cannot be written (a read-only copy) is still read, only without the index.
  }
  return connection;
}

ISQLConnectionRef TSlotInfo::GetDatabaseConnection()
{
  // Only the choice of the file is made under a lock (DatabasePath): opening may wait for another program's
  // lock on the file.
  return OpenSlotDatabase(DatabasePath());
}

ISQLConnectionRef TSlotInfo::ReadConnection()
{
  return fReaders->Take(DatabasePath());
}

int TSlotInfo::InsertRecordingRow(const std::string& iRelativeName, TDateTime iStartTime)
{
  const ISQLConnectionRef connection = GetDatabaseConnection();
  const auto insert = connection->PrepareStatement(InsertSQL);
  insert->SetTimestampByName("starttime", iStartTime);
  insert->SetStringByName("filename", StoredRecordingName(iRelativeName));
  insert->ExecuteUpdatePrepared();
  const auto result = connection->PrepareStatement(LastIDSQL)->ExecuteQueryPrepared();
  return result->First() ? result->GetInt(1) : 0;
}

void TSlotInfo::StoreRecordingEnd(int iID, double iSeconds, double iDropoutSeconds, int iDropoutCount,
                                  const std::string& iDropoutMarks)
{
  const auto update = GetDatabaseConnection()->PrepareStatement(EndSQL);
  update->SetFloatByName("duration", iSeconds);
  update->SetFloatByName("dropouts", iDropoutSeconds);
  update->SetIntByName("dropoutcount", iDropoutCount);
  if (iDropoutMarks.empty())
    update->SetNullByName("dropoutmarks", ftString);
  else
    update->SetStringByName("dropoutmarks", iDropoutMarks);
  update->SetIntByName("id", iID);
  update->ExecuteUpdatePrepared();
}

void TSlotInfo::DeleteRecordingRow(int iID)
{
  const auto statement = GetDatabaseConnection()->PrepareStatement(DeleteRowSQL);
  statement->SetIntByName("id", iID);
  statement->ExecuteUpdatePrepared();
}

void TSlotInfo::RegisterRecording(const std::string& iRelativeName)
{
  fRecorder.SetCurrentRecordingID(0);
  fRecorder.SetCurrentRecordingID(InsertRecordingRow(iRelativeName, Now()));
}
