#include "web/SlotEvents.h"

#include "lib/PersistentStorage.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotInfo.h"
#include "slots/SlotLamp.h"
#include "web/SlotStatusText.h"
#include "web/WebController.h"

#include <cerrno>
#include <filesystem>
#include <sys/statvfs.h>

namespace
{
constexpr std::chrono::seconds kFreeSpaceInterval{10};
// A listener whose browser hears nothing for this long gets a comment line, so that proxies keep it open.
constexpr std::chrono::seconds kKeepAlive{15};

const char* LampWord(TSlotLamp iLamp)
{
  return iLamp == slOK ? "ok" : iLamp == slDisabled ? "disabled" : "error";
}

// Free space where the slot's files go: of its folder, or of the nearest folder above it while it does not exist
// yet; -1 when unknown.
double FreeBytes(const std::string& iFolder)
{
  if (iFolder.empty())
    return -1;
  std::filesystem::path folder(iFolder);
  while (true)
  {
    struct statvfs info
    {
    };
    if (::statvfs(folder.c_str(), &info) == 0)
      return static_cast<double>(info.f_bavail) * static_cast<double>(info.f_frsize);
    if (errno != ENOENT || folder == folder.parent_path())
      return -1;
    folder = folder.parent_path();
  }
}
} // namespace

struct TSlotEvents::TListener
{
  TSlotEvents& Events;
  uint64_t Seen = 0;
  bool Greeted = false;
  ~TListener() { Events.Unsubscribe(); }
};

TSlotEvents::TSlotEvents(IWebController& iController) : fController(iController) {}

TSlotEvents::~TSlotEvents()
{
  Stop();
}

TStreamBody TSlotEvents::Subscribe()
{
  {
    std::lock_guard lock(fMutex);
    ++fListeners;
    if (!fThread.joinable() && !fStopping)
      fThread = std::thread([this] { Run(); });
  }
  fChanged.notify_all();
  // Made in place: a temporary listener would unsubscribe when it goes.
  std::shared_ptr<TListener> listener(new TListener{*this});
  return TStreamBody{[listener]() -> std::string
                     {
                       if (!listener->Greeted)
                       {
                         listener->Greeted = true;
                         return "retry: 2000\n\n";
                       }
                       return listener->Events.NextFor(listener->Seen);
                     }};
}

void TSlotEvents::Unsubscribe()
{
  std::lock_guard lock(fMutex);
  --fListeners;
}

void TSlotEvents::Stop()
{
  {
    std::lock_guard lock(fMutex);
    fStopping = true;
  }
  fChanged.notify_all();
  if (fThread.joinable())
    fThread.join();
}

std::string TSlotEvents::NextFor(uint64_t& ioSeen)
{
  std::unique_lock lock(fMutex);
  if (!fChanged.wait_for(lock, kKeepAlive, [&] { return fStopping || fSequence > ioSeen; }))
    return ":\n\n";
  if (fStopping)
    return std::string();
  ioSeen = fSequence;
  const std::shared_ptr<const std::string> event = fEvent;
  lock.unlock();
  return *event;
}

void TSlotEvents::Run()
{
  std::unique_lock lock(fMutex);
  while (!fStopping)
  {
    if (fListeners == 0)
    {
      fChanged.wait(lock, [this] { return fStopping || fListeners > 0; });
      continue;
    }
    lock.unlock();
    auto event = std::make_shared<const std::string>(BuildEvent());
    lock.lock();
    fEvent = std::move(event);
    ++fSequence;
    fChanged.notify_all();
    fChanged.wait_for(lock, Interval, [this] { return fStopping; });
  }
}

std::string TSlotEvents::BuildEvent()
{
  const auto now = std::chrono::steady_clock::now();
  const int count = fController.SlotCount();
  const bool askFreeSpace =
      fFreeBytes.size() != static_cast<size_t>(count) || now - fFreeBytesAsked >= kFreeSpaceInterval;
  if (askFreeSpace)
  {
    fFreeBytes.assign(static_cast<size_t>(count), -1);
    fFreeBytesAsked = now;
  }
  auto slots = std::make_shared<TPersistentArray>();
  for (int i = 0; i < count; ++i)
  {
    TSlotInfo& slot = fController.Slot(i);
    const TSlotSettings settings = slot.Settings();
    const std::shared_ptr<const TSlotStatus> status = slot.Status();
    if (askFreeSpace)
      fFreeBytes[static_cast<size_t>(i)] = FreeBytes(settings.Output.Folder);
    const IPersistentObjectRef object = slots->AddObject();
    object->SetNumber("ID", i)
        ->SetString("Name", settings.Name)
        ->SetString("Lamp", LampWord(SlotLamp(SlotLampFacts(settings, *status))))
        ->SetBoolean("Enabled", settings.Enabled)
        ->SetString("Error", status->ErrorMessage)
        ->SetNumber("LevelLeft", status->LevelLeft)
        ->SetNumber("LevelRight", status->LevelRight)
        ->SetNumber("NominalLevel", settings.Input.NominalLevel)
        ->SetString("Source", settings.Input.Source == rsStream      ? "stream"
                              : settings.Input.Source == rsSoundcard ? "device"
                                                                     : "none")
        ->SetString("Device", status->DeviceName.value_or(""))
        ->SetString("StreamURL", status->StreamURL)
        ->SetBoolean("StreamOpen", status->StreamOpen)
        ->SetString("StreamStatus", status->StreamStatus)
        ->SetString("StreamTitle", status->StreamTitle)
        ->SetBoolean("Recording", status->Recording)
        ->SetString("File", status->CurrentFilename)
        ->SetNumber("FileDropouts", status->FileDropoutSeconds)
        ->SetNumber("FileDropoutCount", status->FileDropoutCount)
        ->SetString("Streaming", StreamingStatusWord(status->StreamingStatus))
        ->SetString("StreamingMessage", status->StreamingMessage)
        ->SetNumber("Listeners", status->Listeners);
    const auto seconds = [&](const char* iName, bool iKnown, int64_t iTickCount)
    {
      if (iKnown)
        object->SetNumber(iName, static_cast<double>(SecondsSince(iTickCount)));
      else
        object->SetNull(iName);
    };
    seconds("RecordingSeconds", status->Recording, status->RecordStartTickCount);
    seconds("SilenceSeconds", status->Recording, status->LastOverSilenceTickCount);
    seconds("StreamingSeconds", status->StreamingActiveSince >= 0, status->StreamingActiveSince);
    if (const double free = fFreeBytes[static_cast<size_t>(i)]; free >= 0)
      object->SetNumber("FreeBytes", free);
    else
      object->SetNull("FreeBytes");
  }
  return "data: " + slots->AsJSon(false, true) + "\n\n";
}
