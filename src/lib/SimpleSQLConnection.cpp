#include "lib/SimpleSQLConnection.h"

#include "lib/SimpleSQL.h"
#include "lib/SimpleSQLStatement.h"

#include <algorithm>
#include <strings.h>

namespace
{
constexpr int cBusyTimeoutMs = 10000;

std::string Trimmed(const std::string& iText)
{
  const size_t first = iText.find_first_not_of(" \t\r\n");
  if (first == std::string::npos)
    return {};
  return iText.substr(first, iText.find_last_not_of(" \t\r\n") - first + 1);
}

bool SameText(const std::string& iLeft, const char* iRight)
{
  return strcasecmp(iLeft.c_str(), iRight) == 0;
}

struct TConnectionKey
{
  const char* Name;
  const char* Default;
  std::vector<const char*> Values; // empty: any value
};

// The keys this layer understands, their values when absent and the values it accepts.
const TConnectionKey cConnectionKeys[] = {
    {"DriverID", "SQLite", {"SQLite"}},
    {"Database", "", {}},
    {"Synchronous", "ON", {"OFF", "NORMAL", "ON", "FULL", "EXTRA"}},
    {"OpenMode", "CreateUTF8", {"CreateUTF8", "ReadWrite"}},
    {"SharedCache", "False", {"False", "True"}},
    {"LockingMode", "Normal", {"Normal", "Exclusive"}},
    {"StringFormat", "Unicode", {"Unicode"}},
    {"DateTimeFormat", "String", {"String"}},
};

// Every known key with its value; ESQLError for unknown keys, unaccepted values and a missing database.
TConnectionItems CheckedConnectionItems(const std::string& iConnectionString)
{
  TConnectionItems items = ParseConnectionString(iConnectionString);
  for (const auto& item : items)
  {
    const std::string& key = item.first;
    const std::string& value = item.second;
    const auto* known = std::find_if(std::begin(cConnectionKeys), std::end(cConnectionKeys),
                                     [&](const TConnectionKey& iKey) { return SameText(key, iKey.Name); });
    if (known == std::end(cConnectionKeys))
      throw ESQLError(Format("Unknown connection parameter: %s", key.c_str()));
    if (!known->Values.empty() && std::none_of(known->Values.begin(), known->Values.end(),
                                               [&](const char* iValue) { return SameText(value, iValue); }))
      throw ESQLError(Format("Invalid value of connection parameter %s: %s", key.c_str(), value.c_str()));
  }
  for (const auto& key : cConnectionKeys)
    items.emplace(key.Name, key.Default);
  if (items["Database"].empty())
    throw ESQLError("No database named in the connection string");
  return items;
}

sqlite3* OpenDatabase(const TConnectionItems& iItems)
{
  int flags = SQLITE_OPEN_READWRITE;
  if (SameText(iItems.at("OpenMode"), "CreateUTF8"))
    flags |= SQLITE_OPEN_CREATE;
  flags |= SameText(iItems.at("SharedCache"), "True") ? SQLITE_OPEN_SHAREDCACHE : SQLITE_OPEN_PRIVATECACHE;
  const std::string& path = iItems.at("Database");
  sqlite3* handle = nullptr;
  if (sqlite3_open_v2(path.c_str(), &handle, flags, nullptr) != SQLITE_OK)
  {
    const std::string message = handle != nullptr ? sqlite3_errmsg(handle) : "out of memory";
    sqlite3_close_v2(handle);
    throw ESQLError(Format("%s: %s", message.c_str(), path.c_str()));
  }
  return handle;
}
} // namespace

bool TCaseInsensitiveLess::operator()(const std::string& iLeft, const std::string& iRight) const
{
  return strcasecmp(iLeft.c_str(), iRight.c_str()) < 0;
}

