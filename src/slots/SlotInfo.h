#pragma once
// A slot: the unit of recording. One input (a capture device or an internet stream), one audio graph, one folder
// of rotating recordings with its own recordings database, one silence detector, an optional outgoing stream and
// an optional sound-processing plug-in. The class is shared by the slot engine's concerns; each concern keeps its
// code in a file of its own (SlotSettings.cpp, SlotDatabase.cpp, SlotCleanup.cpp, ...) and its members in its
// section below.

#include "lib/DateTime.h"
#include "lib/IniFile.h"
#include "lib/SimpleSQLInterface.h"
#include "lib/SimpleThread.h"
#include "slots/EncoderCommand.h"
#include "slots/InputStreamTitles.h"
#include "slots/OutputStream.h"
#include "slots/RecordingJournal.h"
#include "slots/RecordingReaders.h"
#include "slots/SlotCleanup.h"
#include "slots/SlotCounters.h"
#include "slots/SlotDatabase.h"
#include "slots/SlotInput.h"
#include "slots/SlotPlugin.h"
#include "slots/SlotRecorder.h"
#include "slots/SlotSettings.h"
#include "slots/SlotStatus.h"
#include "slots/SlotTypes.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TDeviceInfoWithClients;

class TSlotInfo
{
public:
  // Reads the slot's settings from section "Slot<iIndex>" of iIniFile, which the slot keeps but does not own.
  // Builds no audio.
  TSlotInfo(TIniFile& iIniFile, int iIndex, bool iAlarmOnly);
  ~TSlotInfo();
  TSlotInfo(const TSlotInfo&) = delete;
  TSlotInfo& operator=(const TSlotInfo&) = delete;

  // ---- Identity, settings, logging and persistence (SlotSettings.cpp) ----
  int Index() const { return fIndex; }
  bool AlarmOnly() const { return fAlarmOnly; }
  // A copy of the settings, taken under the settings lock. Any thread.
  TSlotSettings Settings() const;
  // One member or group of the settings (&TSlotSettings::TimeSlots), copied under the settings lock. Any thread.
  template <typename TMember> TMember Settings(TMember TSlotSettings::*iMember) const
  {
    std::lock_guard lock(fSettingsCS);
    return fSettings.*iMember;
  }
  // Writes iSettings into the slot, all but "Enabled" (SetEnabled switches the slot): an alarm-only slot keeps
  // the format "none", the channel selection and the silence threshold take effect at once. Starting the input, a file
  // or the plug-in anew is the caller's (ApplySlotSettings). Controller's thread.
  void WriteSettings(const TSlotSettings& iSettings);
  // Switches the slot on or off: attaches or detaches its input and starts or ends its file. Controller's thread.
  void SetEnabled(bool iValue);
  void SetOnLogMessage(TLogMessageEvent iHandler) { fOnLogMessage = std::move(iHandler); }
  // The slot's own error, else why its input delivers nothing at the moment (device lost, server gone).
  std::string ErrorMessage() const;
  void SetErrorMessage(std::string iValue) { LockedAssign(fErrorMessage, std::move(iValue)); }
  // Hands "<name>: <message>" to OnLogMessage, when one is set.
  void LogMessage(const std::string& iMessage);
  // Writes every setting the program owns to the slot's section and persists the file. Keys that are only read
  // (hand-tuning keys) are never written. Errors of the file reach the caller.
  void FlushConfig();

  // ---- Files and rotation ----
  TDateTime LastTimeSlot() const { return fLastTimeSlot; }
  void SetLastTimeSlot(TDateTime iValue) { fLastTimeSlot = iValue; }

