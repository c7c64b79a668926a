#pragma once
// The titles of a slot's incoming stream and the cue sheet of its current recording: each title taken from the
// stream becomes the current title with the time it came and, while a file is written and cue sheets are on, a
// track of the file's cue sheet (written beside the recording with ".cue" appended, as a new file renamed over
// the old one, so a reader never sees half a sheet). Its own lock guards it; the sheet is written outside it.
// Callers: the stream's metadata callback and the stream input thread (Update), the encoder cycling (FileStarted,
// FileEnded), request threads and the controller (the readers).

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TInputStreamTitles
{
public:
  explicit TInputStreamTitles(int64_t iTickCount) : fLastMetadataTickCount(iTickCount) {}

  // Takes the title of a metadata text ("StreamTitle='...';..."): stores it with the tick count and, with
  // iCueSheet on and a file being written, adds its track and rewrites the cue sheet (errors ignored: the next
  // title writes all lines again). Returns the title taken; nothing when the text holds none.
  std::optional<std::string> Update(const std::string& iMetadata, bool iCueSheet);
  // A new file began at iStartTickCount: its cue sheet starts with the FILE line, tracks are counted from 1.
  void FileStarted(const std::string& iFullName, int64_t iStartTickCount);
  // The file ended: no tracks until the next begins.
  void FileEnded();
  // A new input: no title yet.
  void ClearTitle();
  void SetLastMetadataTickCount(int64_t iTickCount);

  std::string Title() const;
  int64_t LastMetadataTickCount() const;

private:
  void WriteCueSheet(const std::string& iPath, const std::string& iContent, uint64_t iGeneration);

  mutable std::mutex fLock;
  std::string fTitle;
  int64_t fLastMetadataTickCount;
  std::string fFilename; // the recording being written; empty when none
  int64_t fFileStartTickCount = 0;
  std::vector<std::string> fLines;
  int fTrackCounter = 0;
  uint64_t fGeneration = 0; // of fLines; a sheet is never replaced by an older one

  std::mutex fWriteLock;
  uint64_t fWrittenGeneration = 0;
};
