#pragma once
// The configuration file: an INI file of sections, keys and text values. Names are matched without regard to
// ASCII case; lines the program does not write (foreign keys, comments, blank lines) keep their text and order.
// Every write replaces the file at once through a new file that is synced and renamed over the old one, so a
// power cut leaves either the old or the new configuration, never half of one; UpdateFile makes the last
// replacement itself durable.

#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

// Writing the file failed: "Unable to write to %s" with the file name. Also raised for a name or value that
// cannot be stored in a line (line breaks, a key with "=", a section with "]").
class EIniFileError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

class TIniFile
{
public:
  // The file need not exist: reading a missing file gives every default, the first write creates it.
  explicit TIniFile(std::string iFileName);
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  const std::string& FileName() const { return fFileName; }

  // The value with its surrounding blanks removed; iDefault when the key is missing.
  std::string ReadString(const std::string& iSection, const std::string& iKey, const std::string& iDefault);
  // A decimal 32-bit integer with an optional sign; anything else (also an empty value) gives iDefault.
  int32_t ReadInteger(const std::string& iSection, const std::string& iKey, int32_t iDefault);
  // The integer reading, true when it is not 0.
  bool ReadBool(const std::string& iSection, const std::string& iKey, bool iDefault);
  bool SectionExists(const std::string& iSection);
  bool ValueExists(const std::string& iSection, const std::string& iKey);

  // Each write reaches the file before it returns; EIniFileError when it cannot.
  void WriteString(const std::string& iSection, const std::string& iKey, const std::string& iValue);
  void WriteInteger(const std::string& iSection, const std::string& iKey, int32_t iValue);
  // Written as "1" or "0".
  void WriteBool(const std::string& iSection, const std::string& iKey, bool iValue);
  void DeleteKey(const std::string& iSection, const std::string& iKey);
  // Brings the file to disk: saves a write whose saving failed before, then syncs the rename. Does nothing
  // between BeginUpdate and EndUpdate.
  void UpdateFile();
  // Writes until the matching EndUpdate stay in memory (readers see them) and reach the file together: one
  // replacement of the file instead of one per key, when many sections are written at once. Nestable.
  void BeginUpdate();
  // Saves what was written since the outermost BeginUpdate; EIniFileError when it cannot (the writes stay
  // pending for the next write or UpdateFile).
  void EndUpdate();

private:
  struct TLine
  {
    std::string Text; // the line as it stands in the file, without its line break
    std::string Key;  // the trimmed key of a key line, empty for any other line
  };
  struct TSection
  {
    std::string Name;         // the trimmed name between the brackets; empty for the lines before the first one
    std::vector<TLine> Lines; // the header line first (except for the leading block)
  };
  struct TFileStamp
  {
    bool Exists = false;
    uint64_t Device = 0, Inode = 0;
    int64_t Size = 0, ModifiedSeconds = 0, ModifiedNanoseconds = 0;
    bool operator==(const TFileStamp&) const = default;
  };

  // Reloads when the file changed on disk since it was last read or written (another program or an editor),
  // unless a write of ours is still waiting to be saved.
  void Refresh();
  void Load();
  TFileStamp Stamp() const;
  TSection* FindSection(const std::string& iSection);
  const TLine* FindKey(const std::string& iSection, const std::string& iKey);
  void Save();

  std::string fFileName;
  std::mutex fMutex;
  std::vector<TSection> fSections;
  std::string fLineBreak = "\n";
  bool fByteOrderMark = false;
  bool fDirty = false;     // a write is not in the file yet (its saving failed or is deferred)
  int fDeferDepth = 0;     // BeginUpdate without EndUpdate
  size_t fLastSection = 0; // index of the section found last (checked by name before use)
  bool fRenamed = false;   // a new file was renamed into place since the last UpdateFile
  std::string fTarget;     // the file last replaced: FileName, or the file a link there points to
  TFileStamp fStamp;
};