TConnectionItems ParseConnectionString(const std::string& iConnectionString)
{
  TConnectionItems items;
  size_t pos = 0;
  while (pos < iConnectionString.size())
  {
    const size_t equals = iConnectionString.find('=', pos);
    const size_t semicolon = iConnectionString.find(';', pos);
    if (equals == std::string::npos || equals > semicolon)
    {
      const std::string item = Trimmed(iConnectionString.substr(pos, semicolon - pos));
      if (!item.empty())
        throw ESQLError(Format("Invalid connection string item: %s", item.c_str()));
      pos = semicolon == std::string::npos ? iConnectionString.size() : semicolon + 1;
      continue;
    }
    const std::string key = Trimmed(iConnectionString.substr(pos, equals - pos));
    pos = equals + 1;
    while (pos < iConnectionString.size() && iConnectionString[pos] == ' ')
      ++pos;
    std::string value;
    if (pos < iConnectionString.size() && iConnectionString[pos] == '"')
    {
      for (++pos; pos < iConnectionString.size(); ++pos)
      {
        if (iConnectionString[pos] == '"')
        {
          if (pos + 1 < iConnectionString.size() && iConnectionString[pos + 1] == '"')
            ++pos;
          else
            break;
        }
        value += iConnectionString[pos];
      }
      if (pos >= iConnectionString.size())
        throw ESQLError(Format("Unterminated quoted value of connection parameter %s", key.c_str()));
      const size_t end = iConnectionString.find(';', pos);
      if (!Trimmed(iConnectionString.substr(pos + 1, end - pos - 1)).empty())
        throw ESQLError(Format("Invalid connection string item: %s", key.c_str()));
      pos = end == std::string::npos ? iConnectionString.size() : end + 1;
    }
    else
    {
      const size_t end = iConnectionString.find(';', pos);
      value = Trimmed(iConnectionString.substr(pos, end - pos));
      pos = end == std::string::npos ? iConnectionString.size() : end + 1;
    }
    items[key] = value;
  }
  return items;
}

void TSQLTransaction::Begin(sqlite3* iHandle) const
{
  ExecuteSQLite(iHandle,
                fIsolationLevel == ilDirtyRead ? "PRAGMA read_uncommitted = 1" : "PRAGMA read_uncommitted = 0");
  switch (fIsolationLevel)
  {
  case ilSnapshot:
    ExecuteSQLite(iHandle, "BEGIN IMMEDIATE");
    break;
  case ilSerializable:
    ExecuteSQLite(iHandle, "BEGIN EXCLUSIVE");
    break;
  default:
    ExecuteSQLite(iHandle, "BEGIN DEFERRED");
  }
}

void TSQLTransaction::Commit(sqlite3* iHandle) const
{
  ExecuteSQLite(iHandle, "COMMIT");
}

void TSQLTransaction::Rollback(sqlite3* iHandle) const
{
  ExecuteSQLite(iHandle, "ROLLBACK");
}

TSQLConnection::TSQLConnection(const std::string& iConnectionString)
{
  const TConnectionItems items = CheckedConnectionItems(iConnectionString);
  fInternalConnection = std::make_shared<TSQLiteDatabase>(OpenDatabase(items));
  sqlite3* handle = fInternalConnection->Handle();
  sqlite3_busy_timeout(handle, cBusyTimeoutMs);
  const std::pair<const char*, std::string> pragmas[] = {
      {"encoding", "\"UTF-8\""}, // takes effect on a new file only
      {"cache_size", "10000"},
      {"locking_mode", items.at("LockingMode")},
      {"synchronous", items.at("Synchronous")},
      {"journal_mode", "Delete"},
      {"foreign_keys", "On"},
  };
  for (const auto& [name, value] : pragmas)
    ExecuteSQLite(handle, ("PRAGMA " + std::string(name) + " = " + value).c_str());
}

TSQLConnection::~TSQLConnection()
{
  sqlite3* handle = fInternalConnection->Handle();
  if (!sqlite3_get_autocommit(handle))
    sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
}

ISQLPreparedStatementRef TSQLConnection::PrepareStatement(const std::string& iSQL)
{
  return std::make_shared<TSQLPreparedStatement>(fInternalConnection, iSQL);
}

bool TSQLConnection::PingServer()
{
  // Reading the schema touches the file itself, not only the open handle.
  return sqlite3_exec(fInternalConnection->Handle(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) ==
         SQLITE_OK;
}

void TSQLConnection::SetIsolationLevel(TSQLIsolationLevel iLevel)
{
  if (iLevel >= ilUnspecified && iLevel <= ilSerializable)
    fTransaction.SetIsolationLevel(iLevel);
}

void TSQLConnection::BeginTransaction()
{
  fTransaction.Begin(fInternalConnection->Handle());
}

void TSQLConnection::CommitTransaction()
{
  fTransaction.Commit(fInternalConnection->Handle());
}

void TSQLConnection::RollbackTransaction()
{
  fTransaction.Rollback(fInternalConnection->Handle());
}

int64_t TSQLConnection::LastInsertRowID()
{
  return sqlite3_last_insert_rowid(fInternalConnection->Handle());
}

ISQLConnectionRef CreateSQLConnection(const std::string& iConnectionString)
{
  return std::make_shared<TSQLConnection>(iConnectionString);
}
