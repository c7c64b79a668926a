#pragma once
// The read-only queries of the slot endpoints over a slot's recordings table, each answered as the JSON text
// of a storage tree.

#include "lib/DateTime.h"
#include "lib/SimpleSQLInterface.h"

#include <optional>
#include <string>

// The file a slot is recording right now: its row has no duration yet.
struct TCurrentRecording
{
  int ID = 0;         // 0: none
  float Duration = 0; // seconds recorded so far
};

// {"oldest", "newest", "count"}; the two times only when the table has rows.
std::string StatsJSON(ISQLConnection& iConnection);
// Recordings starting in [iStart, iEnd) (local time) as calendar events in UTC titled iTitle. Rows without
// a duration are left out unless they are the current recording; so are rows whose start cannot be read or
// lies in the hour skipped when daylight saving time starts.
std::string CalendarEventsJSON(ISQLConnection& iConnection, TDateTime iStart, TDateTime iEnd,
                               const TCurrentRecording& iCurrent, const std::string& iTitle);
// The recordings of the day starting at iDay (local midnight).
std::string DayListJSON(ISQLConnection& iConnection, TDateTime iDay, const TCurrentRecording& iCurrent);
// The stored file name (relative to the slot's folder) of a recording, or nothing when there is no such row.
std::optional<std::string> RecordingFileName(ISQLConnection& iConnection, int iID);
// The file name part of a stored path: the text after the last "/", "\" or ":".
std::string StoredFileNamePart(const std::string& iStoredPath);
