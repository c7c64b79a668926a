#pragma once
// The journal beside a slot's recordings index: index changes the database could not take yet (a new file's
// row, a finished file's length) and the input dropouts of the file being written, one line per change, each
// line on disk before the call returns. The next start, or the slot's worker once the database answers again,
// stores them and removes their lines; so a crash, a kill or a database that fails at the end loses no row.
//
// The file is plain text for a person to read: a first line naming the format and its version, then
//   insert <start time, yyyy-mm-ddThh:nn:ss.zzz> <name>
//   dropouts <seconds> <count> <name>
//   end <seconds> <dropout seconds> <dropout count> <name>
// where name is the recording's name relative to the slot's folder, last on the line, with "\" written "\\",
// line breaks "\n" and "\r" and every other control character "\xHH", so that no name can break a line.

#include "lib/DateTime.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

enum TJournalChange
{
  jcInsert,   // the file's row with its start time
  jcDropouts, // the dropouts of the file so far
  jcEnd       // the finished file's length and dropouts
};

struct TJournalEntry
{
  TJournalChange Change = jcInsert;
  std::string Name;
  TDateTime StartTime = 0;   // jcInsert
  double Seconds = 0;        // jcEnd
  double DropoutSeconds = 0; // jcDropouts, jcEnd
  int DropoutCount = 0;      // jcDropouts, jcEnd

  bool operator==(const TJournalEntry&) const = default;
};

// One line of the journal, without its line end.
std::string JournalLine(const TJournalEntry& iEntry);
// The entry of a line; nothing for a line that is not one (a torn last line, another version's line).
std::optional<TJournalEntry> ParseJournalLine(const std::string& iLine);

// The journal file "Tapevault.journal" in iFolder.
std::string JournalPath(const std::string& iFolder);

// Appends iEntry to the journal iPath (made, with its first line, when missing) and waits until it is on disk.
// Errors reach the caller.
void AppendJournalEntry(const std::string& iPath, const TJournalEntry& iEntry);
// The entries of the journal iPath in written order; none when it is missing or of another version.
std::vector<TJournalEntry> ReadJournal(const std::string& iPath);
// Removes the lines of the recordings iNames; the file goes when no line is left. Errors reach the caller.
void ForgetJournalEntries(const std::string& iPath, const std::set<std::string>& iNames);
