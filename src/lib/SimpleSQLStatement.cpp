#include "lib/SimpleSQLStatement.h"

#include "lib/SimpleSQLParameters.h"
#include "lib/SimpleSQLResultSet.h"

namespace
{
TFieldType FieldTypeOfValue(const TSQLValue& iValue)
{
  constexpr TFieldType cTypes[] = {ftUnknown, ftLargeint, ftFloat, ftWideString, ftBlob};
  return cTypes[iValue.index()];
}

void Assign(TSQLParameter& ioParam, TSQLValue iValue, TFieldType iType)
{
  ioParam.Value = std::move(iValue);
  ioParam.FieldType = iType;
}

// Text parameters are all Unicode: ftString and ftMemo are declared as their wide forms.
TFieldType WideFieldType(TFieldType iType)
{
  return iType == ftString ? ftWideString : iType == ftMemo ? ftWideMemo : iType;
}

bool IsDateTimeType(TFieldType iType)
{
  return iType == ftDate || iType == ftTime || iType == ftDateTime || iType == ftTimeStamp;
}

// The stored text of a number declared as a date or time.
std::string DateTimeText(TFieldType iType, TDateTime iValue)
{
  switch (iType)
  {
  case ftDate:
    return FormatDate(iValue);
  case ftTime:
    return FormatTime(iValue);
  default:
    return FormatTimestamp(iValue);
  }
}

size_t CharacterCount(const std::string& iText)
{
  size_t count = 0;
  for (const char c : iText)
    count += (static_cast<unsigned char>(c) & 0xC0) != 0x80; // UTF-8 continuation bytes do not count
  return count;
}

void CheckSize(const TSQLParameter& iParam, int iNumber)
{
  size_t length = 0;
  if (const auto* text = std::get_if<std::string>(&iParam.Value))
    length = CharacterCount(*text);
  else if (const auto* blob = std::get_if<TSQLBlob>(&iParam.Value))
    length = blob->Bytes.size();
  if (iParam.Size > 0 && length > static_cast<size_t>(iParam.Size))
    throw ESQLError(Format("Data too large for parameter %d: %zu, at most %d", iNumber, length, iParam.Size));
}

void Bind(sqlite3_stmt* iStatement, int iNumber, const TSQLParameter& iParam)
{
  CheckSize(iParam, iNumber);
  const TSQLValue& value = iParam.Value;
  switch (value.index())
  {
  case 0:
    sqlite3_bind_null(iStatement, iNumber);
    break;
  case 1:
  case 2:
  {
    const double number = value.index() == 1 ? static_cast<double>(std::get<int64_t>(value)) : std::get<double>(value);
    if (IsDateTimeType(iParam.FieldType))
    {
      const std::string text = DateTimeText(iParam.FieldType, number);
      sqlite3_bind_text64(iStatement, iNumber, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    else if (value.index() == 1)
      sqlite3_bind_int64(iStatement, iNumber, std::get<int64_t>(value));
    else
      sqlite3_bind_double(iStatement, iNumber, number);
    break;
  }
  case 3:
  {
    const std::string& text = std::get<std::string>(value);
    sqlite3_bind_text64(iStatement, iNumber, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
    break;
  }
  case 4:
  {
    const std::string& bytes = std::get<TSQLBlob>(value).Bytes;
    sqlite3_bind_blob64(iStatement, iNumber, bytes.data(), bytes.size(), SQLITE_STATIC);
    break;
  }
  }
}

TSQLValue ColumnValue(sqlite3_stmt* iStatement, int iColumn)
{
  switch (sqlite3_column_type(iStatement, iColumn))
  {
  case SQLITE_INTEGER:
    return sqlite3_column_int64(iStatement, iColumn);
  case SQLITE_FLOAT:
    return sqlite3_column_double(iStatement, iColumn);
  case SQLITE_TEXT:
  {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(iStatement, iColumn));
    return std::string(text, static_cast<size_t>(sqlite3_column_bytes(iStatement, iColumn)));
  }
  case SQLITE_BLOB:
  {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(iStatement, iColumn));
    return TSQLBlob{std::string(bytes, static_cast<size_t>(sqlite3_column_bytes(iStatement, iColumn)))};
  }
  default:
    return std::monostate();
  }
}

// Resets the statement when the execution ends, however it ends, so that no lock outlives it. Text and bytes
// are bound without copies; clearing the bindings drops the engine's pointers to them.
class TExecution
{
public:
  explicit TExecution(sqlite3_stmt* iStatement) : fStatement(iStatement) {}
  ~TExecution()
  {
    sqlite3_reset(fStatement);
    sqlite3_clear_bindings(fStatement);
  }
  TExecution(const TExecution&) = delete;
  TExecution& operator=(const TExecution&) = delete;

private:
  sqlite3_stmt* fStatement;
};
} // namespace

TSQLPreparedStatement::TSQLPreparedStatement(TSQLiteDatabaseRef iDatabase, const std::string& iSQL)
    : fDatabase(std::move(iDatabase))
{
  TSQLParameterScan scan = ScanSQLParameters(iSQL);
  fCommand.Text = iSQL;
  fCommand.EngineText = std::move(scan.EngineText);
  for (auto& name : scan.Names)
    fCommand.Params.push_back(TSQLParameter{std::move(name), {}, ftUnknown, 0});
}

TSQLPreparedStatement::~TSQLPreparedStatement()
{
  sqlite3_finalize(fCommand.Compiled);
}

TSQLParameter& TSQLPreparedStatement::Param(int iIndex)
{
  if (iIndex < 1 || iIndex > static_cast<int>(fCommand.Params.size()))
    throw ESQLError(Format("Invalid param index: %d", iIndex));
  return fCommand.Params[static_cast<size_t>(iIndex - 1)];
}

TSQLParameter& TSQLPreparedStatement::ParamByName(const std::string& iName)
{
  if (!iName.empty())
    for (auto& param : fCommand.Params)
      if (SameParameterName(param.Name, iName))
        return param;
  throw ESQLError(Format("Invalid param: %s", iName.c_str()));
}

void TSQLPreparedStatement::SetFieldType(int iIndex, TFieldType iType)
{
  Param(iIndex).FieldType = iType;
}

void TSQLPreparedStatement::SetFieldTypeByName(const std::string& iName, TFieldType iType)
{
  ParamByName(iName).FieldType = iType;
}

void TSQLPreparedStatement::SetValue(int iIndex, const TSQLValue& iValue)
{
  Assign(Param(iIndex), iValue, FieldTypeOfValue(iValue));
}

void TSQLPreparedStatement::SetInt(int iIndex, int32_t iValue)
{
  Assign(Param(iIndex), int64_t{iValue}, ftInteger);
}

void TSQLPreparedStatement::SetString(int iIndex, const std::string& iValue)
{
  Assign(Param(iIndex), iValue, ftWideString);
}

void TSQLPreparedStatement::SetMemo(int iIndex, const std::string& iValue)
{
  Assign(Param(iIndex), iValue, ftWideMemo);
}

void TSQLPreparedStatement::SetDate(int iIndex, TDateTime iValue)
{
  Assign(Param(iIndex), FormatDate(iValue), ftDate);
}

void TSQLPreparedStatement::SetTime(int iIndex, TDateTime iValue)
{
  Assign(Param(iIndex), FormatTime(iValue), ftTime);
}

void TSQLPreparedStatement::SetTimestamp(int iIndex, TDateTime iValue)
{
  Assign(Param(iIndex), FormatTimestamp(iValue), ftTimeStamp);
}

void TSQLPreparedStatement::SetFloat(int iIndex, double iValue)
{
  Assign(Param(iIndex), iValue, ftFloat);
}

void TSQLPreparedStatement::SetBinaryStream(int iIndex, const std::string& iValue)
{
  Assign(Param(iIndex), TSQLBlob{iValue}, ftBlob);
}

void TSQLPreparedStatement::SetValueByName(const std::string& iName, const TSQLValue& iValue)
{
  Assign(ParamByName(iName), iValue, FieldTypeOfValue(iValue));
}

void TSQLPreparedStatement::SetIntByName(const std::string& iName, int32_t iValue)
{
  Assign(ParamByName(iName), int64_t{iValue}, ftInteger);
}

void TSQLPreparedStatement::SetStringByName(const std::string& iName, const std::string& iValue)
{
  Assign(ParamByName(iName), iValue, ftWideString);
}

void TSQLPreparedStatement::SetMemoByName(const std::string& iName, const std::string& iValue)
{
  Assign(ParamByName(iName), iValue, ftWideMemo);
}

void TSQLPreparedStatement::SetDateByName(const std::string& iName, TDateTime iValue)
{
  Assign(ParamByName(iName), FormatDate(iValue), ftDate);
}

void TSQLPreparedStatement::SetTimeByName(const std::string& iName, TDateTime iValue)
{
  Assign(ParamByName(iName), FormatTime(iValue), ftTime);
}

void TSQLPreparedStatement::SetTimestampByName(const std::string& iName, TDateTime iValue)
{
  Assign(ParamByName(iName), FormatTimestamp(iValue), ftTimeStamp);
}

void TSQLPreparedStatement::SetFloatByName(const std::string& iName, double iValue)
{
  Assign(ParamByName(iName), iValue, ftFloat);
}

void TSQLPreparedStatement::SetBinaryStreamByName(const std::string& iName, const std::string& iValue)
{
  Assign(ParamByName(iName), TSQLBlob{iValue}, ftBlob);
}

void TSQLPreparedStatement::SetNull(int iIndex, TFieldType iFieldType)
{
  Assign(Param(iIndex), std::monostate(), WideFieldType(iFieldType));
}

void TSQLPreparedStatement::SetNullByName(const std::string& iName, TFieldType iFieldType)
{
  Assign(ParamByName(iName), std::monostate(), WideFieldType(iFieldType));
}

void TSQLPreparedStatement::SetParamSize(int iIndex, int iSize)
{
  Param(iIndex).Size = iSize;
}

void TSQLPreparedStatement::SetParamSizeByName(const std::string& iName, int iSize)
{
  ParamByName(iName).Size = iSize;
}

void TSQLPreparedStatement::Prepare()
{
  if (fIsPrepared)
    return;
  sqlite3* db = fDatabase->Handle();
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db, fCommand.EngineText.c_str(), -1, &fCommand.Compiled, &tail) != SQLITE_OK)
    ThrowSQLiteError(db);
  if (fCommand.Compiled == nullptr)
    throw ESQLError("Empty SQL statement");
  // A second statement in the text would be silently ignored by the engine.
  sqlite3_stmt* next = nullptr;
  const int rc = sqlite3_prepare_v2(db, tail, -1, &next, nullptr);
  sqlite3_finalize(next);
  if (rc != SQLITE_OK || next != nullptr)
  {
    sqlite3_finalize(fCommand.Compiled);
    fCommand.Compiled = nullptr;
    throw ESQLError(Format("Only one SQL statement allowed: %s", fCommand.Text.c_str()));
  }
  fIsPrepared = true;
}

