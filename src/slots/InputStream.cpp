#include "slots/InputStream.h"

#include "audio/engine/AudioEngine.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"

#include <algorithm>
#include <condition_variable>
#include <list>
#include <mutex>
#include <utility>

namespace
{
constexpr unsigned kRetryMilliseconds = 1000;
constexpr uint32_t kStreamFlags = chUnicode | chDecode | chRestrictRate | chFloat;

// Every slot's status text.
std::mutex& StatusLock()
{
  static std::mutex lock;
  return lock;
}

// One URL opened at a time over all slots. Waiting slots get their turn in the order they came, except that a
// slot retrying after a failed attempt lets every other slot go first: a dead server then costs a healthy
// slot at most the attempt under way. A slot that is stopped while it waits leaves the queue.
class TConnectTurns
{
public:
  static TConnectTurns& Instance()
  {
    static TConnectTurns turns;
    return turns;
  }

  // False when iStopping was set before the turn came.
  bool Acquire(const std::atomic<bool>& iStopping, bool iRetry)
  {
    std::unique_lock lock(fLock);
    const TTicket ticket{fNextTicket++, iRetry};
    // The one at the front holds the turn; a first attempt goes before every waiting retry.
    auto place = fQueue.end();
    if (!iRetry)
      place = std::find_if(fQueue.begin() == fQueue.end() ? fQueue.end() : std::next(fQueue.begin()), fQueue.end(),
                           [](const TTicket& iWaiting) { return iWaiting.Retry; });
    fQueue.insert(place, ticket);
    while (fQueue.front().Number != ticket.Number)
    {
      if (iStopping.load())
      {
        fQueue.remove_if([&](const TTicket& iWaiting) { return iWaiting.Number == ticket.Number; });
        fChanged.notify_all();
        return false;
      }
      fChanged.wait_for(lock, std::chrono::milliseconds(50));
    }
    return true;
  }
  void Release()
  {
    std::lock_guard lock(fLock);
    fQueue.pop_front();
    fChanged.notify_all();
  }

private:
  struct TTicket
  {
    uint64_t Number;
    bool Retry;
  };
  std::mutex fLock;
  std::condition_variable fChanged;
  std::list<TTicket> fQueue;
  uint64_t fNextTicket = 0;
};
} // namespace

TInputStream::TInputStream(int iSlotIndex, uint32_t iMixer, std::string iURL, TEvents iEvents)
    : fMixer(iMixer), fURL(std::move(iURL)), fEvents(std::move(iEvents))
{
  fThread = std::make_unique<TSimpleThread>(
      true, [this](TSimpleThread& iThread) { Loop(iThread); }, Format("StreamThread Slot %d", iSlotIndex));
  fThread->Start();
}

TInputStream::~TInputStream()
{
  // Ends an attempt under way and a wait for the turn at once.
  fStopping = true;
  fThread.reset();
}

std::string TInputStream::Status() const
{
  std::lock_guard lock(StatusLock());
  return fStatus;
}

void TInputStream::SetStatus(const std::string& iStatus)
{
  std::lock_guard lock(StatusLock());
  fStatus = iStatus;
}

void TInputStream::Loop(TSimpleThread& iThread)
{
  SetStatus("Connecting...");
  while (!iThread.Terminated() && !fStopping)
  {
    if (fDownloadEnded && fChannel)
    {
      FreeChannel();
      SetStatus("Reconnecting...");
    }
    if (!fChannel && !Connect())
      break;
    iThread.WaitForEvent(kRetryMilliseconds);
  }
  FreeChannel();
}

bool TInputStream::Connect()
{
  fDownloadEnded = false;
  if (!TConnectTurns::Instance().Acquire(fStopping, fLastAttemptFailed))
    return false;
  uint32_t channel = 0;
  int error = 0;
  try
  {
    channel = TAudioEngine::StreamCreateURL(
        fURL, 0, kStreamFlags,
        [this](const void* iBuffer, uint32_t)
        {
          if (!iBuffer)
            fDownloadEnded = true;
        },
        &fStopping);
    error = TAudioEngine::ErrorGetCode();
  }
  catch (...)
  {
    TConnectTurns::Instance().Release();
    throw;
  }
  TConnectTurns::Instance().Release();
  if (fStopping)
  {
    if (channel)
      TAudioEngine::StreamFree(channel);
    return false;
  }
  fLastAttemptFailed = channel == 0;
  if (!channel)
  {
    SetStatus(BassErrorText(error));
    return true;
  }
  TAudioEngine::ChannelSetSync(channel, syMeta,
                               [this](uint32_t, uint32_t iChannel)
                               { fEvents.Metadata(TAudioEngine::ChannelGetTags(iChannel, tgMeta)); });
  TAudioEngine::ChannelSetSync(channel, syEnd, [this](uint32_t, uint32_t) { fDownloadEnded = true; });
  if (!TAudioEngine::MixerAddChannel(fMixer, channel, 0))
  {
    SetStatus(BassErrorText(TAudioEngine::ErrorGetCode()));
    TAudioEngine::StreamFree(channel);
    return true;
  }
  fChannel = channel;
  fEvents.Connected(!std::exchange(fConnectedOnce, true));
  // The title sent with the connection counts at once.
  fEvents.Metadata(TAudioEngine::ChannelGetTags(channel, tgMeta));
  return true;
}

void TInputStream::FreeChannel()
{
  // Freeing waits for the stream's reader, which may be in a metadata callback: no lock is held here.
  if (const uint32_t channel = fChannel.exchange(0))
    TAudioEngine::StreamFree(channel);
}
