// The slot's run-time status: built from copies of what the slot's concerns hold (each copied under its own
// lock, never across slow work), and published as one immutable value that readers copy under a lock held for
// nothing else.

#include "audio/AudioDevicesBase.h"
#include "slots/RecordingFile.h"
#include "slots/SlotInfo.h"

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace
{
// Ten times a second, as often as the window repaints.
constexpr unsigned kStatusPauseMilliseconds = 100;

// One thread for the passes of every slot: a thread of its own per slot would give a thousand slots a thousand
// more threads. It runs while there are slots.
class TStatusPasses
{
public:
  void Add(const TSlotInfo* iSlot, std::function<void()> iPass)
  {
    std::lock_guard lock(fMutex);
    fPasses.emplace_back(iSlot, std::move(iPass));
    if (!fThread)
    {
      fThread = std::make_unique<TSimpleThread>(
          true, [this](TSimpleThread& iThread) { Loop(iThread); }, "SlotStatus");
      fThread->Start();
    }
  }

  // Waits for a pass under way: none runs for iSlot once it returns.
  void Remove(const TSlotInfo* iSlot)
  {
    std::unique_ptr<TSimpleThread> ended;
    {
      std::lock_guard lock(fMutex);
      std::erase_if(fPasses, [iSlot](const auto& iPass) { return iPass.first == iSlot; });
      if (fPasses.empty())
        ended = std::move(fThread);
    }
    // Ended outside the lock, which its last pass may be waiting for.
  }

private:
  void Loop(TSimpleThread& iThread)
  {
    while (!iThread.Terminated())
    {
      {
        std::lock_guard lock(fMutex);
        for (const auto& pass : fPasses)
          pass.second();
      }
      iThread.WaitForEvent(kStatusPauseMilliseconds);
    }
  }

  std::mutex fMutex; // held for a whole pass; a pass never waits for a slot lock
  std::vector<std::pair<const TSlotInfo*, std::function<void()>>> fPasses;
  std::unique_ptr<TSimpleThread> fThread;
};

TStatusPasses& StatusPasses()
{
  static TStatusPasses passes;
  return passes;
}
} // namespace

std::shared_ptr<const TSlotStatus> TSlotInfo::Status() const
{
  std::lock_guard lock(fStatusCS);
  return fStatus;
}

void TSlotInfo::PublishStatusUnlessBusy()
{
  std::unique_lock publishing(fPublishCS, std::try_to_lock);
  if (publishing)
    BuildAndSwapStatus();
}

void TSlotInfo::PublishStatus()
{
  std::lock_guard publishing(fPublishCS);
  BuildAndSwapStatus();
}

void TSlotInfo::BuildAndSwapStatus()
{
  auto status = std::make_shared<TSlotStatus>();
  status->Recording = fRecorder.Encoder() != 0;
  status->ErrorMessage = ErrorMessage();
  status->LevelLeft = LevelLeft();
  status->LevelRight = LevelRight();
  status->CurrentFilename = fRecorder.CurrentFilename();
  if (const std::shared_ptr<TRecordingFile> file = fRecorder.CurrentFile())
  {
    status->EncoderKind = file->EncoderKind;
    status->FileDropoutSeconds = file->DropoutSeconds;
    status->FileDropoutCount = file->DropoutCount;
  }
  status->RecordStartTickCount = fRecorder.RecordStartTickCount();
  status->LastOverSilenceTickCount = LastOverSilenceTickCount();
  status->LastMetadataTickCount = fTitles.LastMetadataTickCount();
  if (const TDeviceInfoWithClients* device = fInput.Device())
    status->DeviceName = device->Name();
  status->StreamURL = fInput.StreamURL();
  status->StreamOpen = fInput.StreamChannel() != 0;
  status->StreamStatus = fInput.StreamStatus();
  status->StreamTitle = fTitles.Title();
  status->Counters = GetCounters();
  if (fOutputStream)
  {
    status->StreamingStatus = fOutputStream->Status();
    status->StreamingMessage = fOutputStream->Message();
    status->StreamingActiveSince = fOutputStream->ActiveSince();
    const TOutputStreamCounts output = fOutputStream->Counts();
    status->Listeners = output.Listeners;
    status->Counters.StreamDroppedBytes = output.DroppedBytes;
    status->Counters.StreamDroppedListeners = output.DroppedListeners;
  }
  // The one that goes is freed after the pointer's lock is released.
  std::shared_ptr<const TSlotStatus> previous;
  std::lock_guard swap(fStatusCS);
  previous = std::exchange(fStatus, std::move(status));
}

void TSlotInfo::StartStatusPasses()
{
  StatusPasses().Add(this, [this] { PublishStatusUnlessBusy(); });
}

void TSlotInfo::StopStatusPasses()
{
  StatusPasses().Remove(this);
}
