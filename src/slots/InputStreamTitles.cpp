#include "slots/InputStreamTitles.h"

#include "lib/TapevaultTools.h"
#include "slots/InputStreamTitleText.h"
#include "slots/RecordingName.h"

#include <cstdio>
#include <fstream>

std::optional<std::string> TInputStreamTitles::Update(const std::string& iMetadata, bool iCueSheet)
{
  std::optional<std::string> title = StreamTitleFromMetadata(iMetadata);
  if (!title)
    return std::nullopt;
  std::string path, content;
  uint64_t generation = 0;
  {
    std::lock_guard lock(fLock);
    fTitle = *title;
    fLastMetadataTickCount = static_cast<int64_t>(MillisecondClock());
    if (!iCueSheet || fFilename.empty())
      return title;
    for (std::string& line : CueSheetTrackLines(++fTrackCounter, *title, fLastMetadataTickCount - fFileStartTickCount))
      fLines.push_back(std::move(line));
    for (const std::string& line : fLines)
      content += line + "\r\n";
    path = fFilename + ".cue";
    generation = ++fGeneration;
  }
  WriteCueSheet(path, content, generation);
  return title;
}

void TInputStreamTitles::WriteCueSheet(const std::string& iPath, const std::string& iContent, uint64_t iGeneration)
{
  std::lock_guard lock(fWriteLock);
  if (iGeneration <= fWrittenGeneration)
    return;
  const std::string temporary = iPath + ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    file << iContent;
    file.close();
    if (!file)
    {
      std::remove(temporary.c_str());
      return;
    }
  }
  if (std::rename(temporary.c_str(), iPath.c_str()) != 0)
    std::remove(temporary.c_str());
  else
    fWrittenGeneration = iGeneration;
}

void TInputStreamTitles::FileStarted(const std::string& iFullName, int64_t iStartTickCount)
{
  std::lock_guard lock(fLock);
  fFilename = iFullName;
  fFileStartTickCount = iStartTickCount;
  fLines.assign(1, CueSheetFileLine(iFullName));
  fTrackCounter = 0;
}

void TInputStreamTitles::FileEnded()
{
  std::lock_guard lock(fLock);
  fFilename.clear();
  fLines.clear();
  fTrackCounter = 0;
}

void TInputStreamTitles::ClearTitle()
{
  std::lock_guard lock(fLock);
  fTitle.clear();
}

void TInputStreamTitles::SetLastMetadataTickCount(int64_t iTickCount)
{
  std::lock_guard lock(fLock);
  fLastMetadataTickCount = iTickCount;
}

std::string TInputStreamTitles::Title() const
{
  std::lock_guard lock(fLock);
  return fTitle;
}

int64_t TInputStreamTitles::LastMetadataTickCount() const
{
  std::lock_guard lock(fLock);
  return fLastMetadataTickCount;
}
