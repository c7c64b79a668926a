#pragma once
// Values and parameter blocks of the audio engine's interface (AudioEngine.h).

#include <cstdint>
#include <functional>
#include <string>

// Error codes of TAudioEngine::ErrorGetCode, in the numbering of BassErrorText.
enum TEngineError : int
{
  ecOK = 0,
  ecMemory = 1,
  ecFileOpen = 2,
  ecDriver = 3,
  ecHandle = 5,
  ecFormat = 6,
  ecInit = 8,
  ecStart = 9,
  ecAlready = 14,
  ecNoChannel = 18,
  ecIllegalType = 19,
  ecIllegalParam = 20,
  ecDevice = 23,
  ecNotPlaying = 24,
  ecFrequency = 25,
  ecCreate = 33,
  ecNotAvailable = 37,
  ecNoNet = 32,
  ecDecode = 38,
  ecTimeout = 40,
  ecFileForm = 41,
  ecCodec = 44,
  ecEnded = 45,
  ecProtocol = 48,
  ecUnknown = -1,
  ecCastDenied = 2100,
  ecNotDecodeChannel = 4000,
};

// Channel flags.
enum TChannelFlag : uint32_t
{
  chFloat = 0x100,          // 32-bit float samples, else 16-bit signed integers
  chNonStop = 0x20000,      // mixer: silence while the sources starve (mixers here always behave so)
  chRestrictRate = 0x80000, // accepted for compatibility; sources are always converted to the mixer's rate
  chDecode = 0x200000,      // pulled by reading instead of played
  chUnicode = 0x80000000,   // texts are Unicode (always, here: UTF-8)
};

// Encoder flags.
enum TEncodeFlag : uint32_t
{
  efNoHeader = 1,         // the program receives raw samples, no WAV header
  ef16Bit = 4,            // convert the float samples to 16-bit little-endian integers
  efWAVFile = 0x40,       // the engine writes a WAV file itself; the command is the file's path
  efCodecFile = 0x800,    // the engine encodes a file itself (TCodecSettings, 16-bit samples); the command is its path
  efQueue = 0x200,        // fed through a queue by a thread of its own
  efContinue = 0x1000,    // replacing a file encoder of the same settings: it goes on in the new file instead
  efUnicode = 0x80000000, // the command is Unicode (always, here: UTF-8)
};

// The engine's own encoders (efCodecFile): the libraries behind lame, twolame and oggenc, set up as those
// programs are by the recording's command lines.
enum TCodecKind : uint32_t
{
  ckMP3,
  ckMP2,
  ckVorbis,
};

enum TCodecMode : uint32_t
{
  cmMono, // stereo input mixed down
  cmStereo,
  cmJointStereo,
};

struct TCodecSettings
{
  TCodecKind Kind = ckMP3;
  TCodecMode Mode = cmStereo;
  uint32_t Bitrate = 128; // kbit/s

  bool operator==(const TCodecSettings&) const = default;
};

// Process-wide settings of TAudioEngine::SetConfig.
enum TEngineConfig : uint32_t
{
  cfFloatDSP = 9,             // callbacks get float samples (always so here; kept for callers that set it)
  cfNetTimeout = 11,          // URL streams: connect and read time-out, milliseconds
  cfNetPlaylist = 21,         // URL streams may name playlists
  cfEncodePriority = 0x10300, // chain priority of encoders started from now on
  cfEncodeQueue = 0x10301,    // queue length of encoders started from now on, milliseconds
};

// Effect types of TAudioEngine::ChannelSetFX.
enum TFXType : uint32_t
{
  fxChannelMap = 0x10007,
  fxDelay = 0x1000C,
};

// Channel attributes.
enum TChannelAttribute : uint32_t
{
  atVolume = 2,
};

// Sync types of TAudioEngine::ChannelSetSync.
enum TSyncType : uint32_t
{
  syEnd = 2,  // the stream has ended and its audio is used up
  syMeta = 4, // new metadata (ChannelGetTags tgMeta)
};

