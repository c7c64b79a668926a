#include "lib/IniFile.h"

#include "lib/Errors.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
const std::string ByteOrderMark = "\xEF\xBB\xBF";

std::string Trim(const std::string& iText)
{
  const auto first = iText.find_first_not_of(" \t");
  if (first == std::string::npos)
    return {};
  const auto last = iText.find_last_not_of(" \t");
  return iText.substr(first, last - first + 1);
}

bool SameName(const std::string& iA, const std::string& iB)
{
  return iA.size() == iB.size() &&
         std::equal(iA.begin(), iA.end(), iB.begin(),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                    });
}

bool HasLineBreak(const std::string& iText)
{
  return iText.find_first_of("\r\n") != std::string::npos;
}

// Names must survive a round trip through the file: no line breaks, no blanks around them, nothing that would
// make the line read as another kind of line.
void CheckNames(const std::string& iSection, const std::string& iKey)
{
  if (iSection.empty() || HasLineBreak(iSection) || iSection.find(']') != std::string::npos ||
      Trim(iSection) != iSection)
    throw EIniFileError(Format("Invalid section name \"%s\"", iSection.c_str()));
  if (iKey.empty() || HasLineBreak(iKey) || iKey.find('=') != std::string::npos || Trim(iKey) != iKey ||
      iKey.front() == '[' || iKey.front() == ';' || iKey.front() == '#')
    throw EIniFileError(Format("Invalid key name \"%s\"", iKey.c_str()));
}

// Writes iContent to a new file beside iTarget, syncs it and renames it over iTarget; false on any failure.
bool ReplaceFile(const std::string& iTarget, const std::string& iContent)
{
  std::string pattern = iTarget + ".XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0)
    return false;
  struct stat old;
  bool ok = true;
  if (stat(iTarget.c_str(), &old) == 0)
    ok = fchmod(fd, old.st_mode & 07777) == 0;
  size_t written = 0;
  while (ok && written < iContent.size())
  {
    const ssize_t n = write(fd, iContent.data() + written, iContent.size() - written);
    if (n < 0 && errno == EINTR)
      continue;
    ok = n > 0;
    if (ok)
      written += static_cast<size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(pattern.c_str(), iTarget.c_str()) == 0;
  if (!ok)
    unlink(pattern.c_str());
  return ok;
}

// Makes the last rename in the folder of iFile durable.
void SyncFolderOf(const std::string& iFile)
{
  const auto parent = std::filesystem::path(iFile).parent_path();
  const int fd = open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0)
  {
    fsync(fd);
    close(fd);
  }
}
} // namespace

TIniFile::TIniFile(std::string iFileName) : fFileName(std::move(iFileName))
{
  Load();
}

TIniFile::TFileStamp TIniFile::Stamp() const
{
  TFileStamp result;
  struct stat info;
  if (stat(fFileName.c_str(), &info) != 0)
    return result;
  result.Exists = true;
  result.Device = info.st_dev;
  result.Inode = info.st_ino;
  result.Size = info.st_size;
  result.ModifiedSeconds = info.st_mtim.tv_sec;
  result.ModifiedNanoseconds = info.st_mtim.tv_nsec;
  return result;
}

void TIniFile::Load()
{
  fStamp = Stamp();
  fSections.assign(1, TSection{});
  fByteOrderMark = false;
  fLineBreak = "\n";
  std::ifstream file(fFileName, std::ios::binary);
  if (!file)
    return;
  std::ostringstream buffer;
  buffer << file.rdbuf();
  std::string content = buffer.str();
  if (content.starts_with(ByteOrderMark))
  {
    fByteOrderMark = true;
    content.erase(0, ByteOrderMark.size());
  }
  const auto firstBreak = content.find('\n');
  if (firstBreak != std::string::npos && firstBreak > 0 && content[firstBreak - 1] == '\r')
    fLineBreak = "\r\n";
  size_t start = 0;
  while (start < content.size())
  {
    auto end = content.find('\n', start);
    if (end == std::string::npos)
      end = content.size();
    std::string text = content.substr(start, end - start);
    if (!text.empty() && text.back() == '\r')
      text.pop_back();
    start = end + 1;
    const std::string trimmed = Trim(text);
    if (trimmed.starts_with('['))
    {
      const auto close = trimmed.find(']');
      fSections.push_back(TSection{Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1)),
                                   {TLine{text, {}}}});
      continue;
    }
    TLine line{text, {}};
    const auto equals = trimmed.find('=');
    if (equals != std::string::npos && !trimmed.starts_with(';') && !trimmed.starts_with('#'))
      line.Key = Trim(trimmed.substr(0, equals));
    fSections.back().Lines.push_back(std::move(line));
  }
}

void TIniFile::Refresh()
{
  if (!fDirty && !(Stamp() == fStamp))
    Load();
}

TIniFile::TSection* TIniFile::FindSection(const std::string& iSection)
{
  // A slot reads and writes its keys one after another: its section is most often the one found last, which
  // keeps a file of many sections from costing a search through all of them per key.
  if (fLastSection > 0 && fLastSection < fSections.size() && SameName(fSections[fLastSection].Name, iSection))
    return &fSections[fLastSection];
  // The lines before the first section header belong to no section.
  for (size_t i = 1; i < fSections.size(); ++i)
    if (SameName(fSections[i].Name, iSection))
    {
      fLastSection = i;
      return &fSections[i];
    }
  return nullptr;
}