void TSQLPreparedStatement::BindParams()
{
  for (size_t i = 0; i < fCommand.Params.size(); ++i)
    Bind(fCommand.Compiled, static_cast<int>(i + 1), fCommand.Params[i]);
}

int TSQLPreparedStatement::ExecuteUpdatePrepared()
{
  Prepare();
  sqlite3* db = fDatabase->Handle();
  TExecution execution(fCommand.Compiled);
  BindParams();
  const int64_t changesBefore = sqlite3_total_changes64(db);
  int rc;
  while ((rc = sqlite3_step(fCommand.Compiled)) == SQLITE_ROW)
  {
  }
  if (rc != SQLITE_DONE)
    ThrowSQLiteError(db);
  // Statements that change no rows (DDL) leave the engine's count of the last change as it was.
  return sqlite3_total_changes64(db) == changesBefore ? 0 : static_cast<int>(sqlite3_changes64(db));
}

ISQLResultSetRef TSQLPreparedStatement::ExecuteQueryPrepared()
{
  Prepare();
  sqlite3* db = fDatabase->Handle();
  TExecution execution(fCommand.Compiled);
  BindParams();
  sqlite3_stmt* statement = fCommand.Compiled;
  const int columnCount = sqlite3_column_count(statement);
  TSQLTable table;
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
    for (int column = 0; column < columnCount; ++column)
      table.Cells.push_back(ColumnValue(statement, column));
  if (rc != SQLITE_DONE)
    ThrowSQLiteError(db);
  for (int column = 0; column < columnCount; ++column)
  {
    const char* name = sqlite3_column_name(statement, column);
    table.Columns.push_back(TSQLColumn{name != nullptr ? name : "", ftUnknown});
  }
  for (int column = 0; column < columnCount; ++column)
    table.Columns[static_cast<size_t>(column)].FieldType =
        FieldTypeOfColumn(sqlite3_column_decltype(statement, column), table, static_cast<size_t>(column));
  return std::make_shared<TSQLResultSet>(std::move(table));
}
