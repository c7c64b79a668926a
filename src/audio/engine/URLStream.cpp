#include "audio/engine/URLStream.h"

#include "audio/engine/URLSource.h"

#include <algorithm>
#include <chrono>
#include <pthread.h>

namespace
{
// How often a waiting reader looks at the queue again: small against the backlog drift control holds.
constexpr auto kWaitStep = std::chrono::milliseconds(20);
// After the end, what is queued is played out before the end is announced. A mixer that ran dry waits for more
// audio than may be left, and one that is not pulled takes nothing: a rest that is not taken within this is lost.
constexpr auto kEndPatience = std::chrono::seconds(1);

TChannelFormat FormatOf(const TURLSource& iSource)
{
  return TChannelFormat{iSource.Rate(), iSource.Channels(), true};
}
} // namespace

TURLStream::TURLStream(std::unique_ptr<TURLSource> iSource, TDownloadProc iDownload)
    : TPushStream(FormatOf(*iSource), kQueueSeconds, kTargetSeconds), fSource(std::move(iSource)),
      fDownload(std::move(iDownload)), fMetadata(fSource->TakeChangedMetadata())
{
}

TURLStream::~TURLStream()
{
  Stop();
  if (fReader.joinable())
    fReader.join();
}

void TURLStream::Start()
{
  fReader = std::thread([this] { ReaderLoop(); });
}

void TURLStream::Stop()
{
  fStopping.store(true, std::memory_order_release);
  fSource->Stop();
}

uint32_t TURLStream::AddSync(uint32_t iType, TSyncProc iProc)
{
  std::lock_guard lock(fLock);
  fSyncs.push_back({fNextSync, iType, std::move(iProc)});
  return fNextSync++;
}

bool TURLStream::RemoveSync(uint32_t iSync)
{
  std::lock_guard lock(fLock);
  auto found = std::find_if(fSyncs.begin(), fSyncs.end(), [iSync](const TSync& s) { return s.Handle == iSync; });
  if (found == fSyncs.end())
    return false;
  fSyncs.erase(found);
  return true;
}

std::string TURLStream::Metadata() const
{
  std::lock_guard lock(fLock);
  return fMetadata;
}

void TURLStream::ReaderLoop()
{
  pthread_setname_np(pthread_self(), "URLReader");
  const uint32_t frameBytes = Format().FrameBytes();
  const uint32_t channels = Format().Channels;
  const std::chrono::milliseconds patience(fSource->TimeoutMilliseconds());
  uint64_t written = 0;
  int endCode = ecEnded;
  std::vector<float> samples;
  std::vector<uint8_t> packet;
  while (!fStopping.load(std::memory_order_acquire))
  {
    ReleaseMetadata(written);
    if (!samples.empty())
    {
      const uint64_t frames = samples.size() / channels;
      // The queue is bounded: wait for the consumer instead of dropping audio, but not for one that stopped.
      if (!WaitForRoom(frames, written, patience))
      {
        endCode = ecNotPlaying;
        break;
      }
      PutData(samples.data(), frames * frameBytes);
      written += frames;
      samples.clear();
      continue;
    }
    if (!fSource->Next(samples, packet))
    {
      endCode = fSource->EndCode();
      break;
    }
    if (fDownload && !packet.empty())
      fDownload(packet.data(), uint32_t(packet.size()));
    std::string text = fSource->TakeChangedMetadata();
    if (!text.empty())
      fPending.push_back({written, std::move(text)});
  }
  // The end is announced once the audio received is used up, so that nothing of it is lost.
  WaitForRoom(CapacityFrames(), written, kEndPatience);
  if (fStopping.load(std::memory_order_acquire))
    return;
  ReleaseMetadata(written);
  fEndCode.store(endCode, std::memory_order_release);
  if (fDownload)
    fDownload(nullptr, 0);
  Notify(syEnd);
}

bool TURLStream::WaitForRoom(uint64_t iFrames, uint64_t iWrittenFrames, std::chrono::milliseconds iPatience)
{
  uint64_t queued = QueuedFrames();
  auto progress = std::chrono::steady_clock::now();
  while (queued > 0 && queued + iFrames > CapacityFrames())
  {
    if (fStopping.load(std::memory_order_acquire))
      return false;
    ReleaseMetadata(iWrittenFrames);
    std::this_thread::sleep_for(kWaitStep);
    const uint64_t now = QueuedFrames();
    if (now < queued)
      progress = std::chrono::steady_clock::now();
    else if (std::chrono::steady_clock::now() - progress > iPatience)
      return false;
    queued = now;
  }
  return !fStopping.load(std::memory_order_acquire);
}

void TURLStream::ReleaseMetadata(uint64_t iWrittenFrames)
{
  const uint64_t consumed = iWrittenFrames - std::min(iWrittenFrames, QueuedFrames());
  size_t due = 0;
  while (due < fPending.size() && fPending[due].Frame <= consumed)
    ++due;
  for (size_t i = 0; i < due; ++i)
  {
    {
      std::lock_guard lock(fLock);
      fMetadata = fPending[i].Text;
    }
    Notify(syMeta);
  }
  fPending.erase(fPending.begin(), fPending.begin() + long(due));
}

void TURLStream::Notify(uint32_t iType)
{
  std::vector<TSync> due;
  {
    std::lock_guard lock(fLock);
    for (const TSync& sync : fSyncs)
      if (sync.Type == iType)
        due.push_back(sync);
  }
  for (const TSync& sync : due)
    sync.Proc(sync.Handle, Handle());
}