const TIniFile::TLine* TIniFile::FindKey(const std::string& iSection, const std::string& iKey)
{
  TSection* section = FindSection(iSection);
  if (!section)
    return nullptr;
  for (const TLine& line : section->Lines)
    if (!line.Key.empty() && SameName(line.Key, iKey))
      return &line;
  return nullptr;
}

std::string TIniFile::ReadString(const std::string& iSection, const std::string& iKey, const std::string& iDefault)
{
  std::lock_guard lock(fMutex);
  Refresh();
  const TLine* line = FindKey(iSection, iKey);
  if (!line)
    return iDefault;
  return Trim(line->Text.substr(line->Text.find('=') + 1));
}

int32_t TIniFile::ReadInteger(const std::string& iSection, const std::string& iKey, int32_t iDefault)
{
  const std::string text = ReadString(iSection, iKey, {});
  // from_chars takes no plus sign.
  const size_t begin = text.starts_with('+') && text.size() > 1 && text[1] != '-' ? 1 : 0;
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data() + begin, text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    return iDefault;
  return value;
}

bool TIniFile::ReadBool(const std::string& iSection, const std::string& iKey, bool iDefault)
{
  return ReadInteger(iSection, iKey, iDefault ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const std::string& iSection)
{
  std::lock_guard lock(fMutex);
  Refresh();
  return FindSection(iSection) != nullptr;
}

bool TIniFile::ValueExists(const std::string& iSection, const std::string& iKey)
{
  std::lock_guard lock(fMutex);
  Refresh();
  return FindKey(iSection, iKey) != nullptr;
}

void TIniFile::WriteString(const std::string& iSection, const std::string& iKey, const std::string& iValue)
{
  CheckNames(iSection, iKey);
  if (HasLineBreak(iValue))
    throw EIniFileError(Format("Invalid value for \"%s\": line breaks cannot be stored", iKey.c_str()));
  std::lock_guard lock(fMutex);
  Refresh();
  TSection* section = FindSection(iSection);
  if (!section)
  {
    // A blank line between sections, as an editor would leave it.
    const TSection& last = fSections.back();
    if (!last.Lines.empty() && !Trim(last.Lines.back().Text).empty())
      fSections.back().Lines.push_back(TLine{});
    fSections.push_back(TSection{iSection, {TLine{"[" + iSection + "]", {}}}});
    section = &fSections.back();
  }
  auto& lines = section->Lines;
  auto existing = std::find_if(lines.begin(), lines.end(),
                               [&](const TLine& line) { return !line.Key.empty() && SameName(line.Key, iKey); });
  if (existing != lines.end())
  {
    // The key keeps the spelling it has in the file.
    const std::string text = existing->Key + "=" + iValue;
    if (text == existing->Text)
      return;
    existing->Text = text;
  }
  else
  {
    // After the section's last key, so that comments and blank lines that follow it stay where they are.
    auto lastKey = std::find_if(lines.rbegin(), lines.rend(), [](const TLine& line) { return !line.Key.empty(); });
    const auto position = lastKey == lines.rend() ? lines.begin() + 1 : lastKey.base();
    lines.insert(position, TLine{iKey + "=" + iValue, iKey});
  }
  fDirty = true;
  if (fDeferDepth == 0)
    Save();
}

void TIniFile::WriteInteger(const std::string& iSection, const std::string& iKey, int32_t iValue)
{
  WriteString(iSection, iKey, std::to_string(iValue));
}

void TIniFile::WriteBool(const std::string& iSection, const std::string& iKey, bool iValue)
{
  WriteString(iSection, iKey, iValue ? "1" : "0");
}

void TIniFile::DeleteKey(const std::string& iSection, const std::string& iKey)
{
  std::lock_guard lock(fMutex);
  Refresh();
  TSection* section = FindSection(iSection);
  if (!section)
    return;
  auto& lines = section->Lines;
  const auto existing = std::find_if(lines.begin(), lines.end(),
                                     [&](const TLine& line) { return !line.Key.empty() && SameName(line.Key, iKey); });
  if (existing == lines.end())
    return;
  lines.erase(existing);
  fDirty = true;
  if (fDeferDepth == 0)
    Save();
}

void TIniFile::BeginUpdate()
{
  std::lock_guard lock(fMutex);
  ++fDeferDepth;
}

void TIniFile::EndUpdate()
{
  std::lock_guard lock(fMutex);
  if (fDeferDepth > 0 && --fDeferDepth == 0 && fDirty)
    Save();
}

void TIniFile::UpdateFile()
{
  std::lock_guard lock(fMutex);
  if (fDeferDepth > 0)
    return;
  if (fDirty)
    Save();
  if (fRenamed)
    SyncFolderOf(fTarget);
  fRenamed = false;
}

void TIniFile::Save()
{
  std::string content = fByteOrderMark ? ByteOrderMark : std::string();
  for (const TSection& section : fSections)
    for (const TLine& line : section.Lines)
      content += line.Text + fLineBreak;
  // A link to the configuration stays a link: the file it points to is replaced.
  std::error_code error;
  fTarget = fFileName;
  struct stat link;
  if (lstat(fFileName.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
    fTarget = std::filesystem::weakly_canonical(fFileName, error).string();
  if (error || !ReplaceFile(fTarget, content))
    throw EIniFileError(Format("Unable to write to %s", fFileName.c_str()));
  fDirty = false;
  fRenamed = true;
  fStamp = Stamp();
}
