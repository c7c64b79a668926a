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
  std::lock_guard Lock(fLock);
  fSyncs.push_back({fNextSync, iType, std::move(iProc)});
  return fNextSync++;
}

bool TURLStream::RemoveSync(uint32_t iSync)
{
  std::lock_guard Lock(fLock);
  auto Found = std::find_if(fSyncs.begin(), fSyncs.end(), [iSync](const TSync& s) { return s.Handle == iSync; });
  if (Found == fSyncs.end())
    return false;
  fSyncs.erase(Found);
  return true;
}

std::string TURLStream::Metadata() const
{
  std::lock_guard Lock(fLock);
  return fMetadata;
}

void TURLStream::ReaderLoop()
{
  pthread_setname_np(pthread_self(), "URLReader");
  const uint32_t FrameBytes = Format().FrameBytes();
  const uint32_t Channels = Format().Channels;
  uint64_t Written = 0;
  std::vector<float> Samples;
  std::vector<uint8_t> Packet;
  while (!fStopping.load(std::memory_order_acquire))
  {
    ReleaseMetadata(Written);
    if (!Samples.empty())
    {
      const uint64_t Frames = Samples.size() / Channels;
      // The queue is bounded: wait for the consumer instead of dropping audio.
      if (QueuedFrames() + Frames > CapacityFrames() && QueuedFrames() > 0)
      {
        std::this_thread::sleep_for(kWaitStep);
        continue;
      }
      PutData(Samples.data(), Frames * FrameBytes);
      Written += Frames;
      Samples.clear();
      continue;
    }
    if (!fSource->Next(Samples, Packet))
      break;
    if (fDownload && !Packet.empty())
      fDownload(Packet.data(), uint32_t(Packet.size()));
    std::string Text = fSource->TakeChangedMetadata();
    if (!Text.empty())
      fPending.push_back({Written, std::move(Text)});
  }
  // The end is announced once the audio received is used up, so that nothing of it is lost.
  while (!fStopping.load(std::memory_order_acquire) && QueuedFrames() > 0)
  {
    ReleaseMetadata(Written);
    std::this_thread::sleep_for(kWaitStep);
  }
  if (fStopping.load(std::memory_order_acquire))
    return;
  ReleaseMetadata(Written);
  if (fDownload)
    fDownload(nullptr, 0);
  Notify(syEnd);
}

void TURLStream::ReleaseMetadata(uint64_t iWrittenFrames)
{
  const uint64_t Consumed = iWrittenFrames - std::min(iWrittenFrames, QueuedFrames());
  size_t Due = 0;
  while (Due < fPending.size() && fPending[Due].Frame <= Consumed)
    ++Due;
  for (size_t i = 0; i < Due; ++i)
  {
    {
      std::lock_guard Lock(fLock);
      fMetadata = fPending[i].Text;
    }
    Notify(syMeta);
  }
  fPending.erase(fPending.begin(), fPending.begin() + long(Due));
}

void TURLStream::Notify(uint32_t iType)
{
  std::vector<TSync> Due;
  {
    std::lock_guard Lock(fLock);
    for (const TSync& Sync : fSyncs)
      if (Sync.Type == iType)
        Due.push_back(Sync);
  }
  for (const TSync& Sync : Due)
    Sync.Proc(Sync.Handle, Handle());
}
