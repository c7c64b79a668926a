#include "slots/RecordingJournal.h"

#include "lib/Errors.h"
#include "slots/SlotErrors.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const char* const kHeader = "Tapevault index journal 1";
const char* const kChangeWords[] = {"insert", "dropouts", "end"};
// Fields between the change's word and the name.
constexpr size_t kFieldCounts[] = {1, 2, 3};

std::string Escape(const std::string& iName)
{
  std::string result;
  for (const char c : iName)
  {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\')
      result += "\\\\";
    else if (c == '\n')
      result += "\\n";
    else if (c == '\r')
      result += "\\r";
    else if (byte < 0x20 || byte == 0x7f)
      result += Format("\\x%.2X", byte);
    else
      result += c;
  }
  return result;
}

std::optional<std::string> Unescape(const std::string& iText)
{
  std::string result;
  for (size_t i = 0; i < iText.size(); ++i)
  {
    const auto byte = static_cast<unsigned char>(iText[i]);
    if (byte < 0x20 || byte == 0x7f)
      return std::nullopt;
    if (iText[i] != '\\')
    {
      result += iText[i];
      continue;
    }
    if (++i == iText.size())
      return std::nullopt;
    if (iText[i] == '\\')
      result += '\\';
    else if (iText[i] == 'n')
      result += '\n';
    else if (iText[i] == 'r')
      result += '\r';
    else if (iText[i] == 'x' && i + 2 < iText.size())
    {
      unsigned value = 0;
      const char* first = iText.data() + i + 1;
      if (std::from_chars(first, first + 2, value, 16).ptr != first + 2)
        return std::nullopt;
      result += static_cast<char>(value);
      i += 2;
    }
    else
      return std::nullopt;
  }
  return result;
}

// Numbers without the locale's decimal sign: the file is read back whatever the locale.
std::string Number(double iValue)
{
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof(buffer), iValue, std::chars_format::fixed, 3).ptr;
  return std::string(buffer, end);
}

template <class T> bool ParseNumber(const std::string& iText, T& oValue)
{
  const char* last = iText.data() + iText.size();
  const auto [end, error] = std::from_chars(iText.data(), last, oValue);
  return error == std::errc() && end == last;
}

std::string StartTimeText(TDateTime iValue)
{
  std::string text = FormatTimestampFull(iValue);
  text[10] = 'T';
  return text;
}

void SyncFolder(const std::string& iPath)
{
  const std::string folder = std::filesystem::path(iPath).parent_path().string();
  const int handle = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle >= 0)
  {
    ::fsync(handle);
    ::close(handle);
  }
}

// Writes iText at the end of iPath (made when missing) and waits until it is on disk. A write that fails (a full
// disk) leaves the file as it was: no torn line, and no empty file.
void WriteDurably(const std::string& iPath, const std::string& iText, int iFlags)
{
  const int handle = ::open(iPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | iFlags, 0666);
  if (handle < 0)
    throw ESlotError(Format("Cannot write the journal %s: %s", iPath.c_str(), std::strerror(errno)));
  struct stat info;
  const off_t size = ::fstat(handle, &info) == 0 ? info.st_size : 0;
  const std::string text = size == 0 ? std::string(kHeader) + "\n" + iText : iText;
  const char* data = text.data();
  size_t left = text.size();
  int error = 0;
  while (left > 0 && error == 0)
  {
    const ssize_t written = ::write(handle, data, left);
    if (written < 0 && errno != EINTR)
      error = errno;
    else if (written > 0)
    {
      data += written;
      left -= static_cast<size_t>(written);
    }
  }
  if (error == 0 && ::fsync(handle) != 0)
    error = errno;
  if (error != 0 && size > 0 && ::ftruncate(handle, size) == 0)
    ::fsync(handle);
  ::close(handle);
  if (error == 0)
    return;
  if (size == 0)
    ::unlink(iPath.c_str());
  throw ESlotError(Format("Cannot write the journal %s: %s", iPath.c_str(), std::strerror(error)));
}
} // namespace

