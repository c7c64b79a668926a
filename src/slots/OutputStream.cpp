#include "slots/OutputStream.h"

#include "audio/engine/AudioEngine.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "slots/SlotErrors.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <utility>

namespace
{
// Last in the slot mixer's chain: the stream carries everything the recordings carry, and the plug-in that
// processes the stream only.
constexpr int32_t kStreamingEncoderPriority = -2000;
// The program writes to its standard output, which the engine sends on; it gets raw 16-bit samples through a
// queue of its own.
constexpr uint32_t kStreamingEncoderFlags = efUnicode | efQueue | ef16Bit | efNoHeader;
constexpr unsigned kPassMilliseconds = 1000;
constexpr unsigned kRetryMilliseconds = 5000;
// Losses of the outgoing stream are summed up in a log line at most this often.
constexpr uint64_t kOutputReportMilliseconds = 60000;
constexpr uint32_t kServerBuffer = 40000;
constexpr uint32_t kServerBurst = 4000;

// One cast connection at a time over all slots.
std::mutex& StreamingConnectLock()
{
  static std::mutex lock;
  return lock;
}

// Sleeps iMilliseconds unless the thread is told to end meanwhile.
void Sleep(TSimpleThread& iThread, int iMilliseconds)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(iMilliseconds);
  while (!iThread.Terminated())
  {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
    if (left <= 0)
      return;
    iThread.WaitForEvent(static_cast<unsigned>(left));
  }
}

// Modification time in nanoseconds; nothing when the file does not exist.
std::optional<int64_t> ModificationTime(const std::string& iFilename)
{
  struct stat info;
  if (::stat(iFilename.c_str(), &info) != 0)
    return std::nullopt;
  return static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}
} // namespace

TOutputStream::TOutputStream(int iSlotIndex, uint32_t iMixer, TEvents iEvents)
    : fMixer(iMixer), fEvents(std::move(iEvents))
{
  fStreamingThread = std::make_unique<TSimpleThread>(
      true, [this](TSimpleThread& iThread) { StreamingLoop(iThread); }, Format("StreamingThread Slot %d", iSlotIndex));
  fStreamingThread->Start();
}

TOutputStream::~TOutputStream()
{
  {
    // From here on nothing wakes the thread any more: the pointer goes before the thread has ended.
    std::lock_guard lock(fWakeLock);
    fWaking = false;
  }
  // The loop stops the encoder as it ends.
  fStreamingThread.reset();
}

void TOutputStream::Wake()
{
  std::lock_guard lock(fWakeLock);
  if (fWaking)
    fStreamingThread->SignalEvent();
}

TStreamingStatus TOutputStream::Status() const
{
  std::lock_guard lock(fLock);
  return fStreamingStatus;
}

std::string TOutputStream::Message() const
{
  std::lock_guard lock(fLock);
  return fStreamingMessage;
}

int64_t TOutputStream::ActiveSince() const
{
  std::lock_guard lock(fLock);
  return fStreamingActiveSince;
}

void TOutputStream::SetStreamingStatus(TStreamingStatus iStatus, const std::string& iMessage)
{
  std::lock_guard lock(fLock);
  if (iStatus != ssConnected)
    fStreamingActiveSince = -1;
  else if (fStreamingStatus != ssConnected)
    fStreamingActiveSince = static_cast<int64_t>(MillisecondClock());
  fStreamingStatus = iStatus;
  fStreamingMessage = iMessage;
}

void TOutputStream::EncoderNotify(uint32_t)
{
  // On an engine thread: the streaming thread finds out what happened itself.
  Wake();
}

