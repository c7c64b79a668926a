#pragma once
// The enumerations of a slot and the words that stand for them in the configuration file.

#include <cstdint>
#include <functional>
#include <string>

enum TRecordSource : uint8_t
{
  rsDisabled = 0,
  rsSoundcard = 1,
  rsStream = 2
};

enum TRecordChannels : uint8_t
{
  rcStereo = 0,
  rcLeft = 1, // the left input channel on both outputs
  rcRight = 2 // the right input channel on both outputs
};

enum TBassStreamingFormat : uint8_t
{
  sfMP3 = 0,
  sfMP2 = 1,
  sfOggVorbis = 2,
  sfWAV16 = 3,
  sfWAV32 = 4,
  sfCustomWAV = 5, // an external program fed with a WAV header
  sfCustomRaw = 6, // an external program fed with raw samples
  sfNone = 7       // no recording
};

enum TBassStreamingMode : uint8_t
{
  smMono = 0,
  smStereo = 1,
  smJointStereo = 2
};

// State of the outgoing stream.
enum TStreamingStatus : uint8_t
{
  ssDisabled = 0,
  ssConnecting = 1,
  ssConnected = 2,
  ssError = 3
};

class TSlotInfo;
// The log sink of a slot: the sending slot and the finished line.
using TLogMessageEvent = std::function<void(TSlotInfo* sender, const std::string& iMessage)>;

// Reading is case-sensitive; an unknown word gives the fallback the configuration file documents.
// "Soundcard", "Stream"; anything else rsDisabled. Written "Soundcard", "Stream", "None".
TRecordSource RecordSourceFromText(const std::string& iText);
std::string RecordSourceText(TRecordSource iSource);
// "left", "right"; anything else rcStereo. Written "stereo", "left", "right".
TRecordChannels RecordChannelsFromText(const std::string& iText);
std::string RecordChannelsText(TRecordChannels iChannels);
// "mp3", "mp2", "ogg", "wav16", "wav32", "customwav", "customraw", "none"; anything else sfMP3.
TBassStreamingFormat StreamingFormatFromText(const std::string& iText);
std::string StreamingFormatText(TBassStreamingFormat iFormat);
// "mono", "stereo", "jointstereo"; anything else smMono.
TBassStreamingMode StreamingModeFromText(const std::string& iText);
std::string StreamingModeText(TBassStreamingMode iMode);
