#include "lib/SimpleSQLResultSet.h"

#include "lib/Errors.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <strings.h>

namespace
{
// Julian day number of 1899-12-30 00:00, day 0 of the date-time value.
constexpr double cJulianDayOfDateTimeZero = 2415018.5;

struct TDeclaredType
{
  const char* Name;
  TFieldType FieldType;
};

// Declared column types by their name before any "(size)", compared without regard to case.
constexpr TDeclaredType cDeclaredTypes[] = {
    {"INT", ftInteger},
    {"INTEGER", ftInteger},
    {"MEDIUMINT", ftInteger},
    {"INT32", ftInteger},
    {"SMALLINT", ftSmallint},
    {"TINYINT", ftSmallint},
    {"INT16", ftSmallint},
    {"BIGINT", ftLargeint},
    {"INT64", ftLargeint},
    {"UNSIGNED BIG INT", ftLargeint},
    {"REAL", ftFloat},
    {"FLOAT", ftFloat},
    {"DOUBLE", ftFloat},
    {"DOUBLE PRECISION", ftFloat},
    {"NUMERIC", ftBCD},
    {"DECIMAL", ftBCD},
    {"DEC", ftBCD},
    {"NUMBER", ftBCD},
    {"MONEY", ftCurrency},
    {"SMALLMONEY", ftCurrency},
    {"CURRENCY", ftCurrency},
    {"BOOL", ftBoolean},
    {"BOOLEAN", ftBoolean},
    {"BIT", ftBoolean},
    {"LOGICAL", ftBoolean},
    {"DATE", ftDate},
    {"TIME", ftTime},
    {"DATETIME", ftDateTime},
    {"SMALLDATETIME", ftDateTime},
    {"TIMESTAMP", ftTimeStamp},
    {"CHAR", ftWideString},
    {"CHARACTER", ftWideString},
    {"VARCHAR", ftWideString},
    {"VARCHAR2", ftWideString},
    {"NCHAR", ftWideString},
    {"NVARCHAR", ftWideString},
    {"NVARCHAR2", ftWideString},
    {"VARYING CHARACTER", ftWideString},
    {"NATIVE CHARACTER", ftWideString},
    {"STRING", ftWideString},
    {"TEXT", ftWideMemo},
    {"NTEXT", ftWideMemo},
    {"CLOB", ftWideMemo},
    {"MEMO", ftWideMemo},
    {"LONGTEXT", ftWideMemo},
    {"MEDIUMTEXT", ftWideMemo},
    {"BLOB", ftBlob},
    {"BINARY", ftBlob},
    {"VARBINARY", ftBlob},
    {"IMAGE", ftBlob},
    {"LONGBLOB", ftBlob},
};

bool Contains(const std::string& iUpperText, const char* iPart)
{
  return iUpperText.find(iPart) != std::string::npos;
}

// Reads a whole text as a number; false when it is none.
bool ParseNumber(const std::string& iText, double& oValue)
{
  const char* begin = iText.data();
  const char* end = begin + iText.size();
  while (begin < end && *begin == ' ')
    ++begin;
  while (end > begin && end[-1] == ' ')
    --end;
  const auto result = std::from_chars(begin, end, oValue);
  return result.ec == std::errc() && result.ptr == end && begin != end;
}

std::string NumberText(double iValue)
{
  char text[32];
  const auto result = std::to_chars(text, text + sizeof(text), iValue);
  return std::string(text, result.ptr);
}

// The value of a non-NULL cell as a number; ESQLError for text that is no number.
double NumericValue(const TSQLValue& iValue)
{
  if (const auto* integer = std::get_if<int64_t>(&iValue))
    return static_cast<double>(*integer);
  if (const auto* real = std::get_if<double>(&iValue))
    return *real;
  const std::string& text =
      std::holds_alternative<std::string>(iValue) ? std::get<std::string>(iValue) : std::get<TSQLBlob>(iValue).Bytes;
  double number;
  if (!ParseNumber(text, number))
    throw ESQLError(Format("Cannot convert \"%s\" to a number", text.c_str()));
  return number;
}
} // namespace

TFieldType FieldTypeOfColumn(const char* iDeclaredType, const TSQLTable& iTable, size_t iColumn)
{
  if (iDeclaredType == nullptr || *iDeclaredType == 0)
  {
    for (size_t cell = iColumn; cell < iTable.Cells.size(); cell += iTable.Columns.size())
      switch (iTable.Cells[cell].index())
      {
      case 1:
        return ftLargeint;
      case 2:
        return ftFloat;
      case 3:
        return ftWideString;
      case 4:
        return ftBlob;
      }
    return ftUnknown;
  }
  std::string name(iDeclaredType, std::strcspn(iDeclaredType, "("));
  while (!name.empty() && name.back() == ' ')
    name.pop_back();
  for (const auto& type : cDeclaredTypes)
    if (strcasecmp(type.Name, name.c_str()) == 0)
      return type.FieldType;
  // Other names by the engine's own affinity rules.
  for (auto& c : name)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (Contains(name, "INT"))
    return ftLargeint;
  if (Contains(name, "CHAR") || Contains(name, "CLOB") || Contains(name, "TEXT"))
    return ftWideMemo;
  if (Contains(name, "BLOB"))
    return ftBlob;
  if (Contains(name, "REAL") || Contains(name, "FLOA") || Contains(name, "DOUB"))
    return ftFloat;
  return ftWideString;
}