  // ---- Recordings database (SlotDatabase.cpp) ----
  // Where the database lies now: DatabaseFile, else "Tapevault_<n>.db" in the common database folder, else
  // "Tapevault.db" in the slot's folder.
  std::string DatabasePath();
  // A new connection to the slot's database, its folder, table and start time index created when missing.
  // Errors reach the caller.
  ISQLConnectionRef GetDatabaseConnection();
  // A connection for reading the recordings from the slot's pool of open ones (RecordingReaders.h).
  ISQLConnectionRef ReadConnection();
  // The database id of the file being written; 0 = none (or its row is not stored yet).
  int CurrentRecordingID() const { return fRecorder.CurrentRecordingID(); }
  // Adds the row of a file started at iStartTime (iRelativeName relative to the folder); returns its id.
  // Every error reaches the caller.
  int InsertRecordingRow(const std::string& iRelativeName, TDateTime iStartTime);
  // Adds the row of a file started now and makes it the current recording. Errors reach the caller.
  void RegisterRecording(const std::string& iRelativeName);
  // Stores the length of a finished file and the input dropouts it holds. Errors reach the caller.
  void StoreRecordingEnd(int iID, double iSeconds, double iDropoutSeconds, int iDropoutCount,
                         const std::string& iDropoutMarks);
  void DeleteRecordingRow(int iID);
  // Stores what the journal kept, adopts the recordings of the slot's naming pattern that have no row (each
  // logged "Adopted <path>", with the start time their name tells, else their file's), and gives the rows the
  // last run left without a length (it crashed or was killed) the length of their files, each logged
  // "Repaired ..."; a WAV file also gets a header that matches its data. Rows whose file is missing stay for
  // the cleanup rules. On the slot's worker, before the rows of this run; tried again until the database
  // answers.
  void RepairRecordings();

  // ---- Cleanup (SlotCleanup.cpp) ----
  // The free space the rule by space deletes recordings for, in bytes; 0 while that rule is off.
  int64_t CleanupGoalBytes() const;
  // Deletes every recording older than CleanupDays; true when at least one was found.
  bool CleanUpByAge();
  // While the free space is below CleanupSpace GiB, deletes the oldest deletable recording; true when one was
  // deleted or its row removed. One recording per call.
  bool CleanupBySpace();
  // Deletes the file iPath and, when that worked or the file was missing, the row iID. True when the row went.
  bool DeleteRecording(ISQLConnection& iConnection, int iID, const std::string& iPath);
  // Hands a cleanup pass (by age, then by space) to the slot's worker unless one is waiting already; a pass
  // that found work runs again after a pause. Errors are logged "Cleanup error in <name>: <text>".
  void RequestCleanup();
  // Replaces the measurement of the free space (tests present a nearly full disk).
  void SetFreeSpaceFunction(TFreeSpaceFunction iFunction) { fFreeSpace = std::move(iFunction); }

  // ---- Silence and alarms ----
  // The seconds of silence that raise the alarm while it is watched (the slot runs, or its silence is watched
  // also while stopped); 0 while no alarm is watched. Any thread.
  int WatchedSilenceDetection() const;
  bool SilenceDetected() const { return fSilenceDetected; }
  void SetSilenceDetected(bool iValue) { fSilenceDetected = iValue; }

  // ---- Levels ----
  float CurrentLevelLeft() const { return fCurrentLevelLeft; }
  void SetCurrentLevelLeft(float iValue) { fCurrentLevelLeft = iValue; }
  float CurrentLevelRight() const { return fCurrentLevelRight; }
  void SetCurrentLevelRight(float iValue) { fCurrentLevelRight = iValue; }

  // ---- Sound-processing plug-in ----
  // Releases the current plug-in and loads, starts and inserts the one the settings name (SlotPlugin.h).
  // Controller's thread.
  void ReloadWinampPlugin();
  // The running plug-in, for the slot dialog's controls.
  TSlotPlugin& SoundPlugin() { return *fPlugin; }

private:
  std::string LockedCopy(const std::string& iText) const
  {
    std::lock_guard lock(fTextCS);
    return iText;
  }
  void LockedAssign(std::string& oText, std::string iValue)
  {
    std::lock_guard lock(fTextCS);
    oText = std::move(iValue);
  }
  // Stores the silence threshold's linear sample magnitude for the pull thread.
  void UpdateSilenceThreshold();

