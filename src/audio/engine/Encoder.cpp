#include "audio/engine/Encoder.h"

#include "audio/engine/EncoderCodecFile.h"
#include "audio/engine/EncoderProgram.h"
#include "audio/engine/EncoderQueue.h"
#include "audio/engine/EncoderSamples.h"
#include "audio/engine/EncoderWav.h"
#include "audio/engine/EncoderWavHeader.h"
#include "lib/TapevaultTools.h"

#include <algorithm>
#include <new>

namespace
{

// Frames converted at once on the way to the target.
constexpr size_t kChunkFrames = 4096;

bool Is16Bit(const TEncoderSettings& iSettings)
{
  return (iSettings.Flags & ef16Bit) != 0;
}

// The file target of efWAVFile or efCodecFile at iPath.
std::unique_ptr<IEncoderTarget> MakeFileTarget(const std::string& iPath, const TEncoderSettings& iSettings)
{
  if (iSettings.Flags & efWAVFile)
    return std::make_unique<TEncoderWavFile>(
        iPath, TWavFormat{iSettings.SampleRate, static_cast<uint16_t>(iSettings.Channels), !Is16Bit(iSettings)});
  if (iPath.empty())
    throw TEncoderError(ecFileOpen, "No file name given");
  if (!Is16Bit(iSettings) || iSettings.Channels > 2)
    throw TEncoderError(ecFormat, "The codecs take 16-bit mono or stereo samples");
  return MakeCodecFile(iPath, iSettings.SampleRate, iSettings.Channels, iSettings.Codec);
}

} // namespace

TEncoder::TEncoder(const TEncoderSettings& iSettings)
    : fSettings(iSettings), fBytesPerSample(EncoderBytesPerSample(Is16Bit(iSettings)))
{
}

TEncoder::~TEncoder()
{
  Stop();
}

std::unique_ptr<TEncoder> TEncoder::Start(const std::string& iCommandLine, const TEncoderSettings& iSettings)
{
  if (iSettings.SampleRate == 0 || iSettings.Channels == 0 || iSettings.Channels > UINT16_MAX)
    throw TEncoderError(ecIllegalParam, "Invalid encoder sample rate or channel count");
  const TWavFormat format{iSettings.SampleRate, static_cast<uint16_t>(iSettings.Channels), !Is16Bit(iSettings)};
  std::unique_ptr<TEncoder> encoder(new TEncoder(iSettings));
  TEncoder* self = encoder.get();
  try
  {
    // A queue converts as it takes the frames; a direct write converts them here.
    if (!(iSettings.Flags & efQueue))
      encoder->fConverted =
          std::make_unique_for_overwrite<uint8_t[]>(kChunkFrames * iSettings.Channels * encoder->fBytesPerSample);
    if (iSettings.Flags & (efWAVFile | efCodecFile))
      encoder->fTarget = MakeFileTarget(iCommandLine, iSettings);
    else
    {
      const std::vector<std::string> arguments = SplitCommandLine(iCommandLine);
      if (arguments.empty() || arguments[0].empty())
        throw TEncoderError(ecFileOpen, "No encoder program given");
      encoder->fTarget = std::make_unique<TEncoderProgram>(arguments, [self] { self->Died(); });
      if (!(iSettings.Flags & efNoHeader))
      {
        uint8_t header[kMaxWavHeaderSize];
        const size_t size = BuildWavHeader(format, kWavUnknownDataSize, header);
        if (!encoder->fTarget->Write(header, size))
          encoder->Died();
      }
    }
    if (iSettings.Flags & efQueue)
    {
      const uint32_t milliseconds =
          iSettings.QueueMilliseconds != 0 ? iSettings.QueueMilliseconds : kDefaultEncoderQueueMilliseconds;
      encoder->fQueue = std::make_unique<TEncoderQueue>(
          uint64_t{milliseconds} * iSettings.SampleRate / 1000, iSettings.Channels, Is16Bit(iSettings),
          [self](const uint8_t* iFrames, size_t iFrameCount)
          { return self->fTarget->Write(iFrames, iFrameCount * self->fSettings.Channels * self->fBytesPerSample); },
          [self] { self->Died(); });
    }
  }
  catch (const std::bad_alloc&)
  {
    throw TEncoderError(ecMemory, "Not enough memory for the encoder");
  }
  return encoder;
}