// Tag types of TAudioEngine::ChannelGetTags.
enum TTagType : uint32_t
{
  tgMeta = 5, // the last stream metadata as "StreamTitle='...';" text
};

// What a cast server or the built-in server tells listeners about a stream (icy-name, icy-genre, ...).
struct TStreamInfo
{
  std::string Content; // MIME type; empty = taken from the stream's own bytes (MPEG audio for a cast)
  std::string Name;
  std::string URL;
  std::string Genre;
  std::string Description;
  std::string Headers;  // "icy-...:value" lines, each ended by CR LF (casts only)
  uint32_t Bitrate = 0; // kbit/s; 0 = not told
  bool Public = false;
};

// TAudioEngine::EncodeServerInit flags.
enum TEncodeServerFlag : uint32_t
{
  esfSendTitles = 2, // ICY metadata to listeners that ask for it
};

// TAudioEngine::EncodeIsActive.
enum TEncodeState : int
{
  esStopped = 0,
  esRunning = 1,
};

// Status passed to an encoder's notification.
enum TEncodeNotifyStatus : uint32_t
{
  enEncoderEnded = 1,    // the program ended or its input broke; the encoder is stopped
  enCastLost = 2,        // the connection to the cast server was lost; the encoder is stopped
  enQueueFull = 0x10001, // audio was dropped because the queue was full
};

struct TChannelInfo
{
  uint32_t Rate = 0;
  uint32_t Channels = 0;
  uint32_t Flags = 0;        // chFloat, chDecode
  uint64_t DroppedBytes = 0; // push stream: audio dropped because the queue was full
};

struct TMixerSourceInfo
{
  double Ratio = 1.0;          // input consumed per input produced: above 1 when the producer's clock is fast
  uint64_t BacklogFrames = 0;  // input not yet consumed: queued, or inside the rate conversion
  uint64_t SilenceFrames = 0;  // output frames the source could not supply (silence in its place)
  uint64_t ConsumedFrames = 0; // input frames turned into output
};

// fxChannelMap: output channel n takes input channel Channels[n] (1 = first, 2 = second).
struct TChannelMapParameters
{
  int32_t Channels[2] = {1, 2};
};

// fxDelay: out = DryMix * in + WetMix * (in delayed by Delay seconds) on the channels selected by Channels
// (-1 = all, else bits: 1 = first channel, 2 = second, ...); other channels pass unchanged.
struct TDelayParameters
{
  float DryMix = 0.0f;
  float WetMix = 1.0f;
  float Delay = 0.0f;
  int32_t Channels = -1;
};

// Positions are frames of the encoder's channel: FirstFrame is its first sample, EndFrame one past its last
// (the channel's current position while it still takes audio).
struct TEncodeSpan
{
  uint64_t FirstFrame = 0;
  uint64_t EndFrame = 0;
  uint64_t DroppedFrames = 0;
};

// What became of an encoder's output on its way to its cast server or listeners.
struct TEncodeOutputInfo
{
  uint64_t DroppedBytes = 0;     // cast: output dropped because the server did not take it in time
  uint32_t Listeners = 0;        // built-in server: listeners connected now
  uint64_t DroppedListeners = 0; // built-in server: listeners dropped for falling behind
};

// DSP callback: float samples of the channel, interleaved, iLength bytes, changed in place.
using TDspCallback = std::function<void(float* ioBuffer, uint32_t iLength)>;
// Sync callback: the sync's handle, the channel's handle.
using TSyncProc = std::function<void(uint32_t iSync, uint32_t iChannel)>;
// URL stream download callback: the bytes just received; nullptr and 0 once the download has ended.
using TDownloadProc = std::function<void(const void* iBuffer, uint32_t iLength)>;
// Encoder notification (iStatus a TEncodeNotifyStatus), called on an engine thread.
using TEncodeNotify = std::function<void(uint32_t iEncoder, uint32_t iStatus)>;