  // ---- Start-up recovery (SlotRepair.cpp) ----
  // Names (relative to the folder) of the files of the naming pattern last written before iBefore (seconds
  // since 1970).
  std::vector<std::string> UnindexedCandidates(double iBefore) const;
  void AdoptRecordings(ISQLConnection& iConnection, const std::vector<std::string>& iNames);
  void RepairUnfinishedRows(ISQLConnection& iConnection);

  // ---- Cleanup helpers (SlotCleanup.cpp) ----
  // Stored names of the files still being written or finished: never deleted.
  std::vector<std::string> OpenStoredNames() const;
  // Deletes the recording of one row; a stored name that would leave the folder only loses its row.
  bool DeleteStoredRecording(ISQLConnection& iConnection, int iID, const std::string& iStoredName);
  void DeleteRow(ISQLConnection& iConnection, int iID);

  // Identity, locking and logging
  // Each held only to swap or copy, never across a slow call; the input and recorder sides have their own.
  // The settings lock: the controller's thread changes fSettings under it and reads without it; every other
  // thread copies under it.
  mutable std::mutex fSettingsCS;
  mutable std::mutex fTextCS; // the error text
  TIniFile& fIniFile;
  int fIndex;
  bool fAlarmOnly;
  std::atomic<bool> fDeleting{false};
  TSlotSettings fSettings;
  TLogMessageEvent fOnLogMessage;
  std::string fErrorMessage;

  // Input
  int fEffectiveSamplerate = 44100; // the rate the graph is built with; fixed for the life of the slot

  // Files and rotation
  TDateTime fLastTimeSlot = 0;

  // Database: the common folder, read from "General" only
  std::string fDatabaseFolder;
  // Shared with the connections handed out, which give themselves back even when a request outlives the slot.
  std::shared_ptr<TRecordingReaders> fReaders = std::make_shared<TRecordingReaders>(&OpenSlotDatabase);

  // Cleanup
  TFreeSpaceFunction fFreeSpace = AvailableBytes;
  std::atomic<bool> fCleanupQueued{false};
  std::optional<int64_t> fLastTooSmallReport; // tick count: the space rule could not reach its goal
  bool fAgeRuleOffReported = false;

  // Silence and alarms
  // Read by the thread that pulls the mixer, which never waits for a lock.
  std::atomic<float> fSilenceThresholdLinear{0};
  std::atomic<int64_t> fLastOverSilenceTickCount{0};
  bool fSilenceDetected = false;

  // Levels
  std::atomic<float> fLevelLeft{0};
  std::atomic<float> fLevelRight{0};
  float fCurrentLevelLeft = 0;
  float fCurrentLevelRight = 0;

  // Sound-processing plug-in
  std::unique_ptr<TSlotPlugin> fPlugin;

  // Audio graph and recording state
  uint32_t fMixer = 0;
  uint32_t fDownmixFX = 0;
  uint32_t fPullMixer = 0;
  std::unique_ptr<TSimpleThread> fPullThread;
  std::atomic<int64_t> fStreamPosition{0}; // bytes that passed the slot mixer since the graph was built

  // The input side, and the incoming titles with the cue sheet
  TSlotInput fInput;
  TInputStreamTitles fTitles{0};