void TOutputStream::StreamingLoop(TSimpleThread& iThread)
{
  while (!iThread.Terminated())
  {
    unsigned wait = kPassMilliseconds;
    const TOutputStreamSettings settings = fEvents.Settings();
    if (!settings.Active)
    {
      if (fStreamingEncoder)
      {
        Disconnect();
        fEvents.Log("Encoder disconnected");
      }
      SetStreamingStatus(ssDisabled, "");
    }
    else
    {
      if (fStreamingEncoder && TAudioEngine::EncodeIsActive(fStreamingEncoder) != esRunning)
      {
        Disconnect();
        fEvents.Log("Encoder lost connection");
      }
      if (!fStreamingEncoder && !Connect(settings, iThread))
        wait = kRetryMilliseconds;
      if (fStreamingEncoder)
        ReportOutputLosses(false);
    }
    SendQueuedTitle();
    iThread.WaitForEvent(wait);
  }
  // Here, while the thread object still exists: the encoder's notification wakes it.
  if (fStreamingEncoder)
    Disconnect();
}

bool TOutputStream::Connect(const TOutputStreamSettings& iSettings, TSimpleThread& iThread)
{
  const TSlotSettings::TOutputStream& stream = iSettings.Stream;
  SetStreamingStatus(ssConnecting, stream.Host);
  const std::string server =
      StreamingServerAddress({stream.ServerMode, stream.Host, stream.Port, stream.MountPoint, stream.StreamID});
  uint32_t encoder = 0;
  try
  {
    // The delay lies before the encoder starts, so that no encoder runs without anyone taking its output.
    if (!stream.ServerMode && stream.ConnectDelay > 0)
      Sleep(iThread, stream.ConnectDelay);
    if (iThread.Terminated())
      return false;
    encoder = StartEncoder(iSettings);
    const TStreamInfo info = StreamingInfo(stream, iSettings.Encoder.Format, iSettings.Encoder.Bitrate);
    if (stream.ServerMode)
    {
      // The engine's text alone ("BASS_Init has not been successfully called") would not say that the port is
      // taken or the address not ours.
      if (TAudioEngine::EncodeServerInit(encoder, server, kServerBuffer, kServerBurst, esfSendTitles, info) == 0)
        throw ESlotError(Format("Cannot serve the stream on %s: %s", server.c_str(),
                                BassErrorText(TAudioEngine::ErrorGetCode()).c_str()));
    }
    else
    {
      std::lock_guard turn(StreamingConnectLock());
      if (!TAudioEngine::EncodeCastInit(encoder, server, stream.Password, info))
        throw ESlotError(BassErrorText(TAudioEngine::ErrorGetCode()));
    }
  }
  catch (const std::exception& e)
  {
    if (encoder)
      TAudioEngine::EncodeStop(encoder);
    SetStreamingStatus(ssError, e.what());
    fEvents.Log(Format("Encoder connection error: %s", e.what()));
    return false;
  }
  {
    std::lock_guard lock(fLock);
    fStreamingEncoder = encoder;
  }
  fEvents.Log(Format("Encoder connected to %s", server.c_str()));
  SetStreamingStatus(ssConnected, server);
  if (stream.ForwardMetadata)
    QueueTitle(fEvents.IncomingTitle());
  else
    SendStreamingTitle();
  return true;
}

uint32_t TOutputStream::StartEncoder(const TOutputStreamSettings& iSettings)
{
  const TEncoderCommand command = BuildEncoderCommand(iSettings.Encoder, "-");
  uint32_t encoder = 0;
  {
    const auto setup = TAudioEngine::LockEncoderSetup();
    TAudioEngine::SetConfig(cfEncodePriority, kStreamingEncoderPriority);
    TAudioEngine::SetConfig(cfEncodeQueue, iSettings.EncoderQueueLength);
    encoder = TAudioEngine::EncodeStart(fMixer, command.Command, command.Flags | kStreamingEncoderFlags,
                                        [this](uint32_t, uint32_t iStatus) { EncoderNotify(iStatus); });
  }
  if (encoder == 0)
    throw ESlotError(BassErrorText(TAudioEngine::ErrorGetCode()));
  return encoder;
}

