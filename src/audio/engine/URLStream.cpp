#include "audio/engine/URLStream.h"

#include "audio/engine/URLSource.h"

#include <algorithm>
#include <chrono>
#include <pthread.h>

namespace
{
// How often a waiting reader looks at the queue again: small against the backlog drift control holds.
constexpr auto kWaitStep = std::chrono::milliseconds(20);

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
  uint64_t written = 0;
  std::vector<float> samples;
  std::vector<uint8_t> packet;
  while (!fStopping.load(std::memory_order_acquire))
  {
    ReleaseMetadata(written);
    if (!samples.empty())
    {
      const uint64_t frames = samples.size() / channels;
      // The queue is bounded: wait for the consumer instead of dropping audio.
      if (QueuedFrames() + frames > CapacityFrames() && QueuedFrames() > 0)
      {
        std::this_thread::sleep_for(kWaitStep);
        continue;
      }
      PutData(samples.data(), frames * frameBytes);
      written += frames;
      samples.clear();
      continue;
    }
    if (!fSource->Next(samples, packet))
      break;
    if (fDownload && !packet.empty())
      fDownload(packet.data(), uint32_t(packet.size()));
    std::string text = fSource->TakeChangedMetadata();
    if (!text.empty())
      fPending.push_back({written, std::move(text)});
  }
  // The end is announced once the audio received is used up, so that nothing of it is lost.
  while (!fStopping.load(std::memory_order_acquire) && QueuedFrames() > 0)
  {
    ReleaseMetadata(written);
    std::this_thread::sleep_for(kWaitStep);
  }
  if (fStopping.load(std::memory_order_acquire))
    return;
  ReleaseMetadata(written);
  if (fDownload)
    fDownload(nullptr, 0);
  Notify(syEnd);
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