  // Streaming output
  // The thread, encoder, status and outgoing title; from Initialize until the slot is torn down.
  std::unique_ptr<TOutputStream> fOutputStream;

public:
  // ---- Audio graph (SlotGraph.cpp) ----
  // Builds the slot mixer with its channel map, measuring callbacks and delay, and starts what pulls it: the
  // output device the clock source names, else (or when that device fails) the slot's pull thread.
  void Initialize();
  // Attaches the input the settings name, replacing the current one; a failure leaves the slot without input,
  // with ErrorMessage set and a log line. Attaching to the device already in use changes nothing.
  void StartRecording();
  void StopRecording();
  // Ends the current file, detaches the input and stops pulling the mixer, without waiting for the worker to
  // finish the file, so that many slots finish their files at the same time when the program ends. Destroy
  // does it too.
  void EndRecording();
  // Ends the current file (its duration stored by the worker until iDeadline; what is left then goes to the
  // journal), detaches the input, ends the slot's threads, frees its graph, then writes the settings. Errors
  // of the configuration file reach the caller.
  static constexpr std::chrono::seconds kFinishTime{3};
  void Destroy(std::chrono::steady_clock::time_point iDeadline = std::chrono::steady_clock::now() + kFinishTime);
  // The worker still ran a job when the slot was destroyed: what that job uses was kept, and the slot must not
  // be freed (the program ends without it).
  bool LeftBehind() const { return fLeftBehind; }
  TDeviceInfoWithClients* CurrentDeviceInfo() const { return fInput.Device(); }
  std::string CurrentStreamTitle() const { return fTitles.Title(); }
  uint32_t Channel() const { return fInput.Channel(); }
  // The slot mixer's handle; 0 before Initialize or when the engine refused the rate.
  uint32_t Mixer() const { return fMixer; }
  // Peak magnitude of the last mixer buffer per output channel (1.0 = full scale). Any thread.
  float LevelLeft() const { return fLevelLeft.load(std::memory_order_relaxed); }
  float LevelRight() const { return fLevelRight.load(std::memory_order_relaxed); }

  // ---- Run-time status (SlotStatus.cpp) ----
  // The status last published: by the status thread ten times a second once the slot is initialized, and by
  // every change of the slot's input and recording when it is done. Any thread; waits for no slot concern.
  std::shared_ptr<const TSlotStatus> Status() const;

  // ---- Stream input and titles (SlotInputStream.cpp) ----
  // Takes the title of a metadata text of the incoming stream ("StreamTitle='...';"): the current title, its
  // time, a track in the cue sheet of the file being written and, with "StreamingForwardMetadata" on, the title
  // of the outgoing stream. Any thread; takes no slot lock.
  void UpdateIncomingStreamTitle(const std::string& iMetadata);
  // The stream input's status text ("Connecting...", "Reconnecting...", the error of the last attempt) while no
  // stream is connected; empty while one is, or when the slot has no stream input. Any thread.
  std::string StreamStatus() const { return fInput.StreamStatus(); }
  // The connected stream's engine handle, 0 while none. Any thread.
  uint32_t StreamChannel() const { return fInput.StreamChannel(); }

  // ---- Streaming output (SlotOutputStream.cpp) ----
  TStreamingStatus StreamingStatus() const { return fOutputStream ? fOutputStream->Status() : ssDisabled; }
  // The host while connecting, the server address while connected, the error text after a failure.
  std::string StreamingMessage() const { return fOutputStream ? fOutputStream->Message() : std::string(); }
  // MillisecondClock value of the moment the stream connected; -1 while it is not connected.
  int64_t StreamingActiveSince() const { return fOutputStream ? fOutputStream->ActiveSince() : -1; }
  // For the controller's title timer: sends the first line of the title file when it changed, unless
  // streaming is off or the incoming stream's titles are forwarded instead.
  void UpdateOutgoingStreamTitle();
  // Sends the title last read from the title file to the outgoing stream.
  void SendStreamingTitle();

  // ---- Levels and silence (SlotLevels.cpp) ----
  // Milliseconds since a buffer last reached the silence threshold (or since Initialize). Any thread.
  int64_t GetCurrentSilenceDurationMilliseconds();
  int64_t LastOverSilenceTickCount();
  int64_t LastMetadataTickCount();
  // Bytes that passed the slot mixer since the graph was built. Any thread.
  int64_t GetStreamPosition() const;

