#pragma once
// Names of recording files: the extension of a format, the name built from the clock and the settings, the
// suffix that keeps an existing recording from being overwritten, and the FILE line of a cue sheet.

#include "lib/DateTime.h"
#include "slots/SlotTypes.h"

#include <optional>
#include <regex>
#include <string>
#include <vector>

struct TRecordingNameSettings
{
  std::string CustomFilename; // pattern with placeholders; empty = generated names
  std::string FilenamePrefix;
  bool FlatFilenames = false; // generated names without date folders
};

// ".mp3", ".mp2", ".ogg", ".wav"; for the custom formats "." followed by iFileExtension; "" for sfNone.
std::string RecordingExtension(TBassStreamingFormat iFormat, const std::string& iFileExtension);

// The name relative to the slot's folder, with "/" between folders:
// - a custom pattern followed by iExtension, with "%Y" (four-digit year), "%y" (two-digit year), "%M", "%D", "%h",
//   "%m", "%s" (month, day, hour, minute, second, two digits each) replaced in this order; other text stays,
//   "\" becomes "/";
// - flat: prefix, "yyyy-mm-dd-hh-nn-ss", extension;
// - else the same in the folders "yyyy/mm/dd/".
std::string RecordingRelativeName(const TRecordingNameSettings& iSettings, const std::string& iExtension,
                                  const TDateTimeParts& iNow);

// The names RecordingRelativeName can give for a slot's naming settings and extension, also with the suffix of
// UniqueRecordingName.
struct TRecordingNameMatch
{
  bool Matches = false;
  // The start time the name tells, when it holds the date, the hour and the minute ("%y" counting from 2000,
  // seconds 0 when missing).
  std::optional<TDateTime> StartTime;
};
class TRecordingNamePattern
{
public:
  TRecordingNamePattern(const TRecordingNameSettings& iSettings, const std::string& iExtension);
  // iRelativeName with "/" between folders.
  TRecordingNameMatch Match(const std::string& iRelativeName) const;

private:
  std::regex fNames;
  std::vector<int> fFields; // the time field of each group
};

// iRelativeName, or, when a file of that name exists in iFolder (which ends with "/"), the first of "-1", "-2",
// ... inserted before the extension that names no existing file.
std::string UniqueRecordingName(const std::string& iFolder, const std::string& iRelativeName);

// The first line of a recording's cue sheet: FILE "<name without folders>" <extension in upper case>, the type
// of ".wav" files being WAVE.
std::string CueSheetFileLine(const std::string& iPath);
