#pragma once
// A slot's settings as one value: what its configuration section holds, grouped by concern. The keys, defaults,
// ranges and effects of the members are described once, in SlotSettingsKeys.h.

#include "slots/SlotTypes.h"

#include <string>

struct TSlotSettings
{
  std::string Name;
  bool Enabled = true;

  struct TInput
  {
    TRecordSource Source = rsDisabled;
    std::string Device;
    std::string StreamURL;
    TRecordChannels Channels = rcStereo;
    bool Record16bit = false;
    int NominalLevel = 0; // dBFS
    int RecordDelay = 0;  // seconds
    int Samplerate = 44100;
    // Hand-tuning keys: read, never written.
    bool ASIOWorkaround = false;
    int ExtraSleep = 0; // milliseconds after attaching a device
    std::string ClockSource;
    bool operator==(const TInput&) const = default;
  } Input;

  struct TOutput
  {
    TBassStreamingFormat Format = sfMP3;
    std::string FileExtension;
    int Bitrate = 128;
    TBassStreamingMode Mode = smStereo;
    std::string EncoderOptions;
    std::string EncoderFilename;
    std::string Folder;
    std::string SecondaryFolder;
    std::string FilenamePrefix;
    std::string CustomFilename;
    bool FlatFilenames = false;
    bool CueSheet = false;
    std::string DatabaseFile;
    int EncoderQueueLength = 6000; // milliseconds; hand-tuning key
    bool operator==(const TOutput&) const = default;
  } Output;

  struct TTimeSlots
  {
    bool NoAutoRotate = false;
    int Length = 60; // minutes
    bool Align = true;
    int Offset = 0; // seconds
    bool operator==(const TTimeSlots&) const = default;
  } TimeSlots;

  struct TCleanup
  {
    bool DaysEnabled = true;
    int Days = 365;
    bool SpaceEnabled = true;
    int Space = 5; // GiB
    bool operator==(const TCleanup&) const = default;
  } Cleanup;

  struct TSilence
  {
    int Threshold = -30; // dBFS
    int Detection = 0;   // seconds, 0 = no detection
    bool DetectionIfInactive = false;
    bool EmailDetected = false;
    bool EmailOK = false;
    std::string HTTPAlarmDetected;
    std::string HTTPAlarmOK;
    bool operator==(const TSilence&) const = default;
  } Silence;

  struct TOutputStream
  {
    bool Enabled = false;
    bool Only = false;
    std::string Host;
    bool ServerMode = false;
    int Port = 8000;
    std::string MountPoint;
    std::string StreamID;
    std::string Password;
    std::string MimeType;
    std::string Title;
    std::string URL;
    std::string Genre;
    std::string AIM;
    std::string IRC;
    std::string ICQ;
    std::string Description;
    bool Public = false;
    bool ForwardMetadata = false;
    // Hand-tuning keys: read, never written.
    int ConnectDelay = 0; // milliseconds
    std::string TitleFilename;
    bool operator==(const TOutputStream&) const = default;
  } OutputStream;

  struct TPlugin
  {
    std::string Library;
    bool StreamOnly = false;
    std::string Controls; // "name=value;..." in port order
    bool operator==(const TPlugin&) const = default;
  } Plugin;

  bool operator==(const TSlotSettings&) const = default;
};
