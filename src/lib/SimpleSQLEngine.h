#pragma once
// The SQLite objects behind the SQL layer, shared by connections and statements.

#include "lib/Errors.h"

#include <memory>
#include <sqlite3.h>

// An open database; closed with its last owner (the connection and every statement prepared on it).
class TSQLiteDatabase
{
public:
  explicit TSQLiteDatabase(sqlite3* iHandle) : fHandle(iHandle) {}
  ~TSQLiteDatabase() { sqlite3_close_v2(fHandle); }
  TSQLiteDatabase(const TSQLiteDatabase&) = delete;
  TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;
  sqlite3* Handle() const { return fHandle; }

private:
  sqlite3* fHandle;
};
using TSQLiteDatabaseRef = std::shared_ptr<TSQLiteDatabase>;

// The engine's message for its last failure on the database.
[[noreturn]] inline void ThrowSQLiteError(sqlite3* iHandle)
{
  throw ESQLError(sqlite3_errmsg(iHandle));
}

// Runs SQL text without parameters or results.
inline void ExecuteSQLite(sqlite3* iHandle, const char* iSQL)
{
  if (sqlite3_exec(iHandle, iSQL, nullptr, nullptr, nullptr) != SQLITE_OK)
    ThrowSQLiteError(iHandle);
}
