// Encoder cycling: ending the current recording file and starting the next one, gap-free, with its name, its
// database row and its cue sheet; watching the running encoder.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/EncodeDetach.h"
#include "lib/Errors.h"
#include "lib/TapevaultTools.h"
#include "slots/RecordingDuration.h"
#include "slots/RecordingJournal.h"
#include "slots/RecordingName.h"
#include "slots/SlotInfo.h"
#include "slots/SlotPaths.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{
constexpr int32_t kFileEncoderPriority = -1000;
// Every program gets 16-bit samples, fed from the encoder's own thread so that the pulling thread never waits.
// A file the engine writes itself goes on in the next file at a change when the settings stayed.
constexpr uint32_t kFileEncoderFlags = efUnicode | ef16Bit | efQueue | efContinue;
constexpr int64_t kMixerFrameBytes = 2 * sizeof(float);
// While a slot should record but no encoder runs (a full disk, a program that refuses its options), a new
// file is tried this often: soon enough to lose little, rarely enough not to make a file every timer tick.
constexpr int64_t kRetryFileMilliseconds = 3000;
// Bytes per frame that the encoder programs receive (16-bit stereo).
constexpr uint64_t kProgramFrameBytes = 4;
constexpr float kResumedSeconds = 2;
// Less than this between what a dead encoder got and what its file holds is its codec's framing, not a loss.
constexpr double kNotedLossSeconds = 0.05;
// The current file's dropouts reach the journal at most this often (milliseconds).
constexpr int64_t kDropoutJournalPause = 1000;

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
  const TRecordSource source = fSettings.Input.Source;
  return fMixer != 0 && fSettings.Enabled && !fSettings.OutputStream.Only && fSettings.Output.Format != sfNone &&
         source != rsDisabled && !(source == rsSoundcard && !fInput.Device());
}

TEncoderCommandSettings TSlotInfo::EncoderSettings(const TSlotSettings::TOutput& iOutput) const
{
  return {iOutput.Format,  iOutput.Mode,           fEffectiveSamplerate,
          iOutput.Bitrate, iOutput.EncoderOptions, iOutput.EncoderFilename};
}

TEncoderCommand TSlotInfo::BuildEncoderCommand(const std::string& iTarget) const
{
  return ::BuildEncoderCommand(EncoderSettings(fSettings.Output), iTarget);
}

void TSlotInfo::CycleEncoder()
{
  const uint32_t previous = fRecorder.Encoder();
  fFileWanted = ShouldRecord();
  TNextFile next;
  std::exception_ptr failure;
  if (fFileWanted)
    KeepFailure(failure, [&] { next = StartFileEncoder(previous); });
  // The previous file ends exactly where the next one begins, or now when none begins.
  KeepFailure(failure, [&] { EndFile(previous, next.Encoder != 0 ? next.File : nullptr); });
  if (next.Encoder)
    KeepFailure(failure, [&] { BeginFile(next); });
  PublishStatus();
  if (failure)
    std::rethrow_exception(failure);
}

TSlotInfo::TNextFile TSlotInfo::StartFileEncoder(uint32_t iReplaces)
{
  // The program prepared for this time slot takes over, unless the settings changed meanwhile or it died.
  if (std::optional<TStandby> standby = std::exchange(fStandby, std::nullopt))
  {
    if (standby->Next.Encoder != 0 && standby->TimeSlot == fLastTimeSlot &&
        standby->Command == StandbyCommand(standby->Next.FullName) &&
        TAudioEngine::EncodeIsActive(standby->Next.Encoder) == esRunning &&
        TAudioEngine::EncodeAttach(standby->Next.Encoder, iReplaces))
      return standby->Next;
    DiscardStandby(standby->Next);
  }
  return MakeFileEncoder(Now(), iReplaces);
}

