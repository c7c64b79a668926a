#include "slots/SlotDatabase.h"

#include "lib/Errors.h"
#include "lib/SimpleSQL.h"
#include "slots/SlotInfo.h"
#include "slots/SlotPaths.h"

#include <filesystem>

namespace
{
const char* const CreateTableSQL =
    "CREATE TABLE IF NOT EXISTS recordings (id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "starttime TIMESTAMP NOT NULL, duration REAL DEFAULT NULL, filename VARCHAR NOT NULL)";
const char* const InsertSQL = "INSERT INTO recordings (starttime, filename) VALUES (:starttime, :filename)";
const char* const LastIDSQL = "SELECT last_insert_rowid()";
const char* const DurationSQL = "UPDATE recordings SET duration=:duration WHERE id=:id";
} // namespace

std::string DatabaseConnectionText(const std::string& iPath)
{
  return Format("DriverID=SQLite;Database=\"%s\";Synchronous=ON;OpenMode=CreateUTF8;SharedCache=False;"
                "LockingMode=Normal;StringFormat=Unicode;DateTimeFormat=String;",
                iPath.c_str());
}

std::string TSlotInfo::DatabasePath()
{
  std::lock_guard lock(fCS);
  if (!fDatabaseFile.empty())
    return fDatabaseFile;
  if (!fDatabaseFolder.empty())
    return WithTrailingDelimiter(fDatabaseFolder) + Format("Tapevault_%d.db", fIndex);
  return WithTrailingDelimiter(fFolder) + "Tapevault.db";
}

ISQLConnectionRef TSlotInfo::GetDatabaseConnection()
{
  ISQLConnectionRef connection;
  {
    // The slot lock covers only the choice of the file and its opening, so a web request never waits for the
    // table check of another thread.
    std::lock_guard lock(fCS);
    const std::string path = DatabasePath();
    const auto folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
      throw ESQLError(Format("Unable to create the folder of the database %s", path.c_str()));
    std::error_code ignored; // a folder that cannot be created makes the opening fail
    std::filesystem::create_directories(folder, ignored);
    connection = CreateSQLConnection(DatabaseConnectionText(path));
  }
  connection->PrepareStatement(CreateTableSQL)->ExecuteUpdatePrepared();
  return connection;
}

void TSlotInfo::RegisterRecording(const std::string& iRelativeName)
{
  std::lock_guard lock(fCS);
  fCurrentRecordingID = 0;
  const ISQLConnectionRef connection = GetDatabaseConnection();
  try
  {
    const auto insert = connection->PrepareStatement(InsertSQL);
    insert->SetTimestampByName("starttime", Now());
    insert->SetStringByName("filename", StoredRecordingName(iRelativeName));
    insert->ExecuteUpdatePrepared();
    const auto result = connection->PrepareStatement(LastIDSQL)->ExecuteQueryPrepared();
    if (result->First())
      fCurrentRecordingID = result->GetInt(1);
  }
  catch (const std::exception& e)
  {
    LogMessage(Format("Error updating database: %s", e.what()));
  }
}

void TSlotInfo::StoreRecordingDuration(double iSeconds)
{
  std::lock_guard lock(fCS);
  const int id = fCurrentRecordingID;
  if (id == 0)
    return;
  const ISQLConnectionRef connection = GetDatabaseConnection();
  try
  {
    const auto update = connection->PrepareStatement(DurationSQL);
    update->SetFloatByName("duration", iSeconds);
    update->SetIntByName("id", id);
    update->ExecuteUpdatePrepared();
  }
  catch (const std::exception& e)
  {
    LogMessage(Format("Error updating database: %s", e.what()));
  }
}
