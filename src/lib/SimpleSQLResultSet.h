#pragma once
// A query's complete answer in memory, independent of the statement and connection that produced it.

#include "lib/SimpleSQLInterface.h"

#include <vector>

struct TSQLColumn
{
  std::string Name;
  TFieldType FieldType = ftUnknown;
};

struct TSQLTable
{
  std::vector<TSQLColumn> Columns;
  std::vector<TSQLValue> Cells; // row by row
};

// The field type of a column declared as iDeclaredType ("VARCHAR(40)", "TIMESTAMP", ...). A column without a
// declared type (an expression) is typed by its first non-NULL value in iTable, column iColumn (0-based).
TFieldType FieldTypeOfColumn(const char* iDeclaredType, const TSQLTable& iTable, size_t iColumn);

// Getters outside a current row or the column range throw ESQLError. NULL gives each getter's default. Text
// that a numeric or date-time getter cannot read throws ESQLError. The date-time getters read the stored text
// forms (a date alone is midnight, a time alone lies on day 0) and numbers as Julian days.
class TSQLResultSet final : public ISQLResultSet
{
public:
  explicit TSQLResultSet(TSQLTable iTable);
  bool First() override;
  bool Next() override;
  bool IsNull(int iColumn) override;
  TSQLValue GetValue(int iColumn) override;
  std::string GetString(int iColumn) override;
  std::string GetMemo(int iColumn) override;
  int32_t GetInt(int iColumn) override;
  double GetFloat(int iColumn) override;
  TDateTime GetDate(int iColumn) override;
  TDateTime GetTime(int iColumn) override;
  TDateTime GetTimestamp(int iColumn) override;
  std::string GetBinaryStream(int iColumn) override;
  int GetColumnCount() override;
  std::string GetColumnName(int iColumn) override;
  TFieldType GetColumnFieldType(int iColumn) override;

private:
  const TSQLColumn& Column(int iColumn) const;
  const TSQLValue& Cell(int iColumn) const;
  TDateTime GetDateTime(int iColumn) const;

  TSQLTable fTable;
  int fCount;
  int fCurrentRow = -1;
};