std::string TSlotInfo::StandbyCommand(const std::string& iTarget) const
{
  // Only what runs a program gains from a start ahead: the engine's own encoders go on in the next file.
  if (BuildCodecEncoderCommand(EncoderSettings(fSettings.Output), iTarget))
    return "";
  const TEncoderCommand command = BuildEncoderCommand(iTarget);
  return (command.Flags & efWAVFile) ? "" : command.Command;
}

void TSlotInfo::PrepareStandby(TDateTime iTimeSlot, TDateTime iAt)
{
  if ((fStandby && fStandby->TimeSlot == iTimeSlot) || !fFileWanted || !ShouldRecord() || fRecorder.Encoder() == 0 ||
      StandbyCommand("-").empty())
    return;
  if (fStandby)
    DiscardStandby(std::exchange(fStandby, std::nullopt)->Next);
  TStandby standby{iTimeSlot, MakeFileEncoder(iAt, std::nullopt), ""};
  if (standby.Next.Encoder == 0)
    // Tried once per time slot; at the boundary the program is started as without a standby.
    LogMessage(Format("The encoder of the next file could not be started ahead: %s",
                      BassErrorText(TAudioEngine::ErrorGetCode()).c_str()));
  else
    standby.Command = StandbyCommand(standby.Next.FullName);
  fStandby = std::move(standby);
}

void TSlotInfo::DiscardStandby(const TNextFile& iStandby)
{
  if (iStandby.Encoder == 0)
    return;
  // The program's file got no audio and has no row. Stopping waits for the program: on the worker, also when
  // the worker is given up.
  const auto discard = [iStandby]
  {
    TAudioEngine::EncodeStop(iStandby.Encoder);
    ::unlink(iStandby.FullName.c_str());
    return true;
  };
  fRecorder.Worker().Post(discard, discard);
}

TSlotInfo::TNextFile TSlotInfo::MakeFileEncoder(TDateTime iAt, std::optional<uint32_t> iReplaces)
{
  const TSlotSettings::TOutput& output = fSettings.Output;
  const std::string extension = RecordingExtension(output.Format, output.FileExtension);
  const TDateTimeParts now = DecodeDateTime(iAt);
  const std::string folder = WithTrailingDelimiter(output.Folder);
  TNextFile next;
  next.File = std::make_shared<TRecordingFile>();
  next.RelativeName = UniqueRecordingName(
      folder,
      RecordingRelativeName({output.CustomFilename, output.FilenamePrefix, output.FlatFilenames}, extension, now));
  next.FullName = folder + next.RelativeName;
  std::error_code ignored; // a folder that cannot be made lets the encoder start fail, which is reported
  std::filesystem::create_directories(std::filesystem::path(next.FullName).parent_path(), ignored);
  // The name is taken at once: a program creates its file only once it runs, and a file named meanwhile (the
  // next one, while this is a standby) must not get the same name.
  if (const int reserved = ::open(next.FullName.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666); reserved >= 0)
    ::close(reserved);
  // The stock formats are encoded in the process unless the slot names its own program or options.
  const std::optional<TEncoderCommand> codec = BuildCodecEncoderCommand(EncoderSettings(output), next.FullName);
  const TEncoderCommand command = codec ? *codec : BuildEncoderCommand(next.FullName);
  next.File->EncoderKind = codec ? fkLibrary : (command.Flags & efWAVFile) ? fkWAV : fkProgram;
  // The 32-bit WAV file keeps the mixer's float samples.
  const uint32_t conversion = output.Format == sfWAV32 ? kFileEncoderFlags & ~uint32_t(ef16Bit) : kFileEncoderFlags;
  {
    const auto setup = TAudioEngine::LockEncoderSetup();
    TAudioEngine::SetConfig(cfEncodePriority, kFileEncoderPriority);
    TAudioEngine::SetConfig(cfEncodeQueue, output.EncoderQueueLength);
    // The file's end is measured from the file itself when its encoder dies.
    TEncodeNotify notify = [file = next.File](uint32_t, uint32_t iStatus)
    {
      if (iStatus == enEncoderEnded)
        file->Died = true;
    };
    next.Encoder = iReplaces ? TAudioEngine::EncodeStart(fMixer, command.Command, command.Flags | conversion,
                                                         std::move(notify), *iReplaces, command.Codec)
                             : TAudioEngine::EncodePrepare(fMixer, command.Command, command.Flags | conversion,
                                                           std::move(notify), command.Codec);
  }
  if (next.Encoder == 0)
  {
    // A standby's failure is no reason the slot does not record.
    if (iReplaces)
      LockedAssign(fErrorMessage, BassErrorText(TAudioEngine::ErrorGetCode()));
    // A file the refused encoder created but never wrote has no row: it goes.
    struct stat info;
    if (::stat(next.FullName.c_str(), &info) == 0 && info.st_size == 0)
      ::unlink(next.FullName.c_str());
  }
  return next;
}

