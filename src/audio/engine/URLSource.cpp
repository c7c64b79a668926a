#include "audio/engine/URLSource.h"

#include "audio/engine/EngineTypes.h"
#include "audio/engine/Playlist.h"
#include "audio/engine/StreamTags.h"
#include "audio/engine/StreamURL.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <optional>

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/opt.h>
}

namespace
{
// What the demuxer may read to recognise a stream without a format hint: enough for any stream's first frames,
// little enough that a connection is playable at once.
constexpr const char* kProbeBytes = "32768";
constexpr int64_t kMaxPlaylistBytes = 64 * 1024;
// A playlist may name another playlist, once.
constexpr int kMaxPlaylistDepth = 2;
// A whole attempt (a playlist, its entries, probing) ends after this many time-outs: a dead first entry leaves
// time for the next, and a playlist of servers that never answer does not hold the slot for minutes.
constexpr int kAttemptTimeouts = 3;

int64_t MonotonicMilliseconds()
{
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Once per process, before the first connection: FFmpeg's network and TLS set-up is not safe to run on several
// threads at once. Connection failures are reported through the stream's error code; FFmpeg's own messages
// would repeat every second for a dead station.
void InitLibrary()
{
  static std::once_flag once;
  std::call_once(once,
                 []
                 {
                   avformat_network_init();
                   av_log_set_level(AV_LOG_FATAL);
                 });
}

const AVInputFormat* FormatForContentType(const std::string& iContentType)
{
  std::string type = iContentType.substr(0, iContentType.find(';'));
  std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  const char* name = nullptr;
  if (type == "audio/mpeg" || type == "audio/mp3" || type == "audio/mpg")
    name = "mp3";
  else if (type == "audio/aac" || type == "audio/aacp" || type == "audio/x-aac")
    name = "aac";
  else if (type == "application/ogg" || type == "audio/ogg" || type == "audio/opus" || type == "audio/vorbis")
    name = "ogg";
  else if (type == "audio/flac" || type == "audio/x-flac")
    name = "flac";
  else if (type == "application/vnd.apple.mpegurl" || type == "application/x-mpegurl")
    name = "hls";
  return name ? av_find_input_format(name) : nullptr;
}

AVDictionary* NetworkOptions(int iTimeoutMilliseconds)
{
  AVDictionary* options = nullptr;
  const std::string microseconds = std::to_string(int64_t(iTimeoutMilliseconds) * 1000);
  av_dict_set(&options, "protocol_whitelist", kStreamProtocols, 0);
  av_dict_set(&options, "icy", "1", 0);
  av_dict_set(&options, "timeout", microseconds.c_str(), 0);
  av_dict_set(&options, "rw_timeout", microseconds.c_str(), 0);
  // A live stream is read from start to end; without this the demuxer might look for tags at the end.
  av_dict_set(&options, "seekable", "0", 0);
  av_dict_set(&options, "user_agent", "Tapevault", 0);
  return options;
}

float SampleAt(const AVFrame& iFrame, int iChannel, int iIndex, int iChannels)
{
  const auto format = AVSampleFormat(iFrame.format);
  const bool planar = av_sample_fmt_is_planar(format);
  const uint8_t* plane = iFrame.extended_data[planar ? iChannel : 0];
  const size_t position = planar ? size_t(iIndex) : size_t(iIndex) * iChannels + iChannel;
  switch (av_get_packed_sample_fmt(format))
  {
  case AV_SAMPLE_FMT_FLT:
    return reinterpret_cast<const float*>(plane)[position];
  case AV_SAMPLE_FMT_DBL:
    return float(reinterpret_cast<const double*>(plane)[position]);
  case AV_SAMPLE_FMT_S16:
    return reinterpret_cast<const int16_t*>(plane)[position] / 32768.0f;
  case AV_SAMPLE_FMT_S32:
    return float(reinterpret_cast<const int32_t*>(plane)[position] / 2147483648.0);
  case AV_SAMPLE_FMT_U8:
    return (plane[position] - 128) / 128.0f;
  default:
    return 0.0f;
  }
}
} // namespace

TURLSource::TURLSource(const std::string& iURL, int iTimeoutMilliseconds, bool iPlaylists,
                       const std::atomic<bool>* iAbort)
    : fTimeoutMilliseconds(std::max(iTimeoutMilliseconds, 1)),
      fAttemptDeadline(MonotonicMilliseconds() + int64_t(kAttemptTimeouts) * fTimeoutMilliseconds)
{
  InitLibrary();
  fInterrupt.Abort = iAbort;
  fInterrupt.Stop = &fStop;
  try
  {
    Open(iURL, iPlaylists, 0);
  }
  catch (...)
  {
    Close();
    throw;
  }
  // From now on every packet read has a deadline of its own (DecodeInto).
  fReading = true;
  fInterrupt.Abort = nullptr;
}

TURLSource::~TURLSource()
{
  Close();
}

int TURLSource::Interrupted(void* iInterrupt)
{
  TInterrupt& interrupt = *static_cast<TInterrupt*>(iInterrupt);
  if ((interrupt.Abort && interrupt.Abort->load(std::memory_order_acquire)) ||
      interrupt.Stop->load(std::memory_order_acquire))
    return 1;
  const int64_t deadline = interrupt.Deadline.load(std::memory_order_relaxed);
  if (deadline != 0 && MonotonicMilliseconds() > deadline)
  {
    interrupt.TimedOut = true;
    return 1;
  }
  return 0;
}

void TURLSource::Open(const std::string& iURL, bool iPlaylists, int iDepth)
{
  if (!IsAllowedStreamURL(iURL))
    throw EURLError(ecProtocol, "not an http or https address: " + iURL);
  fInterrupt.TimedOut = false;
  fInterrupt.Deadline = std::min(MonotonicMilliseconds() + fTimeoutMilliseconds, fAttemptDeadline);
  AVDictionary* options = NetworkOptions(fTimeoutMilliseconds);
  const AVIOInterruptCB callback{&TURLSource::Interrupted, &fInterrupt};
  AVIOContext* io = nullptr;
  int result = avio_open2(&io, iURL.c_str(), AVIO_FLAG_READ, &callback, &options);
  av_dict_free(&options);
  if (result < 0)
    Fail(result, iURL);
  uint8_t* mime = nullptr;
  av_opt_get(io, "mime_type", AV_OPT_SEARCH_CHILDREN, &mime);
  const std::string contentType = mime ? reinterpret_cast<char*>(mime) : "";
  av_free(mime);
  if (!iPlaylists || iDepth >= kMaxPlaylistDepth || !IsPlaylistResponse(contentType, iURL))
    return OpenMedia(iURL, contentType, io);

  std::string text;
  uint8_t buffer[4096];
  while (int64_t(text.size()) < kMaxPlaylistBytes)
  {
    int read = avio_read(io, buffer, sizeof buffer);
    if (read <= 0)
      break;
    text.append(reinterpret_cast<char*>(buffer), size_t(read));
  }
  avio_closep(&io);
  if (IsHLSPlaylist(text))
    return OpenMedia(iURL, "application/vnd.apple.mpegurl", nullptr);
  const std::vector<std::string> entries = PlaylistEntries(text, iURL);
  if (entries.empty())
    throw EURLError(ecFileForm, "empty playlist: " + iURL);
  std::optional<EURLError> last;
  for (const std::string& entry : entries)
  {
    try
    {
      Open(entry, iPlaylists, iDepth + 1);
      return;
    }
    catch (const EURLError& error)
    {
      Close();
      if (fStop || (fInterrupt.Abort && *fInterrupt.Abort) || MonotonicMilliseconds() >= fAttemptDeadline)
        throw;
      last = error;
    }
  }
  throw *last;
}

void TURLSource::OpenMedia(const std::string& iURL, const std::string& iContentType, AVIOContext* iIO)
{
  fIO = iIO;
  fFormat = avformat_alloc_context();
  if (!fFormat)
    throw EURLError(ecMemory, "out of memory");
  fFormat->interrupt_callback = AVIOInterruptCB{&TURLSource::Interrupted, &fInterrupt};
  if (fIO)
  {
    fFormat->pb = fIO;
    fFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
  }
  AVDictionary* options = NetworkOptions(fTimeoutMilliseconds);
  av_dict_set(&options, "probesize", kProbeBytes, 0);
  av_dict_set(&options, "formatprobesize", kProbeBytes, 0);
  int result = avformat_open_input(&fFormat, iURL.c_str(), FormatForContentType(iContentType), &options);
  av_dict_free(&options);
  if (result < 0)
    Fail(result, iURL);
  const AVCodec* decoder = nullptr;
  fStreamIndex = av_find_best_stream(fFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
  if (fStreamIndex == AVERROR_STREAM_NOT_FOUND)
  {
    fFormat->max_analyze_duration = AV_TIME_BASE / 2;
    if ((result = avformat_find_stream_info(fFormat, nullptr)) < 0)
      Fail(result, iURL);
    fStreamIndex = av_find_best_stream(fFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
  }
  if (fStreamIndex < 0)
    Fail(fStreamIndex, iURL);
  for (unsigned i = 0; i < fFormat->nb_streams; ++i)
    fFormat->streams[i]->discard = int(i) == fStreamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  fCodec = avcodec_alloc_context3(decoder);
  fPacket = av_packet_alloc();
  fFrame = av_frame_alloc();
  if (!fCodec || !fPacket || !fFrame)
    throw EURLError(ecMemory, "out of memory");
  if (avcodec_parameters_to_context(fCodec, fFormat->streams[fStreamIndex]->codecpar) < 0 ||
      avcodec_open2(fCodec, decoder, nullptr) < 0)
    throw EURLError(ecCodec, "cannot decode " + iURL);
  fPendingMetadata = CommentTitle();
  if (!DecodeInto(fFirst, nullptr))
  {
    if (fInterrupt.TimedOut)
      throw EURLError(ecTimeout, "time-out reading " + iURL);
    throw EURLError(ecFileForm, "no audio in " + iURL);
  }
}

void TURLSource::Close()
{
  avcodec_free_context(&fCodec);
  av_packet_free(&fPacket);
  av_frame_free(&fFrame);
  avformat_close_input(&fFormat);
  if (fIO)
    avio_closep(&fIO);
  // A playlist's next entry starts afresh.
  fStreamIndex = -1;
  fRate = fChannels = 0;
  fDraining = false;
  fFirst.clear();
  fLastIcy.clear();
  fPendingMetadata.clear();
}

void TURLSource::Fail(int iError, const std::string& iURL)
{
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(iError, text, sizeof text);
  const std::string what = iURL + ": " + text;
  if (fInterrupt.TimedOut || iError == AVERROR(ETIMEDOUT))
    throw EURLError(ecTimeout, what);
  switch (iError)
  {
  case AVERROR(ECONNREFUSED):
  case AVERROR(EHOSTUNREACH):
  case AVERROR(ENETUNREACH):
  case AVERROR(EIO): // also a host name that does not resolve
    throw EURLError(ecNoNet, what);
  case AVERROR_INVALIDDATA:
  case AVERROR_STREAM_NOT_FOUND:
  case AVERROR_EOF:     // the whole resource read without finding audio in it
  case AVERROR(EINVAL): // a demuxer that cannot make sense of the data
    throw EURLError(ecFileForm, what);
  case AVERROR_DECODER_NOT_FOUND:
    throw EURLError(ecCodec, what);
  default: // not found, forbidden, other HTTP errors, unknown protocol, aborted
    throw EURLError(ecFileOpen, what);
  }
}

bool TURLSource::Next(std::vector<float>& ioSamples, std::vector<uint8_t>& oPacket)
{
  oPacket.clear();
  ioSamples.clear();
  if (!fFirst.empty())
  {
    ioSamples.swap(fFirst);
    return true;
  }
  return DecodeInto(ioSamples, &oPacket);
}

bool TURLSource::DecodeInto(std::vector<float>& ioSamples, std::vector<uint8_t>* oPacket)
{
  for (;;)
  {
    int result = avcodec_receive_frame(fCodec, fFrame);
    if (result == 0)
    {
      if (fRate == 0)
      {
        fRate = uint32_t(fFrame->sample_rate);
        fChannels = uint32_t(std::clamp(fFrame->ch_layout.nb_channels, 1, 2));
      }
      // The channel's rate is fixed; a station that changes it is reconnected.
      if (uint32_t(fFrame->sample_rate) != fRate || fFrame->ch_layout.nb_channels < 1)
        return false;
      Append(*fFrame, ioSamples);
      av_frame_unref(fFrame);
      return true;
    }
    if (result != AVERROR(EAGAIN) || fDraining)
      return false;
    // A connection that delivers nothing for the time-out is given up, whichever protocol or demuxer waits.
    if (fReading)
      fInterrupt.Deadline = MonotonicMilliseconds() + fTimeoutMilliseconds;
    result = av_read_frame(fFormat, fPacket);
    if (result == AVERROR(EAGAIN))
      continue;
    if (result < 0)
    {
      fEndCode = fInterrupt.TimedOut || result == AVERROR(ETIMEDOUT) ? ecTimeout : ecEnded;
      fDraining = true;
      avcodec_send_packet(fCodec, nullptr);
      continue;
    }
    PollMetadata();
    if (fPacket->stream_index == fStreamIndex)
    {
      if (oPacket)
        oPacket->insert(oPacket->end(), fPacket->data, fPacket->data + fPacket->size);
      // A damaged packet of a live stream costs its audio, not the connection.
      avcodec_send_packet(fCodec, fPacket);
    }
    av_packet_unref(fPacket);
  }
}

void TURLSource::Append(const AVFrame& iFrame, std::vector<float>& ioSamples) const
{
  const int channels = iFrame.ch_layout.nb_channels;
  const size_t start = ioSamples.size();
  ioSamples.resize(start + size_t(iFrame.nb_samples) * fChannels);
  float* out = ioSamples.data() + start;
  // Planar float is what the MP3, AAC, Vorbis and Opus decoders give: copied without a look per sample.
  if (iFrame.format == AV_SAMPLE_FMT_FLTP)
  {
    const auto* left = reinterpret_cast<const float*>(iFrame.extended_data[0]);
    const auto* right = reinterpret_cast<const float*>(iFrame.extended_data[std::min(channels, 2) - 1]);
    if (fChannels == 1)
      std::copy(left, left + iFrame.nb_samples, out);
    else
      for (int i = 0; i < iFrame.nb_samples; ++i)
      {
        *out++ = left[i];
        *out++ = right[i];
      }
    return;
  }
  for (int i = 0; i < iFrame.nb_samples; ++i)
    for (uint32_t c = 0; c < fChannels; ++c)
      *out++ = SampleAt(iFrame, std::min(int(c), channels - 1), i, channels);
}

void TURLSource::PollMetadata()
{
  uint8_t* icy = nullptr;
  if (fFormat->pb && av_opt_get(fFormat->pb, "icy_metadata_packet", AV_OPT_SEARCH_CHILDREN, &icy) >= 0 && icy)
  {
    const std::string text = reinterpret_cast<char*>(icy);
    if (!text.empty() && text != fLastIcy)
      fPendingMetadata = fLastIcy = text;
  }
  av_free(icy);
  AVStream* stream = fFormat->streams[fStreamIndex];
  if ((stream->event_flags & AVSTREAM_EVENT_FLAG_METADATA_UPDATED) ||
      (fFormat->event_flags & AVFMT_EVENT_FLAG_METADATA_UPDATED))
  {
    stream->event_flags &= ~AVSTREAM_EVENT_FLAG_METADATA_UPDATED;
    fFormat->event_flags &= ~AVFMT_EVENT_FLAG_METADATA_UPDATED;
    const std::string title = CommentTitle();
    if (!title.empty())
      fPendingMetadata = title;
  }
}

std::string TURLSource::CommentTitle() const
{
  auto tag = [this](const char* iKey)
  {
    const AVDictionaryEntry* entry = av_dict_get(fFormat->streams[fStreamIndex]->metadata, iKey, nullptr, 0);
    if (!entry)
      entry = av_dict_get(fFormat->metadata, iKey, nullptr, 0);
    return std::string(entry ? entry->value : "");
  };
  return VorbisCommentStreamTitle(tag("artist"), tag("title"));
}

std::string TURLSource::TakeChangedMetadata()
{
  std::string text;
  text.swap(fPendingMetadata);
  return text;
}
