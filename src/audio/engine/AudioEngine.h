#pragma once
// The audio engine: channels addressed by 32-bit handles (0 = failure, the reason then in ErrorGetCode, numbered
// like BassErrorText), push streams filled by capture threads, decode mixers pulled by reading, effects, DSP
// callbacks and encoders in one chain per channel, and mixers played on an output device.
//
// Threads: the structural calls (create, free, add, remove, set, start, stop) may come from any thread and are
// serialised inside. StreamPutData is made for capture threads: it never blocks and never allocates.
// ChannelGetData runs the whole chain on the caller's thread; callbacks therefore run on the pulling thread
// and must not change the graph themselves (no structural call from inside a DSP callback).

#include "audio/engine/EngineTypes.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

class TAudioEngine
{
public:
  // Last error of the calling thread (ecOK after a successful call).
  static int ErrorGetCode();

  // Process-wide settings (cfFloatDSP, cfNetPlaylist, cfEncodePriority, cfEncodeQueue). Unknown option: false
  // with ecIllegalType. Callbacks always get float samples, so cfFloatDSP cannot be switched off.
  static bool SetConfig(uint32_t iOption, int32_t iValue);
  static int32_t GetConfig(uint32_t iOption);
  // Held around "set the encoder config, start an encoder" so that another thread's same step cannot
  // interleave and put an encoder at the other's place in the chain.
  static std::unique_lock<std::mutex> LockEncoderSetup();

  // Push stream: decode-only (iFlags must hold FlagDecode), iChannels interleaved 16-bit integer or, with
  // FlagFloat, 32-bit float samples at iRate.
  static uint32_t StreamCreatePush(uint32_t iRate, uint32_t iChannels, uint32_t iFlags);
  // Queues a copy of iLength bytes (whole frames). Returns the queued byte count, -1 on failure. When the
  // queue is full the oldest audio is dropped and counted (ChannelGetInfo).
  static int64_t StreamPutData(uint32_t iHandle, const void* iBuffer, uint32_t iLength);
  // Frees any channel (push stream or mixer) with its effects, callbacks and encoders. A source is removed
  // from its mixer first; a mixer's sources stay alive, detached.
  static bool StreamFree(uint32_t iHandle);

  // Internet stream (http, https, ICY, HLS; playlists when cfNetPlaylist is set): decode-only (iFlags must hold
  // FlagDecode), float, from the start (iOffset 0). Blocks until the stream plays or failed: ecTimeout after
  // cfNetTimeout (a whole attempt with a playlist after a few), ecNoNet when refused or unreachable, ecFileOpen
  // when the server refuses the resource, ecFileForm for no audio it knows, ecCodec without a decoder,
  // ecProtocol for an address that is not http or https (also a playlist entry). iAbort, when set, ends the attempt
  // early. A reader thread then downloads and decodes ahead, bounded; iDownload gets each packet read and nullptr at
  // the end.
  static uint32_t StreamCreateURL(const std::string& iURL, uint32_t iOffset, uint32_t iFlags,
                                  TDownloadProc iDownload = nullptr, const std::atomic<bool>* iAbort = nullptr);
  // Why a URL stream ended (once syEnd came): ecTimeout when no data came for cfNetTimeout, ecNotPlaying when
  // its audio was not taken for that long, ecEnded when the server ended it; ecOK while it runs.
  static int StreamGetEndCode(uint32_t iHandle);
  // URL streams: iProc runs on the stream's reader thread on new metadata (syMeta), when it reaches the stream
  // position of the audio it came with, or once the stream ended and its audio is used up (syEnd). It must not
  // free the stream. Returns the sync's handle.
  static uint32_t ChannelSetSync(uint32_t iHandle, uint32_t iType, TSyncProc iProc);
  static bool ChannelRemoveSync(uint32_t iHandle, uint32_t iSync);
  // tgMeta: the last metadata text of a URL stream ("StreamTitle='...';..."); empty with ecNotAvailable when none.
  static std::string ChannelGetTags(uint32_t iHandle, uint32_t iTags);

