#pragma once
// A slot's settings as an editor changes them (the desktop dialog, a browser configuration page): read from the
// slot in one piece, checked, compared with what the slot holds and written back in one step. Holds the rules of
// the fields (ranges, numbers that cannot be read, the storage estimate) and the messages the user sees, so
// every editor behaves the same.

#include "slots/SlotTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TSlotInfo;

// Every setting an editor may change.
struct TSlotEdit
{
  std::string Name;

  TRecordSource RecordSource = rsDisabled;
  std::string Device;
  std::string StreamURL;
  int NominalLevel = 0;
  int RecordDelay = 0;
  bool Record16bit = false;
  TRecordChannels RecordChannels = rcStereo;
  std::string WinampPlugin;
  bool WinampPluginStreamOnly = false;
  std::string WinampPluginControls;

  std::string Folder;
  std::string SecondaryFolder;
  std::string FilenamePrefix;
  std::string CustomFilename;
  bool FlatFilenames = false;
  bool CueSheet = false;
  bool NoAutoRotate = false;
  int TimeSlotLength = 60;
  bool TimeSlotAlign = true;
  int TimeSlotOffset = 0;
  TBassStreamingFormat AudioFormat = sfMP3;
  std::string FileExtension;
  TBassStreamingMode Mode = smStereo;
  int Bitrate = 128;
  int Samplerate = 44100;
  std::string EncoderFilename;
  std::string EncoderOptions;

  bool CleanupDaysEnabled = true;
  int CleanupDays = 365;
  bool CleanupSpaceEnabled = true;
  int CleanupSpace = 5;

  bool StreamingEnabled = false;
  bool StreamingOnly = false;
  std::string StreamingHost;
  int StreamingPort = 8000;
  bool StreamingServerMode = false;
  std::string StreamingMountPoint;
  std::string StreamingStreamID;
  std::string StreamingPassword;
  std::string StreamingMimeType;
  std::string StreamingTitle;
  std::string StreamingURL;
  std::string StreamingGenre;
  std::string StreamingAIM;
  std::string StreamingIRC;
  std::string StreamingICQ;
  std::string StreamingDescription;
  bool StreamingPublic = false;
  bool StreamingForwardMetadata = false;

  int SilenceThreshold = -30;
  int SilenceDetection = 0;
  bool SilenceDetectionIfInactive = false;
  bool SendEmailSilenceDetected = false;
  bool SendEmailSilenceOK = false;
  std::string HTTPAlarmSilenceDetected;
  std::string HTTPAlarmSilenceOK;
};

// What an applied edit asks of the slot: a new input (StartRecording) and a new file (CycleEncoder).
struct TSlotEditChanges
{
  bool Input = false;
  bool Output = false;
};

inline constexpr const char* EmptyFolderMessage = "Output folder must not be empty.";

TSlotEdit ReadSlotEdit(const TSlotInfo& iSlot);
// The message of the first check that fails; nothing when the edit can be applied.
std::optional<std::string> CheckSlotEdit(const TSlotEdit& iEdit);
// Input: source, device or stream URL differ. Output: folder, flat file names, format, bit rate, mode, encoder
// options or encoder program differ. Texts are compared exactly.
TSlotEditChanges CompareSlotEdits(const TSlotEdit& iOld, const TSlotEdit& iNew);
// Writes every setting into the slot; the channel selection and the silence threshold through their setters, so
// they take effect at once. An alarm-only slot keeps its format "No recording".
void ApplySlotEdit(TSlotInfo& iSlot, const TSlotEdit& iEdit);

// The ranges of the fields with an up-down control; they also limit what is written.
struct TValueRange
{
  int Min;
  int Max;
};
inline constexpr TValueRange NominalLevelRange{-100, 100};
inline constexpr TValueRange RecordDelayRange{0, 3600};
inline constexpr TValueRange SilenceThresholdRange{-100, 100};
inline constexpr TValueRange SilenceDetectionRange{0, 3600};
inline constexpr TValueRange CleanupDaysRange{1, 32767};
inline constexpr TValueRange CleanupSpaceRange{1, 32767};

// A decimal 32-bit integer with an optional sign and surrounding blanks; nothing for any other text.
std::optional<int> ParseInteger(const std::string& iText);
// The text as a number, or iFallback when it is not one.
int IntegerOr(const std::string& iText, int iFallback);
int LimitToRange(int64_t iValue, TValueRange iRange);
// The up-down position after its text changed: the number typed, limited to the range; text that is not a
// number leaves the position where it was.
int UpDownPosition(const std::string& iText, int iCurrent, TValueRange iRange);

bool IsCustomFormat(TBassStreamingFormat iFormat);
// What choosing a format does to the bit-rate list: MP3 and Ogg Vorbis offer the usual rates (keeping the typed
// value), the WAV and custom formats empty the list and its text, MP2 and "No recording" leave both.
enum TBitrateListRule
{
  brOfferRates,
  brClear,
  brKeep
};
TBitrateListRule BitrateListRule(TBassStreamingFormat iFormat);
const std::vector<std::string>& BitrateChoices();
const std::vector<std::string>& SamplerateChoices();
// The label beside the cleanup days: "days", or "days (~%d GB)" with the space the recordings of that many days
// take at the bit rate (GiB, rounded down). Texts that are not numbers count as 0; custom formats give "days".
std::string StorageEstimateText(const std::string& iBitrate, const std::string& iDays, TBassStreamingFormat iFormat);
