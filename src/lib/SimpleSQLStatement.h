#pragma once
// A prepared statement: parameters found in the SQL text, set by position or name, compiled by the engine on
// the first execution and reused afterwards.

#include "lib/SimpleSQLEngine.h"
#include "lib/SimpleSQLInterface.h"

#include <vector>

struct TSQLParameter
{
  std::string Name; // empty for "?"
  TSQLValue Value;  // unset parameters are NULL
  // Declarations: a date or time type makes a numeric value stored in its text form; a size above 0 limits
  // the characters of a text and the bytes of a byte string.
  TFieldType FieldType = ftUnknown;
  int Size = 0;
};

struct TSQLCommand
{
  std::string Text;
  std::string EngineText;
  std::vector<TSQLParameter> Params;
  sqlite3_stmt* Compiled = nullptr;
};

class TSQLPreparedStatement final : public ISQLPreparedStatement
{
public:
  TSQLPreparedStatement(TSQLiteDatabaseRef iDatabase, const std::string& iSQL);
  ~TSQLPreparedStatement() override;
  TSQLPreparedStatement(const TSQLPreparedStatement&) = delete;
  TSQLPreparedStatement& operator=(const TSQLPreparedStatement&) = delete;

  void SetFieldType(int iIndex, TFieldType iType) override;
  void SetFieldTypeByName(const std::string& iName, TFieldType iType) override;
  void SetValue(int iIndex, const TSQLValue& iValue) override;
  void SetInt(int iIndex, int32_t iValue) override;
  void SetString(int iIndex, const std::string& iValue) override;
  void SetMemo(int iIndex, const std::string& iValue) override;
  void SetDate(int iIndex, TDateTime iValue) override;
  void SetTime(int iIndex, TDateTime iValue) override;
  void SetTimestamp(int iIndex, TDateTime iValue) override;
  void SetFloat(int iIndex, double iValue) override;
  void SetBinaryStream(int iIndex, const std::string& iValue) override;
  void SetValueByName(const std::string& iName, const TSQLValue& iValue) override;
  void SetIntByName(const std::string& iName, int32_t iValue) override;
  void SetStringByName(const std::string& iName, const std::string& iValue) override;
  void SetMemoByName(const std::string& iName, const std::string& iValue) override;
  void SetDateByName(const std::string& iName, TDateTime iValue) override;
  void SetTimeByName(const std::string& iName, TDateTime iValue) override;
  void SetTimestampByName(const std::string& iName, TDateTime iValue) override;
  void SetFloatByName(const std::string& iName, double iValue) override;
  void SetBinaryStreamByName(const std::string& iName, const std::string& iValue) override;
  void SetNull(int iIndex, TFieldType iFieldType) override;
  void SetNullByName(const std::string& iName, TFieldType iFieldType) override;
  void SetParamSize(int iIndex, int iSize) override;
  void SetParamSizeByName(const std::string& iName, int iSize) override;
  ISQLResultSetRef ExecuteQueryPrepared() override;
  int ExecuteUpdatePrepared() override;

private:
  TSQLParameter& Param(int iIndex);
  TSQLParameter& ParamByName(const std::string& iName);
  void Prepare();
  void BindParams();

  TSQLiteDatabaseRef fDatabase;
  TSQLCommand fCommand;
  bool fIsPrepared = false;
};