  // Mixer of 2 float channels at iRate (iFlags must hold FlagFloat). With FlagDecode it is pulled by
  // ChannelGetData; without it, it is played on output device iDevice (1 = the default sink, n = the n-th sink)
  // once ChannelPlay is called. Mixers never stop: what the sources cannot supply is silence.
  static uint32_t MixerCreate(uint32_t iRate, uint32_t iChannels, uint32_t iFlags, uint32_t iDevice = 1);
  // Adds a decode channel as a source; it is converted to the mixer's format and rate. A push stream is kept
  // near a small backlog by slight rate adjustments, so its producer's clock may differ from the mixer's.
  static bool MixerAddChannel(uint32_t iMixer, uint32_t iChannel, uint32_t iFlags);
  static bool MixerRemoveChannel(uint32_t iChannel);
  // State of a channel as a mixer source: rate ratio in use, backlog, silence inserted, frames consumed.
  static bool MixerGetSourceInfo(uint32_t iChannel, TMixerSourceInfo& oInfo);

  static bool ChannelGetInfo(uint32_t iHandle, TChannelInfo& oInfo);
  // Reads up to iLength bytes (whole frames) of a decode channel, running its chain. Returns the byte count
  // (a push stream returns what is queued), -1 on failure.
  static int64_t ChannelGetData(uint32_t iHandle, void* oBuffer, uint32_t iLength);
  // Bytes delivered by the channel so far.
  static int64_t ChannelGetPosition(uint32_t iHandle);
  // Conversions in the channel's format; -1 on failure. Seconds2Bytes rounds down to whole frames.
  static int64_t ChannelSeconds2Bytes(uint32_t iHandle, double iSeconds);
  static double ChannelBytes2Seconds(uint32_t iHandle, int64_t iBytes);
  // Starts a playing mixer on its output device; a playing one stays playing.
  static bool ChannelPlay(uint32_t iHandle);
  // atVolume (0..1) of a playing mixer.
  static bool ChannelSetAttribute(uint32_t iHandle, uint32_t iAttribute, float iValue);

  // Callback on the channel's float samples, in place, in descending priority among the chain's elements
  // (equal priorities in the order they were set). Returns the element's handle.
  // With iReplaces (a DSP of the same channel) the new callback takes the old one's place between two buffers,
  // so that every buffer passes exactly one of them, and the old one is removed.
  static uint32_t ChannelSetDSP(uint32_t iHandle, TDspCallback iCallback, int32_t iPriority, uint32_t iReplaces = 0);
  static bool ChannelRemoveDSP(uint32_t iHandle, uint32_t iDSP);
  // Effect of type fxChannelMap or fxDelay in the chain; the parameters take effect from the next buffer.
  static uint32_t ChannelSetFX(uint32_t iHandle, uint32_t iType, int32_t iPriority);
  static bool ChannelRemoveFX(uint32_t iHandle, uint32_t iFX);
  static bool FXSetParameters(uint32_t iFX, const TChannelMapParameters& iParameters);
  static bool FXSetParameters(uint32_t iFX, const TDelayParameters& iParameters);
  static bool FXGetParameters(uint32_t iFX, TChannelMapParameters& oParameters);
  static bool FXGetParameters(uint32_t iFX, TDelayParameters& oParameters);