std::string JournalLine(const TJournalEntry& iEntry)
{
  // Field by field: GCC 12 warns (falsely) about " " + a temporary string at -O2.
  std::string line = kChangeWords[iEntry.Change];
  const auto field = [&line](const std::string& iText) { line.append(1, ' ').append(iText); };
  switch (iEntry.Change)
  {
  case jcInsert:
    field(StartTimeText(iEntry.StartTime));
    break;
  case jcDropouts:
    field(Number(iEntry.DropoutSeconds));
    field(std::to_string(iEntry.DropoutCount));
    break;
  case jcEnd:
    field(Number(iEntry.Seconds));
    field(Number(iEntry.DropoutSeconds));
    field(std::to_string(iEntry.DropoutCount));
    break;
  }
  field(Escape(iEntry.Name));
  return line;
}

std::optional<TJournalEntry> ParseJournalLine(const std::string& iLine)
{
  std::vector<std::string> fields;
  size_t start = 0;
  TJournalEntry entry;
  const size_t space = iLine.find(' ');
  if (space == std::string::npos)
    return std::nullopt;
  const std::string word = iLine.substr(0, space);
  size_t change = 0;
  while (change < std::size(kChangeWords) && word != kChangeWords[change])
    ++change;
  if (change == std::size(kChangeWords))
    return std::nullopt;
  entry.Change = static_cast<TJournalChange>(change);
  start = space + 1;
  for (size_t i = 0; i < kFieldCounts[change]; ++i)
  {
    const size_t end = iLine.find(' ', start);
    if (end == std::string::npos)
      return std::nullopt;
    fields.push_back(iLine.substr(start, end - start));
    start = end + 1;
  }
  const std::optional<std::string> name = Unescape(iLine.substr(start));
  if (!name || name->empty())
    return std::nullopt;
  entry.Name = *name;
  bool valid = false;
  switch (entry.Change)
  {
  case jcInsert:
    valid = TryParseTimestamp(fields[0], entry.StartTime);
    break;
  case jcDropouts:
    valid = ParseNumber(fields[0], entry.DropoutSeconds) && ParseNumber(fields[1], entry.DropoutCount);
    break;
  case jcEnd:
    valid = ParseNumber(fields[0], entry.Seconds) && ParseNumber(fields[1], entry.DropoutSeconds) &&
            ParseNumber(fields[2], entry.DropoutCount);
    break;
  }
  return valid ? std::optional(entry) : std::nullopt;
}

std::string JournalPath(const std::string& iFolder)
{
  return (std::filesystem::path(iFolder) / "Tapevault.journal").string();
}

void AppendJournalEntry(const std::string& iPath, const TJournalEntry& iEntry)
{
  const bool made = !std::filesystem::exists(iPath);
  WriteDurably(iPath, JournalLine(iEntry) + "\n", O_APPEND);
  if (made)
    SyncFolder(iPath);
}

std::vector<TJournalEntry> ReadJournal(const std::string& iPath)
{
  std::vector<TJournalEntry> entries;
  std::ifstream file(iPath, std::ios::binary);
  std::string line;
  if (!std::getline(file, line) || line != kHeader)
    return entries;
  // A line without its end was cut short by a crash while it was written.
  while (std::getline(file, line) && !file.eof())
    if (const std::optional<TJournalEntry> entry = ParseJournalLine(line))
      entries.push_back(*entry);
  return entries;
}

void ForgetJournalEntries(const std::string& iPath, const std::set<std::string>& iNames)
{
  std::string kept;
  for (const TJournalEntry& entry : ReadJournal(iPath))
    if (!iNames.contains(entry.Name))
      kept += JournalLine(entry) + "\n";
  std::error_code error;
  if (kept.empty())
    std::filesystem::remove(iPath, error);
  else
  {
    // A new file renamed over the old one: a crash leaves either of the two whole.
    const std::string next = iPath + ".new";
    WriteDurably(next, kept, O_TRUNC);
    std::filesystem::rename(next, iPath, error);
  }
  if (error)
    throw ESlotError(Format("Cannot write the journal %s: %s", iPath.c_str(), error.message().c_str()));
  SyncFolder(iPath);
}