void TOutputStream::ReportOutputLosses(bool iNow)
{
  const uint64_t now = MillisecondClock();
  if (!iNow && now - fOutputReportedAt < kOutputReportMilliseconds)
    return;
  TEncodeOutputInfo info;
  if (!TAudioEngine::EncodeGetOutputInfo(fStreamingEncoder, info))
    return;
  fOutputReportedAt = now;
  if (info.DroppedBytes > fReportedOutput.DroppedBytes)
    fEvents.Log(Format("Stream fell behind: %llu bytes the server did not take in time were dropped",
                       static_cast<unsigned long long>(info.DroppedBytes - fReportedOutput.DroppedBytes)));
  if (info.DroppedListeners > fReportedOutput.DroppedListeners)
    fEvents.Log(Format("%llu stream listeners dropped for falling behind (%u listening)",
                       static_cast<unsigned long long>(info.DroppedListeners - fReportedOutput.DroppedListeners),
                       info.Listeners));
  fReportedOutput = info;
}

void TOutputStream::Disconnect()
{
  ReportOutputLosses(true);
  uint32_t encoder = 0;
  {
    std::lock_guard lock(fLock);
    // What the encoder lost stays counted after it goes.
    fEndedCounts.DroppedBytes += fReportedOutput.DroppedBytes;
    fEndedCounts.DroppedListeners += fReportedOutput.DroppedListeners;
    encoder = std::exchange(fStreamingEncoder, 0);
  }
  fReportedOutput = {};
  TAudioEngine::EncodeStop(encoder);
}

void TOutputStream::QueueTitle(const std::string& iTitle)
{
  {
    std::lock_guard lock(fLock);
    fQueuedTitle = iTitle;
  }
  Wake();
}

void TOutputStream::SendQueuedTitle()
{
  std::optional<std::string> title;
  {
    std::lock_guard lock(fLock);
    // Kept for the connection when none is up; the connection sends its own first title anyway.
    if (!fStreamingEncoder || fStreamingStatus != ssConnected)
      return;
    title = std::exchange(fQueuedTitle, std::nullopt);
  }
  // The encoder changes only on this thread, so it stays valid during the call.
  if (title)
    TAudioEngine::EncodeCastSetTitle(fStreamingEncoder, *title, "");
}

void TOutputStream::SendStreamingTitle()
{
  std::string title;
  {
    std::lock_guard lock(fTitleLock);
    title = fStreamingCurrentTitle;
  }
  QueueTitle(title);
}

void TOutputStream::ForwardTitle(const std::string& iTitle)
{
  QueueTitle(iTitle);
}

TOutputStreamCounts TOutputStream::Counts() const
{
  TOutputStreamCounts counts;
  uint32_t encoder = 0;
  {
    std::lock_guard lock(fLock);
    counts = fEndedCounts;
    encoder = fStreamingEncoder;
  }
  // Asked outside the lock; a stopped encoder's counts moved to fEndedCounts when its handle was cleared.
  TEncodeOutputInfo info;
  if (encoder != 0 && TAudioEngine::EncodeGetOutputInfo(encoder, info))
  {
    counts.DroppedBytes += info.DroppedBytes;
    counts.DroppedListeners += info.DroppedListeners;
    counts.Listeners = info.Listeners;
  }
  return counts;
}

void TOutputStream::UpdateTitleFromFile(const std::string& iFilename)
{
  if (iFilename.empty())
    return;
  const std::optional<int64_t> age = ModificationTime(iFilename);
  if (!age)
    return;
  std::string title;
  {
    std::lock_guard lock(fTitleLock);
    if (age == fStreamingCurrentTitleFileAge)
      return;
    std::ifstream file(iFilename, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    // A read error gives the empty title, like an empty file.
    title = file.bad() ? std::string() : TitleFileTitle(bytes);
    fStreamingCurrentTitleFileAge = age;
    if (title == fStreamingCurrentTitle)
      return;
    fStreamingCurrentTitle = title;
  }
  if (Status() == ssConnected)
    QueueTitle(title);
}