  // Starts an encoder on a float channel at the configured encoder priority and queue length (hold
  // LockEncoderSetup around setting them and this call). iCommand is a program's command line, or with
  // efWAVFile or efCodecFile (encoded as iCodec says) the file to write. With iReplaces (an encoder of the same
  // channel) the new encoder takes the old one's place between two buffers: the old one's last sample and the new one's
  // first are adjacent. The replaced encoder gets no more audio, reports esStopped, keeps its span and is ended by
  // EncodeStop. With efContinue, a replaced file encoder fed through a queue whose settings equal the new ones
  // goes on in the new file (no encoder, thread or queue starts): the old file is finished on its thread, and
  // EncodeStop of the old handle waits for that; otherwise a new encoder starts. iNotify runs on an engine
  // thread; it must neither stop the encoder nor change its notification.
  static uint32_t EncodeStart(uint32_t iChannel, const std::string& iCommand, uint32_t iFlags,
                              TEncodeNotify iNotify = nullptr, uint32_t iReplaces = 0,
                              const TCodecSettings& iCodec = {});
  // Starts an encoder as EncodeStart does, but outside the chain: a standby that takes no audio until
  // EncodeAttach puts it in (its program runs meanwhile, waiting for its input). Freeing the channel frees it.
  static uint32_t EncodePrepare(uint32_t iChannel, const std::string& iCommand, uint32_t iFlags,
                                TEncodeNotify iNotify = nullptr, const TCodecSettings& iCodec = {});
  // Puts the standby iStandby into its channel's chain, in iReplaces' place (0: added), between two buffers as
  // EncodeStart does. False (ecHandle) when iReplaces cannot be replaced: the standby stays one.
  static bool EncodeAttach(uint32_t iStandby, uint32_t iReplaces);
  // Takes the encoder out of its chain (or a standby off its channel), closes its input and waits a bounded time
  // for its program, then frees it. Read its span before.
  static bool EncodeStop(uint32_t iEncoder);
  // esRunning while it takes audio and its program runs, else esStopped.
  static int EncodeIsActive(uint32_t iEncoder);
  static bool EncodeSetNotify(uint32_t iEncoder, TEncodeNotify iNotify);
  // Reads what the program wrote to its standard output (encoders started with the target "-"), waiting up to
  // iTimeoutMilliseconds: the byte count, 0 when nothing came in time, -1 with ecEnded once the program ended
  // and all was read.
  static int64_t EncodeReadOutput(uint32_t iEncoder, void* oBuffer, uint32_t iLength, int iTimeoutMilliseconds = 0);
  // Channel positions (frames) of the encoder's first sample and one past its last, and frames it dropped.
  static bool EncodeGetSpan(uint32_t iEncoder, TEncodeSpan& oSpan);

  // Casting: what the encoder (started with the target "-") writes to its standard output is sent by a sender
  // thread of its own to an Icecast or Shoutcast server; blocks until connected or failed. iServer is
  // "host:port/mount" (Icecast 2, HTTP PUT), "host:port" (Shoutcast v1, ICY, sent to the source port) or
  // "host:port,sid" (Shoutcast v2 stream ID, sent as the legacy protocol with the password "password:#sid").
  // Failure: ecCastDenied for a wrong password, ecNoNet when unreachable or refused, ecTimeout, ecFileOpen when
  // the server refuses the mount, ecAlready when the encoder already sends. A connection lost later stops the
  // encoder (EncodeIsActive turns esStopped) and notifies enCastLost; a slow server drops its own stream's
  // data, never blocks the channel.
  static bool EncodeCastInit(uint32_t iEncoder, const std::string& iServer, const std::string& iPassword,
                             const TStreamInfo& iInfo);
  // Counters of the encoder's cast or built-in server (all 0 while its output goes to neither).
  static bool EncodeGetOutputInfo(uint32_t iEncoder, TEncodeOutputInfo& oInfo);
  // The title (and URL) shown for a cast stream, or sent to the listeners of a built-in server that sends titles;
  // made one line with its quotes replaced (IcyFieldValue). An Ogg cast sends it once the stream's headers and
  // first audio pages have reached the server.
  static bool EncodeCastSetTitle(uint32_t iEncoder, const std::string& iTitle, const std::string& iURL);
  // Built-in stream server: listeners connecting to iAddress ("port", "address:port", "[v6]:port"; the web
  // server's address rules) get the encoder's output with iInfo's icy- headers and content type: iBurst bytes
  // of what came last, then live data; a listener more than iBuffer bytes behind is dropped. With iFlags
  // esfSendTitles, listeners of MP3 and AAC streams asking with "Icy-MetaData: 1" get ICY metadata. Returns the
  // port listened on, 0 on failure (ecInit when the port is in use). Stopping the encoder ends the server.
  static uint32_t EncodeServerInit(uint32_t iEncoder, const std::string& iAddress, uint32_t iBuffer, uint32_t iBurst,
                                   uint32_t iFlags, const TStreamInfo& iInfo);
};