void TSlotInfo::EndFile(uint32_t iEncoder, const std::shared_ptr<TRecordingFile>& iNext)
{
  const bool replaced = iNext != nullptr;
  const std::shared_ptr<TRecordingFile> file = fRecorder.End();
  fTitles.FileEnded();
  if (!iEncoder)
    return;
  TEncodeSpan span;
  // A replaced encoder got its last sample already; another one gets it when it leaves the chain.
  if (replaced)
    TAudioEngine::EncodeGetSpan(iEncoder, span);
  else
    EncodeDetach(iEncoder, span);
  const uint64_t frames = span.EndFrame - span.FirstFrame;
  fCounters.FinishedBytes += frames * kProgramFrameBytes;
  if (file && span.DroppedFrames > 0)
  {
    const double dropped = static_cast<double>(span.DroppedFrames) / fEffectiveSamplerate;
    fCounters.EncoderDroppedSeconds.fetch_add(dropped, std::memory_order_relaxed);
    LogMessage(Format("Encoder queue full: %.1f seconds of audio dropped from %s", dropped, file->FullName.c_str()));
  }
  // Stopping waits for the program to finish the file: on the worker, never under the slot lock. When the worker
  // is given up before it came to it, the end stops it (the file gets its end), unless it was under way already.
  const auto stopping = std::make_shared<std::atomic<bool>>(false);
  fRecorder.Worker().Post(
      [this, file, iEncoder, stopping]
      {
        stopping->store(true);
        TAudioEngine::EncodeStop(iEncoder);
        fRecorder.Finished(file);
        return true;
      },
      [iEncoder, stopping]
      {
        if (!stopping->exchange(true))
          TAudioEngine::EncodeStop(iEncoder);
        return false;
      });
  if (file)
  {
    const double seconds = static_cast<double>(frames) / fEffectiveSamplerate;
    fRecorder.Worker().Post([this, file, seconds, iNext] { return StoreFileEnd(file, seconds, iNext.get()); },
                            [this, file, seconds, iNext] { return KeepFileEnd(*file, seconds, iNext.get()); });
  }
}

void TSlotInfo::BeginFile(const TNextFile& iNext)
{
  TEncodeSpan span;
  TAudioEngine::EncodeGetSpan(iNext.Encoder, span);
  const int64_t startTickCount = static_cast<int64_t>(MillisecondClock());
  const std::shared_ptr<TRecordingFile> file = iNext.File;
  file->RelativeName = iNext.RelativeName;
  file->FullName = iNext.FullName;
  file->StartTime = Now();
  fRecorder.Begin(file, iNext.Encoder, startTickCount, static_cast<int64_t>(span.FirstFrame) * kMixerFrameBytes);
  LogMessage(Format("Encoding to file %s", iNext.FullName.c_str()));
  LockedAssign(fErrorMessage, "");
  fTitles.FileStarted(iNext.FullName, startTickCount);
  fRecorder.Worker().Post([this, file] { return InsertFileRow(file); }, [this, file] { return KeepFileRow(*file); });
}

