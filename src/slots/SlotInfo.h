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
#include "slots/SlotCleanup.h"
#include "slots/SlotCounters.h"
#include "slots/SlotInput.h"
#include "slots/SlotPlugin.h"
#include "slots/SlotRecorder.h"
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

  // ---- Identity, logging and persistence (SlotSettings.cpp) ----
  int Index() const { return fIndex; }
  bool AlarmOnly() const { return fAlarmOnly; }
  bool Enabled() const { return fEnabled; }
  void SetEnabled(bool iValue);
  // The texts that request threads read (name, stream URL, folders, error) are copied under fTextCS, because the
  // controller's thread may change them meanwhile.
  std::string Name() const { return LockedCopy(fName); }
  void SetName(std::string iValue) { LockedAssign(fName, std::move(iValue)); }
  void SetOnLogMessage(TLogMessageEvent iHandler) { fOnLogMessage = std::move(iHandler); }
  // The slot's own error, else why its input delivers nothing at the moment (device lost, server gone).
  std::string ErrorMessage() const;
  void SetErrorMessage(std::string iValue) { LockedAssign(fErrorMessage, std::move(iValue)); }
  // Hands "<name>: <message>" to OnLogMessage, when one is set.
  void LogMessage(const std::string& iMessage);
  // Writes every setting the program owns to the slot's section and persists the file. Keys that are only read
  // (hand-tuning keys) are never written. Errors of the file reach the caller.
  void FlushConfig();

  // ---- Input ----
  TRecordSource RecordSource() const { return fRecordSource; }
  void SetRecordSource(TRecordSource iValue) { fRecordSource = iValue; }
  std::string Device() const { return fDevice; }
  void SetDevice(std::string iValue) { fDevice = std::move(iValue); }
  std::string StreamURL() const { return LockedCopy(fStreamURL); }
  void SetStreamURL(std::string iValue) { LockedAssign(fStreamURL, std::move(iValue)); }
  TRecordChannels RecordChannels() const { return fRecordChannels; }
  void SetRecordChannels(TRecordChannels iValue);
  bool Record16bit() const { return fRecord16Bit; }
  void SetRecord16bit(bool iValue) { fRecord16Bit = iValue; }
  int ExtraSleep() const { return fExtraSleep; }
  void SetExtraSleep(int iValue) { fExtraSleep = iValue; }
  int RecordDelay() const { return fRecordDelay; }
  void SetRecordDelay(int iValue) { fRecordDelay = iValue; }
  int16_t NominalLevel() const { return fNominalLevel; }
  void SetNominalLevel(int16_t iValue) { fNominalLevel = iValue; }
  int Samplerate() const { return fSampleRate; }
  void SetSamplerate(int iValue) { fSampleRate = iValue; }

  // ---- Output format ----
  TBassStreamingFormat AudioFormat() const { return fAudioFormat; }
  void SetAudioFormat(TBassStreamingFormat iValue) { fAudioFormat = iValue; }
  std::string FileExtension() const { return fFileExtension; }
  void SetFileExtension(std::string iValue) { fFileExtension = std::move(iValue); }
  int Bitrate() const { return fBitrate; }
  void SetBitrate(int iValue) { fBitrate = iValue; }
  TBassStreamingMode Mode() const { return fMode; }
  void SetMode(TBassStreamingMode iValue) { fMode = iValue; }
  std::string EncoderOptions() const { return fEncoderOptions; }
  void SetEncoderOptions(std::string iValue) { fEncoderOptions = std::move(iValue); }
  std::string EncoderFilename() const { return fEncoderFilename; }
  void SetEncoderFilename(std::string iValue) { fEncoderFilename = std::move(iValue); }

  // ---- Files and rotation ----
  std::string Folder() const { return LockedCopy(fFolder); }
  void SetFolder(std::string iValue) { LockedAssign(fFolder, std::move(iValue)); }
  std::string SecondaryFolder() const { return LockedCopy(fSecondaryFolder); }
  void SetSecondaryFolder(std::string iValue) { LockedAssign(fSecondaryFolder, std::move(iValue)); }
  std::string FilenamePrefix() const { return fFilenamePrefix; }
  void SetFilenamePrefix(std::string iValue) { fFilenamePrefix = std::move(iValue); }
  std::string CustomFilename() const { return fCustomFilename; }
  void SetCustomFilename(std::string iValue) { fCustomFilename = std::move(iValue); }
  bool FlatFilenames() const { return fFlatFilenames; }
  void SetFlatFilenames(bool iValue) { fFlatFilenames = iValue; }
  bool NoAutoRotate() const { return fNoAutoRotate; }
  void SetNoAutoRotate(bool iValue) { fNoAutoRotate = iValue; }
  int TimeSlotLength() const { return fTimeSlotLength; }
  void SetTimeSlotLength(int iValue) { fTimeSlotLength = iValue; }
  bool TimeSlotAlign() const { return fTimeSlotAlign; }
  void SetTimeSlotAlign(bool iValue) { fTimeSlotAlign = iValue; }
  int TimeSlotOffset() const { return fTimeSlotOffset; }
  void SetTimeSlotOffset(int iValue) { fTimeSlotOffset = iValue; }
  TDateTime LastTimeSlot() const { return fLastTimeSlot; }
  void SetLastTimeSlot(TDateTime iValue) { fLastTimeSlot = iValue; }
  bool CueSheet() const { return fCueSheet; }
  void SetCueSheet(bool iValue) { fCueSheet = iValue; }

  // ---- Recordings database (SlotDatabase.cpp) ----
  std::string DatabaseFile() const { return fDatabaseFile; }
  void SetDatabaseFile(std::string iValue) { fDatabaseFile = std::move(iValue); }
  // Where the database lies now: DatabaseFile, else "Tapevault_<n>.db" in the common database folder, else
  // "Tapevault.db" in the slot's folder.
  std::string DatabasePath();
  // A new connection to the slot's database, its folder and table created when missing. Errors reach the caller.
  ISQLConnectionRef GetDatabaseConnection();
  // The database id of the file being written; 0 = none (or its row is not stored yet).
  int CurrentRecordingID() const { return fRecorder.CurrentRecordingID(); }
  // Adds the row of a file started at iStartTime (iRelativeName relative to the folder); returns its id.
  // Every error reaches the caller.
  int InsertRecordingRow(const std::string& iRelativeName, TDateTime iStartTime);
  // Adds the row of a file started now and makes it the current recording. Errors reach the caller.
  void RegisterRecording(const std::string& iRelativeName);
  // Stores the length of a finished file and the input dropouts it holds. Errors reach the caller.
  void StoreRecordingEnd(int iID, double iSeconds, double iDropoutSeconds, int iDropoutCount);
  void DeleteRecordingRow(int iID);
  // Gives the rows the last run left without a length (it crashed or was killed) the length of their files,
  // each logged "Repaired ..."; a WAV file also gets a header that matches its data. Rows whose file is
  // missing stay for the cleanup rules. On the slot's worker, before the rows of this run.
  void RepairRecordings();

  // ---- Cleanup (SlotCleanup.cpp) ----
  bool CleanupDaysEnabled() const { return fCleanupDaysEnabled; }
  void SetCleanupDaysEnabled(bool iValue) { fCleanupDaysEnabled = iValue; }
  int CleanupDays() const { return fCleanupDays; }
  void SetCleanupDays(int iValue) { fCleanupDays = iValue; }
  bool CleanupSpaceEnabled() const { return fCleanupSpaceEnabled; }
  void SetCleanupSpaceEnabled(bool iValue) { fCleanupSpaceEnabled = iValue; }
  int CleanupSpace() const { return fCleanupSpace; }
  void SetCleanupSpace(int iValue) { fCleanupSpace = iValue; }
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
  int SilenceThreshold() const { return fSilenceThreshold; }
  // Stores the threshold in dBFS and its linear sample magnitude; the pull thread reads the magnitude without a lock.
  void SetSilenceThreshold(int iValue);
  int SilenceDetection() const { return fSilenceDection; }
  void SetSilenceDetection(int iValue) { fSilenceDection = iValue; }
  bool SilenceDetectionIfInactive() const { return fSilenceDetectionIfInactive; }
  void SetSilenceDetectionIfInactive(bool iValue) { fSilenceDetectionIfInactive = iValue; }
  // The seconds of silence that raise the alarm while it is watched (the slot runs, or its silence is watched
  // also while stopped); 0 while no alarm is watched.
  int WatchedSilenceDetection() const
  {
    return (fEnabled || fSilenceDetectionIfInactive) && fSilenceDection > 0 ? fSilenceDection : 0;
  }
  bool SilenceDetected() const { return fSilenceDetected; }
  void SetSilenceDetected(bool iValue) { fSilenceDetected = iValue; }
  bool SendEmailSilenceDetected() const { return fSendEmailSilenceDetected; }
  void SetSendEmailSilenceDetected(bool iValue) { fSendEmailSilenceDetected = iValue; }
  bool SendEmailSilenceOK() const { return fSendEmailSilenceOK; }
  void SetSendEmailSilenceOK(bool iValue) { fSendEmailSilenceOK = iValue; }
  std::string HTTPAlarmSilenceDetected() const { return fHTTPAlarmSilenceDetected; }
  void SetHTTPAlarmSilenceDetected(std::string iValue) { fHTTPAlarmSilenceDetected = std::move(iValue); }
  std::string HTTPAlarmSilenceOK() const { return fHTTPAlarmSilenceOK; }
  void SetHTTPAlarmSilenceOK(std::string iValue) { fHTTPAlarmSilenceOK = std::move(iValue); }

  // ---- Levels ----
  float CurrentLevelLeft() const { return fCurrentLevelLeft; }
  void SetCurrentLevelLeft(float iValue) { fCurrentLevelLeft = iValue; }
  float CurrentLevelRight() const { return fCurrentLevelRight; }
  void SetCurrentLevelRight(float iValue) { fCurrentLevelRight = iValue; }

  // ---- Streaming output ----
  bool StreamingEnabled() const { return fStreamingEnabled; }
  void SetStreamingEnabled(bool iValue) { fStreamingEnabled = iValue; }
  bool StreamingOnly() const { return fStreamingOnly; }
  void SetStreamingOnly(bool iValue) { fStreamingOnly = iValue; }
  std::string StreamingHost() const { return fStreamingHost; }
  void SetStreamingHost(std::string iValue) { fStreamingHost = std::move(iValue); }
  bool StreamingServerMode() const { return fStreamingServerMode; }
  void SetStreamingServerMode(bool iValue) { fStreamingServerMode = iValue; }
  int StreamingPort() const { return fStreamingPort; }
  void SetStreamingPort(int iValue) { fStreamingPort = iValue; }
  std::string StreamingMountPoint() const { return fStreamingMountPoint; }
  void SetStreamingMountPoint(std::string iValue) { fStreamingMountPoint = std::move(iValue); }
  std::string StreamingStreamID() const { return fStreamingStreamID; }
  void SetStreamingStreamID(std::string iValue) { fStreamingStreamID = std::move(iValue); }
  std::string StreamingPassword() const { return fStreamingPassword; }
  void SetStreamingPassword(std::string iValue) { fStreamingPassword = std::move(iValue); }
  std::string StreamingMimeType() const { return fStreamingMimeType; }
  void SetStreamingMimeType(std::string iValue) { fStreamingMimeType = std::move(iValue); }
  std::string StreamingTitle() const { return fStreamingTitle; }
  void SetStreamingTitle(std::string iValue) { fStreamingTitle = std::move(iValue); }
  std::string StreamingURL() const { return fStreamingURL; }
  void SetStreamingURL(std::string iValue) { fStreamingURL = std::move(iValue); }
  std::string StreamingGenre() const { return fStreamingGenre; }
  void SetStreamingGenre(std::string iValue) { fStreamingGenre = std::move(iValue); }
  std::string StreamingAIM() const { return fStreamingAIM; }
  void SetStreamingAIM(std::string iValue) { fStreamingAIM = std::move(iValue); }
  std::string StreamingIRC() const { return fStreamingIRC; }
  void SetStreamingIRC(std::string iValue) { fStreamingIRC = std::move(iValue); }
  std::string StreamingICQ() const { return fStreamingICQ; }
  void SetStreamingICQ(std::string iValue) { fStreamingICQ = std::move(iValue); }
  std::string StreamingDescription() const { return fStreamingDescription; }
  void SetStreamingDescription(std::string iValue) { fStreamingDescription = std::move(iValue); }
  bool StreamingPublic() const { return fStreamingPublic; }
  void SetStreamingPublic(bool iValue) { fStreamingPublic = iValue; }
  bool StreamingForwardMetadata() const { return fStreamingForwardMetadata; }
  void SetStreamingForwardMetadata(bool iValue) { fStreamingForwardMetadata = iValue; }
  // Held by whoever changes several settings at once (the slot dialog, the web settings), so that the
  // streaming thread never copies half old, half new settings.
  std::unique_lock<std::mutex> LockSettings() { return std::unique_lock(fSettingsCS); }

  // ---- Sound-processing plug-in ----
  std::string WinampPlugin() const { return fWinampPlugin; }
  void SetWinampPlugin(std::string iValue) { fWinampPlugin = std::move(iValue); }
  bool WinampPluginStreamOnly() const { return fWinampPluginStreamOnly; }
  void SetWinampPluginStreamOnly(bool iValue) { fWinampPluginStreamOnly = iValue; }
  // The plug-in's input control values, "name=value;..." in port order (TLadspaPlugin::ControlsText).
  std::string WinampPluginControls() const { return fWinampPluginControls; }
  void SetWinampPluginControls(std::string iValue) { fWinampPluginControls = std::move(iValue); }
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

  // ---- Settings reading (SlotSettings.cpp) ----
  std::string ReadText(const std::string& iKey, const std::string& iDefault);
  int ReadNumber(const std::string& iKey, int iDefault);
  bool ReadSwitch(const std::string& iKey, bool iDefault);
  void WriteSwitch(const std::string& iKey, bool iValue);

  // ---- Cleanup helpers (SlotCleanup.cpp) ----
  // Stored names of the files still being written or finished: never deleted.
  std::vector<std::string> OpenStoredNames() const;
  // Deletes the recording of one row; a stored name that would leave the folder only loses its row.
  bool DeleteStoredRecording(ISQLConnection& iConnection, int iID, const std::string& iStoredName);
  void DeleteRow(ISQLConnection& iConnection, int iID);

  // Identity, locking and logging
  // Each held only to swap or copy, never across a slow call; the input and recorder sides have their own.
  std::mutex fSettingsCS;     // settings that other threads copy (output stream, database, cleanup)
  mutable std::mutex fTextCS; // the texts request threads read
  TIniFile& fIniFile;
  std::string fSection;
  int fIndex;
  bool fAlarmOnly;
  std::atomic<bool> fDeleting{false};
  bool fEnabled = true;
  std::string fName;
  TLogMessageEvent fOnLogMessage;
  std::string fErrorMessage;

  // Input
  TRecordSource fRecordSource = rsDisabled;
  std::string fDevice;
  std::string fStreamURL;
  TRecordChannels fRecordChannels = rcStereo;
  bool fRecord16Bit = false;
  bool fASIOWorkaround = false;
  int fExtraSleep = 0;
  int fRecordDelay = 0;
  int16_t fNominalLevel = 0;
  std::string fClockSource;
  int fSampleRate = 44100;
  int fEffectiveSamplerate = 44100; // the rate the graph is built with; fixed for the life of the slot

  // Output format
  TBassStreamingFormat fAudioFormat = sfMP3;
  std::string fFileExtension;
  int fBitrate = 128;
  TBassStreamingMode fMode = smStereo;
  std::string fEncoderOptions;
  std::string fEncoderFilename;
  int fEncoderQueueLength = 6000; // milliseconds

  // Files and rotation
  std::string fFolder;
  std::string fSecondaryFolder;
  std::string fFilenamePrefix;
  std::string fCustomFilename;
  bool fFlatFilenames = false;
  bool fNoAutoRotate = false;
  int fTimeSlotLength = 60; // minutes
  bool fTimeSlotAlign = true;
  int fTimeSlotOffset = 0; // seconds
  TDateTime fLastTimeSlot = 0;
  std::atomic<bool> fCueSheet{false};

  // Database
  std::string fDatabaseFile;
  std::string fDatabaseFolder;

  // Cleanup
  bool fCleanupDaysEnabled = true;
  int fCleanupDays = 365;
  bool fCleanupSpaceEnabled = true;
  int fCleanupSpace = 5; // GiB
  TFreeSpaceFunction fFreeSpace = AvailableBytes;
  std::atomic<bool> fCleanupQueued{false};
  std::optional<int64_t> fLastTooSmallReport; // tick count: the space rule could not reach its goal
  bool fAgeRuleOffReported = false;

  // Silence and alarms
  int fSilenceThreshold = -30; // dBFS
  // Read by the thread that pulls the mixer, which never waits for a lock.
  std::atomic<float> fSilenceThresholdLinear{0};
  int fSilenceDection = 0; // seconds, 0 = no detection
  bool fSilenceDetectionIfInactive = false;
  std::atomic<int64_t> fLastOverSilenceTickCount{0};
  bool fSilenceDetected = false;
  bool fSendEmailSilenceDetected = false;
  bool fSendEmailSilenceOK = false;
  std::string fHTTPAlarmSilenceDetected;
  std::string fHTTPAlarmSilenceOK;

  // Levels
  std::atomic<float> fLevelLeft{0};
  std::atomic<float> fLevelRight{0};
  float fCurrentLevelLeft = 0;
  float fCurrentLevelRight = 0;

  // Sound-processing plug-in
  std::string fWinampPlugin;
  bool fWinampPluginStreamOnly = false;
  std::string fWinampPluginControls;
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
  bool fStreamingEnabled = false;
  bool fStreamingOnly = false;
  std::string fStreamingHost;
  bool fStreamingServerMode = false;
  int fStreamingPort = 8000;
  std::string fStreamingMountPoint;
  std::string fStreamingStreamID;
  std::string fStreamingPassword;
  std::string fStreamingMimeType;
  std::string fStreamingTitle;
  std::string fStreamingURL;
  std::string fStreamingGenre;
  std::string fStreamingAIM;
  std::string fStreamingIRC;
  std::string fStreamingICQ;
  std::string fStreamingDescription;
  bool fStreamingPublic = false;
  std::atomic<bool> fStreamingForwardMetadata{false}; // read by the stream input's thread
  int fStreamingConnectDelay = 0;                     // milliseconds
  std::string fStreamingCurrentTitleFilename;
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
  // Ends the current file and detaches the input without waiting for the worker to finish the file, so that
  // many slots finish their files at the same time when the program ends. Destroy does it too.
  void EndRecording();
  // Ends the current file (its duration stored by the worker, which gets a bounded time for what is left),
  // detaches the input, ends the slot's threads, frees its graph, then writes the settings. Errors of the
  // configuration file reach the caller.
  void Destroy();
  TDeviceInfoWithClients* CurrentDeviceInfo() const { return fInput.Device(); }
  // Display name of the device in use; nothing while no device is attached. Any thread.
  std::optional<std::string> CurrentDeviceName() const;
  std::string CurrentStreamURL() const { return fInput.StreamURL(); }
  std::string CurrentStreamTitle() const { return fTitles.Title(); }
  uint32_t Channel() const { return fInput.Channel(); }
  // The slot mixer's handle; 0 before Initialize or when the engine refused the rate.
  uint32_t Mixer() const { return fMixer; }
  // Peak magnitude of the last mixer buffer per output channel (1.0 = full scale). Any thread.
  float LevelLeft() const { return fLevelLeft.load(std::memory_order_relaxed); }
  float LevelRight() const { return fLevelRight.load(std::memory_order_relaxed); }

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
  void TearDown();

  // ---- Streaming output ----
  void StartOutputStream();
  // The streaming thread's copy of the settings, taken under the slot lock.
  TOutputStreamSettings StreamingSettings();
  void WakeOutputStream();

  // ---- Levels and silence ----
  // Both run on the thread that pulls the slot mixer, for every buffer (float stereo, iLength bytes).
  void DoLevelDSP(const float* iBuffer, uint32_t iLength);
  void DoCounterDSP(uint32_t iLength);

  // ---- Encoder cycling ----
  struct TNextFile
  {
    uint32_t Encoder = 0;
    std::shared_ptr<TRecordingFile> File;
    std::string RelativeName;
    std::string FullName;
  };
  bool ShouldRecord() const;
  // Starts the next file's encoder in iReplaces' place (0: added to the chain); Encoder 0 when refused.
  TNextFile StartFileEncoder(uint32_t iReplaces);
  // Takes the encoder of the file that ends out of the chain; the worker stops it and stores the file's end.
  void EndFile(uint32_t iEncoder, bool iReplaced);
  void BeginFile(const TNextFile& iNext);
  // Worker jobs; true when done, false to be tried again.
  bool InsertFileRow(const std::shared_ptr<TRecordingFile>& iFile);
  bool StoreFileEnd(const std::shared_ptr<TRecordingFile>& iFile, double iSeconds);
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
