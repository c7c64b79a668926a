#pragma once
// The recorder side of a slot: the file being written, the files still being finished, and the slot's worker
// that stores their rows and ends their encoders. The controller's thread changes files (SlotEncoder.cpp); the
// worker finishes them; request threads, the window and cleanup read copies. The lock is held only to swap or
// copy: starting and stopping encoders and every database or file call happen outside it.

#include "slots/RecordingFile.h"
#include "slots/SlotWorker.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TSlotRecorder
{
public:
  TSlotRecorder(std::string iWorkerName, TSlotWorker::TErrorHandler iOnError)
      : fWorker(std::make_unique<TSlotWorker>(std::move(iWorkerName), std::move(iOnError)))
  {
  }
  TSlotRecorder(const TSlotRecorder&) = delete;
  TSlotRecorder& operator=(const TSlotRecorder&) = delete;

  // iFile, written by iEncoder from iStartPosition (bytes of the slot mixer) on, becomes the current file.
  void Begin(const std::shared_ptr<TRecordingFile>& iFile, uint32_t iEncoder, int64_t iStartTickCount,
             int64_t iStartPosition);
  // No file is current any more; returns the one that was (null when none). It stays open until Finished.
  std::shared_ptr<TRecordingFile> End();
  // The worker stopped iFile's encoder: cleanup may delete the file from now on.
  void Finished(const std::shared_ptr<TRecordingFile>& iFile);
  // The worker stored iFile's row: while it is current, its id is the current recording's.
  void RowStored(const std::shared_ptr<TRecordingFile>& iFile);
  // Makes iID the current recording's row without a file of this run (tests, the web's current recording).
  void SetCurrentRecordingID(int iID) { fCurrentRecordingID = iID; }

  // The file encoder's engine handle; 0 while no file is written. Any thread, no lock.
  uint32_t Encoder() const { return fEncoder.load(); }
  // Mixer bytes before the current file's first sample. Any thread, no lock.
  int64_t StartPosition() const { return fStartPosition.load(); }
  // The current file's row; 0 while none is current or its row is not stored yet. Any thread, no lock.
  int CurrentRecordingID() const { return fCurrentRecordingID.load(); }
  std::shared_ptr<TRecordingFile> CurrentFile() const;
  // The current file's full name; empty while none.
  std::string CurrentFilename() const;
  int64_t RecordStartTickCount() const;
  // Names relative to the slot's folder of the files being written or finished.
  std::vector<std::string> OpenRelativeNames() const;

  TSlotWorker& Worker() { return *fWorker; }

private:
  mutable std::mutex fLock;
  std::shared_ptr<TRecordingFile> fCurrentFile;
  std::vector<std::shared_ptr<TRecordingFile>> fOpenFiles; // written or being finished
  int64_t fRecordStartTickCount = 0;
  std::atomic<uint32_t> fEncoder{0};
  std::atomic<int64_t> fStartPosition{0};
  std::atomic<int> fCurrentRecordingID{0};
  // Last: its jobs use the files above; it is finished before they go.
  std::unique_ptr<TSlotWorker> fWorker;
};