bool TSlotInfo::InsertFileRow(const std::shared_ptr<TRecordingFile>& iFile)
{
  if (iFile->ID != 0 || iFile->Abandoned)
    return true;
  try
  {
    iFile->ID = InsertRecordingRow(iFile->RelativeName, iFile->StartTime);
  }
  catch (const std::exception& e)
  {
    // Tried again until it is stored; logged once, and kept in the journal meanwhile.
    if (!std::exchange(iFile->InsertReported, true))
    {
      LogMessage(Format("Error updating database: %s", e.what()));
      KeepFileRow(*iFile);
    }
    return false;
  }
  fRecorder.RowStored(iFile);
  return true;
}

bool TSlotInfo::KeepFileRow(TRecordingFile& iFile)
{
  if (iFile.Abandoned)
    return false;
  if (!iFile.InsertKept)
    iFile.InsertKept = JournalChange(iFile, {jcInsert, StoredRecordingName(iFile.RelativeName), iFile.StartTime});
  return iFile.InsertKept;
}

bool TSlotInfo::KeepFileEnd(TRecordingFile& iFile, double iSeconds, TRecordingFile* iNext)
{
  const double seconds = SettleFileEnd(iFile, iSeconds, iNext);
  if (iFile.Abandoned || HoldsNoAudio(iFile, seconds))
    return false;
  if (!iFile.EndKept)
    iFile.EndKept = JournalChange(
        iFile, {jcEnd, StoredRecordingName(iFile.RelativeName), 0, seconds, iFile.DropoutSeconds, iFile.DropoutCount});
  return iFile.EndKept;
}

bool TSlotInfo::JournalChange(TRecordingFile& iFile, const TJournalEntry& iEntry)
{
  try
  {
    AppendJournalEntry(JournalPath(iFile.Folder()), iEntry);
    iFile.InJournal = true;
    return true;
  }
  catch (const std::exception& e)
  {
    LogMessage(e.what());
    return false;
  }
}

void TSlotInfo::JournalDropouts()
{
  const std::shared_ptr<TRecordingFile> file = fRecorder.CurrentFile();
  const int64_t now = static_cast<int64_t>(MillisecondClock());
  if (!file || file->DropoutCount == file->JournalledDropouts || now - fLastDropoutJournal < kDropoutJournalPause)
    return;
  fLastDropoutJournal = now;
  file->JournalledDropouts = file->DropoutCount;
  const TJournalEntry entry{jcDropouts,        StoredRecordingName(file->RelativeName), 0, 0, file->DropoutSeconds,
                            file->DropoutCount};
  // Best effort: a line that cannot be written is logged, and the file's end stores the figures anyway.
  fRecorder.Worker().Post(
      [this, file, entry]
      {
        JournalChange(*file, entry);
        return true;
      });
}

bool TSlotInfo::StoreFileEnd(const std::shared_ptr<TRecordingFile>& iFile, double iSeconds, TRecordingFile* iNext)
{
  const double seconds = SettleFileEnd(*iFile, iSeconds, iNext);
  try
  {
    if (HoldsNoAudio(*iFile, seconds))
    {
      // Nothing reached the file (a full disk, an encoder killed at its start): neither the file nor its row stay
      // behind.
      iFile->Abandoned = true;
      ::unlink(iFile->FullName.c_str());
      if (iFile->ID != 0)
        DeleteRecordingRow(iFile->ID);
    }
    else if (iFile->ID == 0)
      return false; // its row is not stored yet; the insert is being retried
    else
      StoreRecordingEnd(iFile->ID, seconds, iFile->DropoutSeconds, iFile->DropoutCount, iFile->DropoutMarks());
  }
  catch (const std::exception& e)
  {
    // Tried again until it is stored; logged once, and kept in the journal meanwhile.
    if (!std::exchange(iFile->EndReported, true))
    {
      LogMessage(Format("Error updating database: %s", e.what()));
      KeepFileEnd(*iFile, iSeconds, iNext);
    }
    return false;
  }
  // Stored: the journal's lines of the file are done with.
  if (iFile->InJournal)
  {
    try
    {
      ForgetJournalEntries(JournalPath(iFile->Folder()), {StoredRecordingName(iFile->RelativeName)});
      iFile->InJournal = false;
    }
    catch (const std::exception& e)
    {
      LogMessage(e.what());
    }
  }
  return true;
}