void TEncoder::Write(const float* iFrames, uint32_t iFrameCount)
{
  if (iFrameCount == 0 || !fActive.load(std::memory_order_acquire))
    return;
  if (fQueue)
  {
    fQueue->Push(iFrames, iFrameCount);
    return;
  }
  std::lock_guard lock(fDirectLock);
  if (fActive.load(std::memory_order_acquire) && !WriteToTarget(iFrames, iFrameCount))
    Died();
}

bool TEncoder::IsActive() const
{
  return fActive.load(std::memory_order_acquire);
}

void TEncoder::Stop()
{
  std::lock_guard stopLock(fStopLock);
  if (fStopped)
    return;
  fStopped = true;
  fActive.store(false, std::memory_order_release);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(fSettings.StopTimeoutMilliseconds);
  // First everything accepted so far reaches the target, unless the target takes nothing before the deadline.
  if (fQueue)
    fQueue->Finish(deadline,
                   [this]
                   {
                     std::lock_guard lock(fTargetLock);
                     fTarget->Cancel();
                   });
  else
  {
    std::unique_lock direct(fDirectLock, std::defer_lock);
    if (!direct.try_lock_until(deadline))
    {
      fTarget->Cancel();
      direct.lock();
    }
  }
  if (fTarget)
    fTarget->Finish(deadline);
}

bool TEncoder::CanContinue() const
{
  return fQueue && (fSettings.Flags & (efWAVFile | efCodecFile)) != 0 && IsActive();
}

std::unique_ptr<IEncoderTarget> TEncoder::MakeNextFile(const std::string& iPath) const
{
  try
  {
    return MakeFileTarget(iPath, fSettings);
  }
  catch (const std::bad_alloc&)
  {
    throw TEncoderError(ecMemory, "Not enough memory for the encoder");
  }
}

TQueueMarks TEncoder::ContinuationMark(std::unique_ptr<IEncoderTarget> iNext, std::function<void(bool)> iFinished)
{
  // A function must be copyable: the next file travels in a shared box, and the finished one leaves in it.
  auto next = std::make_shared<std::unique_ptr<IEncoderTarget>>(std::move(iNext));
  TQueueMarks marks;
  marks.push_back({0, [this, next, finished = std::move(iFinished)](bool iReached)
                   {
                     if (iReached)
                     {
                       {
                         std::lock_guard lock(fTargetLock);
                         fTarget.swap(*next);
                       }
                       (*next)->Finish(std::chrono::steady_clock::now() +
                                       std::chrono::milliseconds(fSettings.StopTimeoutMilliseconds));
                     }
                     finished(iReached);
                   }});
  return marks;
}

bool TEncoder::Continue(TQueueMarks& ioMark)
{
  return fQueue->Mark(ioMark);
}

uint64_t TEncoder::DroppedFrames() const
{
  return fQueue ? fQueue->DroppedFrames() : 0;
}

int64_t TEncoder::ReadOutput(void* oBuffer, size_t iSize, int iTimeoutMilliseconds)
{
  return fTarget ? fTarget->ReadOutput(oBuffer, iSize, iTimeoutMilliseconds) : -1;
}

bool TEncoder::WriteToTarget(const float* iFrames, size_t iFrameCount)
{
  const bool is16Bit = Is16Bit(fSettings);
  while (iFrameCount > 0)
  {
    const size_t frames = std::min(iFrameCount, kChunkFrames);
    const size_t samples = frames * fSettings.Channels;
    const size_t bytes = ConvertEncoderSamples(iFrames, samples, is16Bit, fConverted.get());
    if (!fTarget->Write(fConverted.get(), bytes))
      return false;
    iFrames += samples;
    iFrameCount -= frames;
  }
  return true;
}

void TEncoder::Abandon(int iStatus)
{
  Died(iStatus);
}

void TEncoder::Died(int iStatus)
{
  if (fActive.exchange(false, std::memory_order_acq_rel) && fSettings.OnNotify)
    fSettings.OnNotify(iStatus);
}
