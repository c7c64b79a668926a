// Encoder cycling: ending the current recording file and starting the next one, gap-free, with its name, its
// database row and its cue sheet; watching the running encoder.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/EncodeStopSpan.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "slots/RecordingName.h"
#include "slots/SlotInfo.h"
#include "slots/SlotPaths.h"

#include <exception>
#include <filesystem>

namespace
{
constexpr int32_t kFileEncoderPriority = -1000;
// Every program gets 16-bit samples, fed from the encoder's own thread so that the pulling thread never waits.
constexpr uint32_t kFileEncoderFlags = efUnicode | ef16Bit | efQueue;
constexpr int64_t kMixerFrameBytes = 2 * sizeof(float);
// An encoder that dies again right after being restarted (a full disk, a program that refuses its options) is
// restarted at most this often, so that it does not produce a file every timer tick.
constexpr int64_t kRestartPauseMilliseconds = 10000;

// Runs iStep; its exception, if any, is kept in ioFailure unless an earlier one is kept already.
template <class F> void KeepFailure(std::exception_ptr& ioFailure, F&& iStep)
{
  try
  {
    iStep();
  }
  catch (...)
  {
    if (!ioFailure)
      ioFailure = std::current_exception();
  }
}
} // namespace

bool TSlotInfo::ShouldRecord() const
{
  return fEnabled && !fStreamingOnly && fAudioFormat != sfNone && fRecordSource != rsDisabled &&
         !(fRecordSource == rsSoundcard && !fCurrentDeviceInfo);
}

TEncoderCommand TSlotInfo::BuildEncoderCommand(const std::string& iTarget) const
{
  return ::BuildEncoderCommand({fAudioFormat, fMode, fEffectiveSamplerate, fBitrate, fEncoderOptions, fEncoderFilename},
                               iTarget);
}

void TSlotInfo::CycleEncoder()
{
  std::lock_guard lock(fCS);
  // Before anything else, so that an alarm-only slot never starts an encoder whatever its settings say.
  if (fAlarmOnly)
    fAudioFormat = sfNone;
  const uint32_t previous = fEncoder;
  TNextFile next;
  std::exception_ptr failure;
  if (ShouldRecord())
    KeepFailure(failure, [&] { next = StartFileEncoder(previous); });
  // The previous file ends exactly where the next one begins, or now when none begins.
  KeepFailure(failure, [&] { EndFile(previous, next.Encoder != 0); });
  if (next.Encoder)
    KeepFailure(failure, [&] { BeginFile(next); });
  if (failure)
    std::rethrow_exception(failure);
}

TSlotInfo::TNextFile TSlotInfo::StartFileEncoder(uint32_t iReplaces)
{
  const std::string extension = RecordingExtension(fAudioFormat, fFileExtension);
  const TDateTimeParts now = DecodeDateTime(Now());
  const std::string folder = WithTrailingDelimiter(fFolder);
  TNextFile next;
  next.RelativeName = UniqueRecordingName(
      folder, RecordingRelativeName({fCustomFilename, fFilenamePrefix, fFlatFilenames}, extension, now));
  next.FullName = folder + next.RelativeName;
  std::error_code ignored; // a folder that cannot be made lets the encoder start fail, which is reported
  std::filesystem::create_directories(std::filesystem::path(next.FullName).parent_path(), ignored);
  const TEncoderCommand command = BuildEncoderCommand(next.FullName);
  // The 32-bit WAV file keeps the mixer's float samples.
  const uint32_t conversion = fAudioFormat == sfWAV32 ? kFileEncoderFlags & ~uint32_t(ef16Bit) : kFileEncoderFlags;
  {
    const auto setup = TAudioEngine::LockEncoderSetup();
    TAudioEngine::SetConfig(cfEncodePriority, kFileEncoderPriority);
    TAudioEngine::SetConfig(cfEncodeQueue, fEncoderQueueLength);
    next.Encoder = TAudioEngine::EncodeStart(fMixer, command.Command, command.Flags | conversion, nullptr, iReplaces);
  }
  if (next.Encoder == 0)
    LockedAssign(fErrorMessage, BassErrorText(TAudioEngine::ErrorGetCode()));
  return next;
}

void TSlotInfo::EndFile(uint32_t iEncoder, bool iReplaced)
{
  fEncoder = 0;
  if (iEncoder)
  {
    TEncodeSpan span;
    // A replaced encoder got its last sample already; another one gets it when it leaves the chain.
    if (iReplaced)
    {
      TAudioEngine::EncodeGetSpan(iEncoder, span);
      TAudioEngine::EncodeStop(iEncoder);
    }
    else
      EncodeStopSpan(iEncoder, span);
    if (span.DroppedFrames > 0)
      LogMessage(Format("Encoder queue full: %.1f seconds of audio dropped from %s",
                        static_cast<double>(span.DroppedFrames) / fEffectiveSamplerate, fCurrentFilename.c_str()));
    fTitles.FileEnded();
    try
    {
      StoreRecordingDuration(static_cast<double>(span.EndFrame - span.FirstFrame) / fEffectiveSamplerate);
    }
    catch (...)
    {
      // The file has ended: no later file may inherit its row.
      fCurrentRecordingID = 0;
      fCurrentFilename.clear();
      throw;
    }
  }
  fCurrentRecordingID = 0;
  fCurrentFilename.clear();
}

void TSlotInfo::BeginFile(const TNextFile& iNext)
{
  TEncodeSpan span;
  TAudioEngine::EncodeGetSpan(iNext.Encoder, span);
  fEncoder = iNext.Encoder;
  fRecordStartTickCount = static_cast<int64_t>(MillisecondClock());
  fRecordStartPos = static_cast<int64_t>(span.FirstFrame) * kMixerFrameBytes;
  LogMessage(Format("Encoding to file %s", iNext.FullName.c_str()));
  LockedAssign(fErrorMessage, "");
  fCurrentFilename = iNext.FullName;
  fTitles.FileStarted(iNext.FullName, fRecordStartTickCount);
  RegisterRecording(iNext.RelativeName);
}

void TSlotInfo::FinishRecording()
{
  std::lock_guard lock(fCS);
  EndFile(fEncoder, false);
}

void TSlotInfo::CheckEncoder()
{
  std::lock_guard lock(fCS);
  if (fEncoder == 0 || TAudioEngine::EncodeIsActive(fEncoder) == esRunning)
    return;
  const int64_t now = static_cast<int64_t>(MillisecondClock());
  if (fLastEncoderRestart && now - *fLastEncoderRestart < kRestartPauseMilliseconds)
    return;
  fLastEncoderRestart = now;
  LogMessage(Format("Encoder stopped unexpectedly: %s", fCurrentFilename.c_str()));
  CycleEncoder();
}

float TSlotInfo::CurrentRecordingDuration() const
{
  if (fEncoder == 0)
    return 0;
  const int64_t bytes = GetStreamPosition() - fRecordStartPos;
  return bytes > 0 ? static_cast<float>(static_cast<double>(bytes) / kMixerFrameBytes / fEffectiveSamplerate) : 0;
}

int64_t TSlotInfo::RecordStartTickCount()
{
  std::lock_guard lock(fCS);
  return fRecordStartTickCount;
}

std::string TSlotInfo::CurrentFilename()
{
  std::lock_guard lock(fCS);
  return fCurrentFilename;
}
