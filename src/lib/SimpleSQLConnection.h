#pragma once
// A connection to one SQLite database file with its single transaction.

#include "lib/SimpleSQLEngine.h"
#include "lib/SimpleSQLInterface.h"

#include <map>

// The connection string's items ("key=value;..."; a value may be enclosed in double quotes, "" inside
// standing for one quote). Keys are case-insensitive; ESQLError for an item without "=".
struct TCaseInsensitiveLess
{
  bool operator()(const std::string& iLeft, const std::string& iRight) const;
};
using TConnectionItems = std::map<std::string, std::string, TCaseInsensitiveLess>;
TConnectionItems ParseConnectionString(const std::string& iConnectionString);

// Begins, commits and rolls back with the isolation level's way of beginning.
class TSQLTransaction
{
public:
  void SetIsolationLevel(TSQLIsolationLevel iLevel) { fIsolationLevel = iLevel; }
  void Begin(sqlite3* iHandle) const;
  void Commit(sqlite3* iHandle) const;
  void Rollback(sqlite3* iHandle) const;

private:
  TSQLIsolationLevel fIsolationLevel = ilSerializable;
};

class TSQLConnection final : public ISQLConnection
{
public:
  explicit TSQLConnection(const std::string& iConnectionString);
  // Rolls back a transaction still open; the database closes with the last statement prepared on it.
  ~TSQLConnection() override;
  TSQLConnection(const TSQLConnection&) = delete;
  TSQLConnection& operator=(const TSQLConnection&) = delete;

  ISQLPreparedStatementRef PrepareStatement(const std::string& iSQL) override;
  bool PingServer() override;
  void SetIsolationLevel(TSQLIsolationLevel iLevel) override;
  void BeginTransaction() override;
  void CommitTransaction() override;
  void RollbackTransaction() override;
  int64_t LastInsertRowID() override;

private:
  TSQLiteDatabaseRef fInternalConnection;
  TSQLTransaction fTransaction;
};