  // ---- Encoder cycling (SlotEncoder.cpp) ----
  // Ends the current file and, when the slot should record, starts the next one. The next file begins with
  // the sample that follows the previous file's last, and each file's stored duration is its exact length.
  // A name in use gets "-1", "-2", ... before its extension. An encoder the engine refuses leaves the slot
  // without a file and its reason in ErrorMessage. The database work (the new row, the old file's length) and
  // the old encoder's stop are handed to the slot's worker; their errors are logged there.
  void CycleEncoder();
  // The command and engine flags of this slot's encoder for iTarget (a file, or "-" for standard output).
  TEncoderCommand BuildEncoderCommand(const std::string& iTarget) const;
  // Ends the current file: its encoder leaves the chain now; stopping it and storing the file's length happen
  // on the slot's worker.
  void FinishRecording();
  // For the controller, a few seconds before the aligned time slot iTimeSlot begins (at iAt): a slot whose
  // files need an encoder program starts the next one now, outside the chain, so that at the boundary only
  // where the audio goes changes. Once per time slot; one that fails is logged, and the boundary starts its
  // program as without it.
  void PrepareStandby(TDateTime iTimeSlot, TDateTime iAt);
  // For the controller's 100 ms timer: a file encoder that died by itself (program ended, disk full) is
  // logged "Encoder stopped unexpectedly: <file>" and followed by the next file at once. While the slot
  // should record but has no running encoder (a full disk, a refused start), a new file is tried every few
  // seconds; the reason is logged once, and again "Recording resumed" when a file runs again.
  void CheckEncoder();
  // Waits until the slot's worker has done every job handed over (files finished, rows stored); false when
  // that takes longer than iTimeout.
  bool WaitForWorker(std::chrono::milliseconds iTimeout) { return fRecorder.Worker().WaitIdle(iTimeout); }

  // ---- Input health and counters (SlotHealth.cpp) ----
  // For the controller's 100 ms timer: turns the engine's counters of the input (device failure, audio the
  // push stream dropped, silence the mixer inserted for missing input) into log lines and adds the dropouts to
  // the current file's row and to the counters.
  void CheckInput();
  // Cumulative counters since the slot was created. Any thread, never blocks the audio path.
  TSlotCounters GetCounters() const;
  // Seconds written into the current file; 0 while none is written. Any thread, no lock.
  float CurrentRecordingDuration() const;
  // The file encoder's engine handle, 0 while no file is written. Any thread.
  uint32_t Encoder() const { return fRecorder.Encoder(); }
  std::string CurrentFilename() const { return fRecorder.CurrentFilename(); }
  int64_t RecordStartTickCount() const { return fRecorder.RecordStartTickCount(); }

private:
  // ---- Audio graph ----
  // The slot mixer with its effects and measuring callbacks; false when the engine refuses the rate.
  bool BuildMixer(int64_t iNow);
  void StartPacing();
  std::string UnsupportedRateText() const;
  void PullLoop(TSimpleThread& iThread);
  void ApplyChannelMap();
  void AttachDevice();
  void AttachStream();
  // Destroy without writing the settings; idempotent, also run by the destructor. Never throws.
  void TearDown(std::chrono::steady_clock::time_point iDeadline);
  bool fLeftBehind = false;

  // ---- Streaming output ----
  void StartOutputStream();
  // The streaming thread's copy of the settings, taken under the settings lock.
  TOutputStreamSettings StreamingSettings();
  void WakeOutputStream();

  // ---- Levels and silence ----
  // Both run on the thread that pulls the slot mixer, for every buffer (float stereo, iLength bytes).
  void DoLevelDSP(const float* iBuffer, uint32_t iLength);
  void DoCounterDSP(uint32_t iLength);

  // ---- Run-time status ----
  // Builds the status from copies of the concerns' state and puts it in place of the last one; every change of
  // the input and the recording ends with it.
  void PublishStatus();
  // The status thread's pass: skipped while the controller publishes a change, so that an older status never
  // replaces a newer one.
  void PublishStatusUnlessBusy();
  // The status thread's passes over this slot begin, and end (none runs any more once it returns).
  void StartStatusPasses();
  void StopStatusPasses();
  void BuildAndSwapStatus();
  std::mutex fPublishCS;        // one status built at a time; held for copies only
  mutable std::mutex fStatusCS; // held only to take or replace the pointer
  std::shared_ptr<const TSlotStatus> fStatus = std::make_shared<const TSlotStatus>();

