#include "web/RecordingQueries.h"

#include "lib/Errors.h"
#include "lib/PersistentStorage.h"
#include "web/CalendarTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{
std::string JSONText(const IPersistentStorage& iNode)
{
  return iNode.AsJSon(true, true);
}

// The stored "<at>+<seconds>,..." marks as pairs of numbers; a mark that does not read as two numbers is left out.
IPersistentArrayRef DropoutMarks(const std::string& iStored)
{
  auto marks = std::make_shared<TPersistentArray>();
  size_t start = 0;
  while (start < iStored.size())
  {
    const size_t end = std::min(iStored.find(',', start), iStored.size());
    const std::string mark = iStored.substr(start, end - start);
    start = end + 1;
    double at = 0;
    double seconds = 0;
    char rest = 0;
    if (std::sscanf(mark.c_str(), "%lf+%lf%c", &at, &seconds, &rest) != 2 || !std::isfinite(at) ||
        !std::isfinite(seconds))
      continue;
    auto pair = std::make_shared<TPersistentArray>();
    pair->AddNumber(at);
    pair->AddNumber(seconds);
    marks->Add(pair);
  }
  return marks;
}

bool TryReadTimestamp(ISQLResultSet& iRows, int iColumn, TDateTime& oValue)
{
  try
  {
    oValue = iRows.GetTimestamp(iColumn);
    return true;
  }
  catch (const ESQLError&)
  {
    return false;
  }
}
} // namespace

std::string StatsJSON(ISQLConnection& iConnection)
{
  const auto statement =
      iConnection.PrepareStatement("SELECT COUNT(*), MIN(starttime), MAX(starttime) FROM recordings");
  const auto rows = statement->ExecuteQueryPrepared();
  auto stats = std::make_shared<TPersistentObject>();
  rows->First();
  stats->SetNumber("count", rows->GetInt(1));
  if (!rows->IsNull(2))
    stats->SetString("oldest", FormatUSDateTime(rows->GetTimestamp(2)));
  if (!rows->IsNull(3))
    stats->SetString("newest", FormatUSDateTime(rows->GetTimestamp(3)));
  return JSONText(*stats);
}

std::string CalendarEventsJSON(ISQLConnection& iConnection, TDateTime iStart, TDateTime iEnd,
                               const TCurrentRecording& iCurrent, const std::string& iTitle)
{
  const auto statement = iConnection.PrepareStatement(
      "SELECT id, starttime, duration, filename, dropouts, dropoutcount, dropoutmarks FROM recordings "
      "WHERE starttime >= :start AND starttime < :end");
  statement->SetTimestampByName("start", iStart);
  statement->SetTimestampByName("end", iEnd);
  const auto rows = statement->ExecuteQueryPrepared();
  auto events = std::make_shared<TPersistentArray>();
  while (rows->Next())
  {
    const int id = rows->GetInt(1);
    float duration = 0;
    if (!rows->IsNull(3))
      duration = static_cast<float>(rows->GetFloat(3));
    else if (iCurrent.ID != 0 && id == iCurrent.ID)
      duration = iCurrent.Duration;
    else
      continue;
    TDateTime start = 0;
    if (!TryReadTimestamp(*rows, 2, start) || !TryLocalToUTCStandardFirst(start, start))
      continue;
    const auto event = events->AddObject()
                           ->SetNumber("id", id)
                           ->SetString("start", FormatISODateTimeZ(start))
                           ->SetString("end", FormatISODateTimeZ(start + duration / SecsPerDay))
                           ->SetString("title", iTitle)
                           ->SetString("filename", StoredFileNamePart(rows->GetString(4)));
    // Input dropouts inside the file (seconds of audio lost and how many times), only where there were any.
    if (!rows->IsNull(6) && rows->GetInt(6) > 0)
    {
      event->SetNumber("dropouts", rows->GetFloat(5))->SetNumber("dropoutcount", rows->GetInt(6));
      // Where they were, for the player's time line: [[seconds into the file, seconds lost], ...].
      if (!rows->IsNull(7))
        event->SetArray("dropoutmarks", DropoutMarks(rows->GetString(7)));
    }
  }
  return JSONText(*events);
}

std::string DayListJSON(ISQLConnection& iConnection, TDateTime iDay, const TCurrentRecording& iCurrent)
{
  const auto statement = iConnection.PrepareStatement(
      "SELECT id, starttime, duration FROM recordings WHERE starttime >= :start AND starttime < :end");
  statement->SetTimestampByName("start", iDay);
  statement->SetTimestampByName("end", iDay + 1);
  const auto rows = statement->ExecuteQueryPrepared();
  auto list = std::make_shared<TPersistentArray>();
  while (rows->Next())
  {
    const int id = rows->GetInt(1);
    auto entry = list->AddObject();
    entry->SetNumber("ID", id)->SetString("Time", FormatISODateTime(rows->GetTimestamp(2)));
    if (!rows->IsNull(3))
      entry->SetNumber("Duration", rows->GetFloat(3));
    else if (iCurrent.ID != 0 && id == iCurrent.ID)
      entry->SetNumber("Duration", iCurrent.Duration);
    else
      entry->SetNull("Duration");
  }
  return JSONText(*list);
}

std::optional<std::string> RecordingFileName(ISQLConnection& iConnection, int iID)
{
  const auto statement = iConnection.PrepareStatement("SELECT filename FROM recordings WHERE id=:id");
  statement->SetIntByName("id", iID);
  const auto rows = statement->ExecuteQueryPrepared();
  if (!rows->First())
    return std::nullopt;
  return rows->GetString(1);
}

std::string StoredFileNamePart(const std::string& iStoredPath)
{
  const size_t separator = iStoredPath.find_last_of("/\\:");
  return separator == std::string::npos ? iStoredPath : iStoredPath.substr(separator + 1);
}
