#pragma once
// Interfaces of the SQL access layer. Objects are handed out as shared references and free themselves with
// the last one; a result set holds its whole answer and needs neither statement nor connection.
// Every failure is an ESQLError (Errors.h) carrying the engine's message.

#include "lib/DateTime.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

enum TSQLIsolationLevel
{
  ilUnspecified = 0,
  ilDirtyRead = 1,
  ilReadCommitted = 2,
  ilRepeatableRead = 3,
  ilSnapshot = 4,
  ilSerializable = 5
};

enum TFieldType
{
  ftUnknown,
  ftString,
  ftWideString,
  ftMemo,
  ftWideMemo,
  ftBoolean,
  ftSmallint,
  ftInteger,
  ftLargeint,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftTimeStamp,
  ftBlob
};

// A tagged value: null, integer, real, text or bytes (SQLite's storage classes).
struct TSQLBlob
{
  std::string Bytes;
  bool operator==(const TSQLBlob&) const = default;
};
using TSQLValue = std::variant<std::monostate, int64_t, double, std::string, TSQLBlob>;

class ISQLResultSet
{
public:
  virtual ~ISQLResultSet() = default;
  virtual bool First() = 0;
  virtual bool Next() = 0;
  // Columns count from 1. Outside a current row or the column range: ESQLError.
  virtual bool IsNull(int iColumn) = 0;
  virtual TSQLValue GetValue(int iColumn) = 0;
  virtual std::string GetString(int iColumn) = 0;
  virtual std::string GetMemo(int iColumn) = 0;
  virtual int32_t GetInt(int iColumn) = 0;
  virtual double GetFloat(int iColumn) = 0;
  virtual TDateTime GetDate(int iColumn) = 0;
  virtual TDateTime GetTime(int iColumn) = 0;
  virtual TDateTime GetTimestamp(int iColumn) = 0;
  virtual std::string GetBinaryStream(int iColumn) = 0;
  virtual int GetColumnCount() = 0;
  virtual std::string GetColumnName(int iColumn) = 0;
  virtual TFieldType GetColumnFieldType(int iColumn) = 0;
};
using ISQLResultSetRef = std::shared_ptr<ISQLResultSet>;

class ISQLPreparedStatement
{
public:
  virtual ~ISQLPreparedStatement() = default;
  // Parameters count from 1 in order of first appearance; names are given without the colon and are
  // matched without regard to ASCII case. An unknown name: "Invalid param: %s".
  virtual void SetFieldType(int iIndex, TFieldType iType) = 0;
  virtual void SetFieldTypeByName(const std::string& iName, TFieldType iType) = 0;
  virtual void SetValue(int iIndex, const TSQLValue& iValue) = 0;
  virtual void SetInt(int iIndex, int32_t iValue) = 0;
  virtual void SetString(int iIndex, const std::string& iValue) = 0;
  virtual void SetMemo(int iIndex, const std::string& iValue) = 0;
  virtual void SetDate(int iIndex, TDateTime iValue) = 0;
  virtual void SetTime(int iIndex, TDateTime iValue) = 0;
  virtual void SetTimestamp(int iIndex, TDateTime iValue) = 0;
  virtual void SetFloat(int iIndex, double iValue) = 0;
  virtual void SetBinaryStream(int iIndex, const std::string& iValue) = 0;
  virtual void SetValueByName(const std::string& iName, const TSQLValue& iValue) = 0;
  virtual void SetIntByName(const std::string& iName, int32_t iValue) = 0;
  virtual void SetStringByName(const std::string& iName, const std::string& iValue) = 0;
  virtual void SetMemoByName(const std::string& iName, const std::string& iValue) = 0;
  virtual void SetDateByName(const std::string& iName, TDateTime iValue) = 0;
  virtual void SetTimeByName(const std::string& iName, TDateTime iValue) = 0;
  virtual void SetTimestampByName(const std::string& iName, TDateTime iValue) = 0;
  virtual void SetFloatByName(const std::string& iName, double iValue) = 0;
  virtual void SetBinaryStreamByName(const std::string& iName, const std::string& iValue) = 0;
  virtual void SetNull(int iIndex, TFieldType iFieldType) = 0;
  virtual void SetNullByName(const std::string& iName, TFieldType iFieldType) = 0;
  virtual void SetParamSize(int iIndex, int iSize) = 0;
  virtual void SetParamSizeByName(const std::string& iName, int iSize) = 0;
  virtual ISQLResultSetRef ExecuteQueryPrepared() = 0;
  virtual int ExecuteUpdatePrepared() = 0;
};
using ISQLPreparedStatementRef = std::shared_ptr<ISQLPreparedStatement>;

class ISQLConnection
{
public:
  virtual ~ISQLConnection() = default;
  virtual ISQLPreparedStatementRef PrepareStatement(const std::string& iSQL) = 0;
  virtual bool PingServer() = 0;
  virtual void SetIsolationLevel(TSQLIsolationLevel iLevel) = 0;
  virtual void BeginTransaction() = 0;
  virtual void CommitTransaction() = 0;
  virtual void RollbackTransaction() = 0;
  // The row id of the last insert on this connection.
  virtual int64_t LastInsertRowID() = 0;
};
using ISQLConnectionRef = std::shared_ptr<ISQLConnection>;