  // ---- Encoder cycling ----
  struct TNextFile
  {
    uint32_t Encoder = 0;
    std::shared_ptr<TRecordingFile> File;
    std::string RelativeName;
    std::string FullName;
  };
  bool ShouldRecord() const;
  // The encoder settings of iOutput at the rate the graph runs with.
  TEncoderCommandSettings EncoderSettings(const TSlotSettings::TOutput& iOutput) const;
  // The next file's encoder in iReplaces' place (0: added to the chain): the standby prepared for this time
  // slot, else one started now; Encoder 0 when refused.
  TNextFile StartFileEncoder(uint32_t iReplaces);
  // The encoder of a file that begins at iAt: started in iReplaces' place, or without one as a standby outside
  // the chain.
  TNextFile MakeFileEncoder(TDateTime iAt, std::optional<uint32_t> iReplaces);
  // The program command line of a file iTarget, empty when the slot's files need no program.
  std::string StandbyCommand(const std::string& iTarget) const;
  // Stops a standby that did not take over (on the worker) and removes its file.
  void DiscardStandby(const TNextFile& iStandby);
  // A program started ahead of an aligned boundary (controller thread only): at the boundary only where the
  // audio goes changes.
  struct TStandby
  {
    TDateTime TimeSlot = 0;
    TNextFile Next;
    std::string Command; // what it runs, to tell whether the settings changed since
  };
  std::optional<TStandby> fStandby;
  // Takes the encoder of the file that ends out of the chain; the worker stops it and stores the file's end.
  // iNext: the file that takes its place, if any.
  void EndFile(uint32_t iEncoder, const std::shared_ptr<TRecordingFile>& iNext);
  void BeginFile(const TNextFile& iNext);
  // Worker jobs; true when done, false to be tried again.
  bool InsertFileRow(const std::shared_ptr<TRecordingFile>& iFile);
  bool StoreFileEnd(const std::shared_ptr<TRecordingFile>& iFile, double iSeconds, TRecordingFile* iNext);
  // The length to store, settled once (worker): iSeconds, or what reached the file when its encoder died.
  double SettleFileEnd(TRecordingFile& iFile, double iSeconds, TRecordingFile* iNext);
  // A file with nothing in it, or none of it readable after its encoder died: it goes with its row.
  static bool HoldsNoAudio(const TRecordingFile& iFile, double iSeconds);
  // Give-up handlers of the two jobs at the end: the change goes to the journal; true when it is there.
  bool KeepFileRow(TRecordingFile& iFile);
  bool KeepFileEnd(TRecordingFile& iFile, double iSeconds, TRecordingFile* iNext);
  // Appends a change of iFile to the journal in its folder (worker); false, logged, when that failed.
  bool JournalChange(TRecordingFile& iFile, const TJournalEntry& iEntry);
  // For the controller's pass: the current file's dropouts go to the journal when they changed, at most once a
  // second, so that a crash keeps them.
  void JournalDropouts();
  int64_t fLastDropoutJournal = 0; // tick count
  // Why the slot records nothing although it should, for the log line.
  std::string NotRecordingReason() const;

  std::optional<int64_t> fLastFileAttempt; // tick count of the last automatic new file
  bool fNotRecordingReported = false;
  bool fFileWanted = false; // the last file change wanted a file

  // ---- Input health ----
  // Adds a dropout to the counters and the current file and logs it with iReason.
  void AddDropout(double iSeconds, const char* iReason);
  TSlotCounterSet fCounters;
  TInputWatch fInputWatch;

  // Last: its worker's jobs use every member above; it is finished before they go.
  TSlotRecorder fRecorder;
};
