#include "slots/SlotRecorder.h"

#include <algorithm>

void TSlotRecorder::Begin(const std::shared_ptr<TRecordingFile>& iFile, uint32_t iEncoder, int64_t iStartTickCount,
                          int64_t iStartPosition)
{
  std::lock_guard lock(fLock);
  fCurrentFile = iFile;
  fOpenFiles.push_back(iFile);
  fRecordStartTickCount = iStartTickCount;
  fStartPosition = iStartPosition;
  fCurrentRecordingID = iFile->ID.load();
  fEncoder = iEncoder;
}

std::shared_ptr<TRecordingFile> TSlotRecorder::End()
{
  std::lock_guard lock(fLock);
  fEncoder = 0;
  fCurrentRecordingID = 0;
  return std::move(fCurrentFile);
}

void TSlotRecorder::Finished(const std::shared_ptr<TRecordingFile>& iFile)
{
  std::lock_guard lock(fLock);
  std::erase(fOpenFiles, iFile);
}

void TSlotRecorder::RowStored(const std::shared_ptr<TRecordingFile>& iFile)
{
  std::lock_guard lock(fLock);
  if (fCurrentFile == iFile)
    fCurrentRecordingID = iFile->ID.load();
}

std::shared_ptr<TRecordingFile> TSlotRecorder::CurrentFile() const
{
  std::lock_guard lock(fLock);
  return fCurrentFile;
}

std::string TSlotRecorder::CurrentFilename() const
{
  std::lock_guard lock(fLock);
  return fCurrentFile ? fCurrentFile->FullName : std::string();
}

int64_t TSlotRecorder::RecordStartTickCount() const
{
  std::lock_guard lock(fLock);
  return fRecordStartTickCount;
}

std::vector<std::string> TSlotRecorder::OpenRelativeNames() const
{
  std::lock_guard lock(fLock);
  std::vector<std::string> names;
  for (const std::shared_ptr<TRecordingFile>& file : fOpenFiles)
    names.push_back(file->RelativeName);
  return names;
}