TSQLResultSet::TSQLResultSet(TSQLTable iTable)
    : fTable(std::move(iTable)),
      fCount(fTable.Columns.empty() ? 0 : static_cast<int>(fTable.Cells.size() / fTable.Columns.size()))
{
}

bool TSQLResultSet::First()
{
  fCurrentRow = 0;
  return fCount > 0;
}

bool TSQLResultSet::Next()
{
  if (fCurrentRow < fCount)
    ++fCurrentRow;
  return fCurrentRow < fCount;
}

const TSQLColumn& TSQLResultSet::Column(int iColumn) const
{
  if (iColumn < 1 || iColumn > static_cast<int>(fTable.Columns.size()))
    throw ESQLError(Format("Invalid column index: %d", iColumn));
  return fTable.Columns[static_cast<size_t>(iColumn - 1)];
}

const TSQLValue& TSQLResultSet::Cell(int iColumn) const
{
  Column(iColumn);
  if (fCurrentRow < 0 || fCurrentRow >= fCount)
    throw ESQLError("No current row");
  return fTable.Cells[static_cast<size_t>(fCurrentRow) * fTable.Columns.size() + static_cast<size_t>(iColumn - 1)];
}

bool TSQLResultSet::IsNull(int iColumn)
{
  return std::holds_alternative<std::monostate>(Cell(iColumn));
}

TSQLValue TSQLResultSet::GetValue(int iColumn)
{
  return Cell(iColumn);
}

std::string TSQLResultSet::GetString(int iColumn)
{
  const TSQLValue& value = Cell(iColumn);
  switch (value.index())
  {
  case 1:
    return std::to_string(std::get<int64_t>(value));
  case 2:
    return NumberText(std::get<double>(value));
  case 3:
    return std::get<std::string>(value);
  case 4:
    return std::get<TSQLBlob>(value).Bytes;
  default:
    return {};
  }
}

std::string TSQLResultSet::GetMemo(int iColumn)
{
  return GetString(iColumn);
}

int32_t TSQLResultSet::GetInt(int iColumn)
{
  const TSQLValue& value = Cell(iColumn);
  if (std::holds_alternative<std::monostate>(value))
    return 0;
  // Real numbers (and numeric text) round to the nearest integer, ties to the even one.
  const double number = std::nearbyint(NumericValue(value));
  if (!(number >= std::numeric_limits<int32_t>::min() && number <= std::numeric_limits<int32_t>::max()))
    throw ESQLError(Format("Value out of integer range: %s", GetString(iColumn).c_str()));
  return static_cast<int32_t>(number);
}

double TSQLResultSet::GetFloat(int iColumn)
{
  const TSQLValue& value = Cell(iColumn);
  return std::holds_alternative<std::monostate>(value) ? 0.0 : NumericValue(value);
}

TDateTime TSQLResultSet::GetDateTime(int iColumn) const
{
  const TSQLValue& value = Cell(iColumn);
  switch (value.index())
  {
  case 0:
    return 0.0;
  case 1:
  case 2:
    return NumericValue(value) - cJulianDayOfDateTimeZero;
  default:
  {
    const std::string& text = value.index() == 3 ? std::get<std::string>(value) : std::get<TSQLBlob>(value).Bytes;
    TDateTime result;
    if (!TryParseTimestamp(text, result))
      throw ESQLError(Format("Invalid date-time value: %s", text.c_str()));
    return result;
  }
  }
}

TDateTime TSQLResultSet::GetDate(int iColumn)
{
  return GetDateTime(iColumn);
}

TDateTime TSQLResultSet::GetTime(int iColumn)
{
  return GetDateTime(iColumn);
}

TDateTime TSQLResultSet::GetTimestamp(int iColumn)
{
  return GetDateTime(iColumn);
}

std::string TSQLResultSet::GetBinaryStream(int iColumn)
{
  return GetString(iColumn);
}

int TSQLResultSet::GetColumnCount()
{
  return static_cast<int>(fTable.Columns.size());
}

std::string TSQLResultSet::GetColumnName(int iColumn)
{
  return Column(iColumn).Name;
}

TFieldType TSQLResultSet::GetColumnFieldType(int iColumn)
{
  return Column(iColumn).FieldType;
}