double TSlotInfo::SettleFileEnd(TRecordingFile& iFile, double iSeconds, TRecordingFile* iNext)
{
  if (iFile.Seconds)
    return *iFile.Seconds;
  double kept = iSeconds;
  // An encoder that died lost what was still on its way to the file: what counts is what reached it, and the
  // rest is a dropout, of this file or, when none of it is readable, of the file the recording went on in.
  if (iFile.Died)
  {
    const std::optional<TMeasuredDuration> measured = MeasureRecordingDuration(iFile.FullName);
    kept = measured ? std::min(iSeconds, measured->Seconds) : 0;
    // A file left empty was reported with its outage already (a full disk retries every few seconds).
    if (const double lost = iSeconds - kept; lost >= kNotedLossSeconds && kept > 0)
    {
      LogMessage(Format("%.2f s of audio dropped: the encoder of %s ended", lost, iFile.FullName.c_str()));
      iFile.AddDropout(kept, lost);
    }
    else if (lost >= kNotedLossSeconds && iNext)
      iNext->AddDropout(0, lost);
  }
  iFile.Seconds = kept;
  return kept;
}

bool TSlotInfo::HoldsNoAudio(const TRecordingFile& iFile, double iSeconds)
{
  struct stat info;
  return (iFile.Died && iSeconds <= 0) || ::stat(iFile.FullName.c_str(), &info) != 0 || info.st_size == 0;
}

void TSlotInfo::FinishRecording()
{
  if (fStandby)
    DiscardStandby(std::exchange(fStandby, std::nullopt)->Next);
  EndFile(fRecorder.Encoder(), nullptr);
  PublishStatus();
}

std::string TSlotInfo::NotRecordingReason() const
{
  // A full volume is the usual reason, and the programs do not tell it.
  const std::string& folder = fSettings.Output.Folder;
  if (AvailableBytes(folder) == 0)
    return Format("%s: %s", std::strerror(ENOSPC), folder.c_str());
  return fRecorder.Encoder() == 0 ? LockedCopy(fErrorMessage) : "";
}

void TSlotInfo::CheckEncoder()
{
  const uint32_t encoder = fRecorder.Encoder();
  if (encoder != 0 && TAudioEngine::EncodeIsActive(encoder) == esRunning)
  {
    // Resumed once the new file holds a little audio: a program on a full disk runs a moment before it fails.
    if (fNotRecordingReported && CurrentRecordingDuration() >= kResumedSeconds)
    {
      fNotRecordingReported = false;
      LogMessage(Format("Recording resumed: %s", CurrentFilename().c_str()));
    }
    return;
  }
  if (encoder == 0 && !(fFileWanted && ShouldRecord()))
    return;
  const int64_t now = static_cast<int64_t>(MillisecondClock());
  if (fLastFileAttempt && now - *fLastFileAttempt < kRetryFileMilliseconds)
    return;
  // One line per outage, not one per attempt.
  if (!fNotRecordingReported)
  {
    if (encoder != 0)
      LogMessage(Format("Encoder stopped unexpectedly: %s", CurrentFilename().c_str()));
    if (const std::string reason = NotRecordingReason(); !reason.empty())
    {
      LogMessage(reason);
      fNotRecordingReported = true;
    }
  }
  fLastFileAttempt = now;
  ++fCounters.EncoderRestarts;
  CycleEncoder();
}

float TSlotInfo::CurrentRecordingDuration() const
{
  if (fRecorder.Encoder() == 0)
    return 0;
  const int64_t bytes = GetStreamPosition() - fRecorder.StartPosition();
  return bytes > 0 ? static_cast<float>(static_cast<double>(bytes) / kMixerFrameBytes / fEffectiveSamplerate) : 0;
}
