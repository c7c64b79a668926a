#include "slots/InputStreamTitles.h"

#include "lib/TapevaultTools.h"
#include "slots/InputStreamTitleText.h"
#include "slots/RecordingName.h"

#include <cstdio>
#include <fstream>

std::optional<std::string> TInputStreamTitles::Update(const std::string& iMetadata, bool iCueSheet)
{
  std::optional<std::string> Title = StreamTitleFromMetadata(iMetadata);
  if (!Title)
    return std::nullopt;
  std::string Path, Content;
  uint64_t Generation = 0;
  {
    std::lock_guard Lock(fLock);
    fTitle = *Title;
    fLastMetadataTickCount = static_cast<int64_t>(MillisecondClock());
    if (!iCueSheet || fFilename.empty())
      return Title;
    for (std::string& Line : CueSheetTrackLines(++fTrackCounter, *Title, fLastMetadataTickCount - fFileStartTickCount))
      fLines.push_back(std::move(Line));
    for (const std::string& Line : fLines)
      Content += Line + "\r\n";
    Path = fFilename + ".cue";
    Generation = ++fGeneration;
  }
  WriteCueSheet(Path, Content, Generation);
  return Title;
}

void TInputStreamTitles::WriteCueSheet(const std::string& iPath, const std::string& iContent, uint64_t iGeneration)
{
  std::lock_guard Lock(fWriteLock);
  if (iGeneration <= fWrittenGeneration)
    return;
  const std::string Temporary = iPath + ".tmp";
  {
    std::ofstream File(Temporary, std::ios::binary | std::ios::trunc);
    File << iContent;
    File.close();
    if (!File)
    {
      std::remove(Temporary.c_str());
      return;
    }
  }
  if (std::rename(Temporary.c_str(), iPath.c_str()) != 0)
    std::remove(Temporary.c_str());
  else
    fWrittenGeneration = iGeneration;
}

void TInputStreamTitles::FileStarted(const std::string& iFullName, int64_t iStartTickCount)
{
  std::lock_guard Lock(fLock);
  fFilename = iFullName;
  fFileStartTickCount = iStartTickCount;
  fLines.assign(1, CueSheetFileLine(iFullName));
  fTrackCounter = 0;
}

void TInputStreamTitles::FileEnded()
{
  std::lock_guard Lock(fLock);
  fFilename.clear();
  fLines.clear();
  fTrackCounter = 0;
}

void TInputStreamTitles::ClearTitle()
{
  std::lock_guard Lock(fLock);
  fTitle.clear();
}

void TInputStreamTitles::SetLastMetadataTickCount(int64_t iTickCount)
{
  std::lock_guard Lock(fLock);
  fLastMetadataTickCount = iTickCount;
}

std::string TInputStreamTitles::Title() const
{
  std::lock_guard Lock(fLock);
  return fTitle;
}

int64_t TInputStreamTitles::LastMetadataTickCount() const
{
  std::lock_guard Lock(fLock);
  return fLastMetadataTickCount;
}
