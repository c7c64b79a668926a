#include "audio/engine/URLSource.h"

#include "audio/engine/EngineTypes.h"
#include "audio/engine/Playlist.h"
#include "audio/engine/StreamTags.h"

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

int64_t MonotonicMilliseconds()
{
  timespec Now{};
  clock_gettime(CLOCK_MONOTONIC, &Now);
  return int64_t(Now.tv_sec) * 1000 + Now.tv_nsec / 1000000;
}

// Connection failures are reported through the stream's error code; FFmpeg's own messages would repeat every
// second for a dead station.
void QuietLibraryLog()
{
  static std::once_flag Once;
  std::call_once(Once, [] { av_log_set_level(AV_LOG_FATAL); });
}

const AVInputFormat* FormatForContentType(const std::string& iContentType)
{
  std::string Type = iContentType.substr(0, iContentType.find(';'));
  std::transform(Type.begin(), Type.end(), Type.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  const char* Name = nullptr;
  if (Type == "audio/mpeg" || Type == "audio/mp3" || Type == "audio/mpg")
    Name = "mp3";
  else if (Type == "audio/aac" || Type == "audio/aacp" || Type == "audio/x-aac")
    Name = "aac";
  else if (Type == "application/ogg" || Type == "audio/ogg" || Type == "audio/opus" || Type == "audio/vorbis")
    Name = "ogg";
  else if (Type == "audio/flac" || Type == "audio/x-flac")
    Name = "flac";
  else if (Type == "application/vnd.apple.mpegurl" || Type == "application/x-mpegurl")
    Name = "hls";
  return Name ? av_find_input_format(Name) : nullptr;
}

AVDictionary* NetworkOptions(int iTimeoutMilliseconds)
{
  AVDictionary* Options = nullptr;
  const std::string Microseconds = std::to_string(int64_t(iTimeoutMilliseconds) * 1000);
  av_dict_set(&Options, "icy", "1", 0);
  av_dict_set(&Options, "timeout", Microseconds.c_str(), 0);
  av_dict_set(&Options, "rw_timeout", Microseconds.c_str(), 0);
  // A live stream is read from start to end; without this the demuxer might look for tags at the end.
  av_dict_set(&Options, "seekable", "0", 0);
  av_dict_set(&Options, "user_agent", "Tapevault", 0);
  return Options;
}

float SampleAt(const AVFrame& iFrame, int iChannel, int iIndex, int iChannels)
{
  const auto Format = AVSampleFormat(iFrame.format);
  const bool Planar = av_sample_fmt_is_planar(Format);
  const uint8_t* Plane = iFrame.extended_data[Planar ? iChannel : 0];
  const size_t Position = Planar ? size_t(iIndex) : size_t(iIndex) * iChannels + iChannel;
  switch (av_get_packed_sample_fmt(Format))
  {
  case AV_SAMPLE_FMT_FLT:
    return reinterpret_cast<const float*>(Plane)[Position];
  case AV_SAMPLE_FMT_DBL:
    return float(reinterpret_cast<const double*>(Plane)[Position]);
  case AV_SAMPLE_FMT_S16:
    return reinterpret_cast<const int16_t*>(Plane)[Position] / 32768.0f;
  case AV_SAMPLE_FMT_S32:
    return float(reinterpret_cast<const int32_t*>(Plane)[Position] / 2147483648.0);
  case AV_SAMPLE_FMT_U8:
    return (Plane[Position] - 128) / 128.0f;
  default:
    return 0.0f;
  }
}
} // namespace

TURLSource::TURLSource(const std::string& iURL, int iTimeoutMilliseconds, bool iPlaylists,
                       const std::atomic<bool>* iAbort)
    : fTimeoutMilliseconds(std::max(iTimeoutMilliseconds, 1))
{
  QuietLibraryLog();
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
  // From now on the network options' read time-out bounds every wait.
  fInterrupt.Deadline = 0;
  fInterrupt.Abort = nullptr;
}

TURLSource::~TURLSource()
{
  Close();
}

int TURLSource::Interrupted(void* iInterrupt)
{
  TInterrupt& Interrupt = *static_cast<TInterrupt*>(iInterrupt);
  if ((Interrupt.Abort && Interrupt.Abort->load(std::memory_order_acquire)) ||
      Interrupt.Stop->load(std::memory_order_acquire))
    return 1;
  const int64_t Deadline = Interrupt.Deadline.load(std::memory_order_relaxed);
  if (Deadline != 0 && MonotonicMilliseconds() > Deadline)
  {
    Interrupt.TimedOut = true;
    return 1;
  }
  return 0;
}

void TURLSource::Open(const std::string& iURL, bool iPlaylists, int iDepth)
{
  fInterrupt.TimedOut = false;
  fInterrupt.Deadline = MonotonicMilliseconds() + fTimeoutMilliseconds;
  AVDictionary* Options = NetworkOptions(fTimeoutMilliseconds);
  const AVIOInterruptCB Callback{&TURLSource::Interrupted, &fInterrupt};
  AVIOContext* IO = nullptr;
  int Result = avio_open2(&IO, iURL.c_str(), AVIO_FLAG_READ, &Callback, &Options);
  av_dict_free(&Options);
  if (Result < 0)
    Fail(Result, iURL);
  uint8_t* Mime = nullptr;
  av_opt_get(IO, "mime_type", AV_OPT_SEARCH_CHILDREN, &Mime);
  const std::string ContentType = Mime ? reinterpret_cast<char*>(Mime) : "";
  av_free(Mime);
  if (!iPlaylists || iDepth >= kMaxPlaylistDepth || !IsPlaylistResponse(ContentType, iURL))
    return OpenMedia(iURL, ContentType, IO);

  std::string Text;
  uint8_t Buffer[4096];
  while (int64_t(Text.size()) < kMaxPlaylistBytes)
  {
    int Read = avio_read(IO, Buffer, sizeof Buffer);
    if (Read <= 0)
      break;
    Text.append(reinterpret_cast<char*>(Buffer), size_t(Read));
  }
  avio_closep(&IO);
  if (IsHLSPlaylist(Text))
    return OpenMedia(iURL, "application/vnd.apple.mpegurl", nullptr);
  const std::vector<std::string> Entries = PlaylistEntries(Text, iURL);
  if (Entries.empty())
    throw EURLError(ecFileForm, "empty playlist: " + iURL);
  std::optional<EURLError> Last;
  for (const std::string& Entry : Entries)
  {
    try
    {
      Open(Entry, iPlaylists, iDepth + 1);
      return;
    }
    catch (const EURLError& Error)
    {
      Close();
      if (fStop || (fInterrupt.Abort && *fInterrupt.Abort))
        throw;
      Last = Error;
    }
  }
  throw *Last;
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
  AVDictionary* Options = NetworkOptions(fTimeoutMilliseconds);
  av_dict_set(&Options, "probesize", kProbeBytes, 0);
  av_dict_set(&Options, "formatprobesize", kProbeBytes, 0);
  int Result = avformat_open_input(&fFormat, iURL.c_str(), FormatForContentType(iContentType), &Options);
  av_dict_free(&Options);
  if (Result < 0)
    Fail(Result, iURL);
  const AVCodec* Decoder = nullptr;
  fStreamIndex = av_find_best_stream(fFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &Decoder, 0);
  if (fStreamIndex == AVERROR_STREAM_NOT_FOUND)
  {
    fFormat->max_analyze_duration = AV_TIME_BASE / 2;
    if ((Result = avformat_find_stream_info(fFormat, nullptr)) < 0)
      Fail(Result, iURL);
    fStreamIndex = av_find_best_stream(fFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &Decoder, 0);
  }
  if (fStreamIndex < 0)
    Fail(fStreamIndex, iURL);
  for (unsigned i = 0; i < fFormat->nb_streams; ++i)
    fFormat->streams[i]->discard = int(i) == fStreamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  fCodec = avcodec_alloc_context3(Decoder);
  fPacket = av_packet_alloc();
  fFrame = av_frame_alloc();
  if (!fCodec || !fPacket || !fFrame)
    throw EURLError(ecMemory, "out of memory");
  if (avcodec_parameters_to_context(fCodec, fFormat->streams[fStreamIndex]->codecpar) < 0 ||
      avcodec_open2(fCodec, Decoder, nullptr) < 0)
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
  char Text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(iError, Text, sizeof Text);
  const std::string What = iURL + ": " + Text;
  if (fInterrupt.TimedOut || iError == AVERROR(ETIMEDOUT))
    throw EURLError(ecTimeout, What);
  switch (iError)
  {
  case AVERROR(ECONNREFUSED):
  case AVERROR(EHOSTUNREACH):
  case AVERROR(ENETUNREACH):
  case AVERROR(EIO): // also a host name that does not resolve
    throw EURLError(ecNoNet, What);
  case AVERROR_INVALIDDATA:
  case AVERROR_STREAM_NOT_FOUND:
  case AVERROR_EOF:     // the whole resource read without finding audio in it
  case AVERROR(EINVAL): // a demuxer that cannot make sense of the data
    throw EURLError(ecFileForm, What);
  case AVERROR_DECODER_NOT_FOUND:
    throw EURLError(ecCodec, What);
  default: // not found, forbidden, other HTTP errors, unknown protocol, aborted
    throw EURLError(ecFileOpen, What);
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
    int Result = avcodec_receive_frame(fCodec, fFrame);
    if (Result == 0)
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
    if (Result != AVERROR(EAGAIN) || fDraining)
      return false;
    Result = av_read_frame(fFormat, fPacket);
    if (Result == AVERROR(EAGAIN))
      continue;
    if (Result < 0)
    {
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
  const int Channels = iFrame.ch_layout.nb_channels;
  const size_t Start = ioSamples.size();
  ioSamples.resize(Start + size_t(iFrame.nb_samples) * fChannels);
  float* Out = ioSamples.data() + Start;
  // Planar float is what the MP3, AAC, Vorbis and Opus decoders give: copied without a look per sample.
  if (iFrame.format == AV_SAMPLE_FMT_FLTP)
  {
    const auto* Left = reinterpret_cast<const float*>(iFrame.extended_data[0]);
    const auto* Right = reinterpret_cast<const float*>(iFrame.extended_data[std::min(Channels, 2) - 1]);
    if (fChannels == 1)
      std::copy(Left, Left + iFrame.nb_samples, Out);
    else
      for (int i = 0; i < iFrame.nb_samples; ++i)
      {
        *Out++ = Left[i];
        *Out++ = Right[i];
      }
    return;
  }
  for (int i = 0; i < iFrame.nb_samples; ++i)
    for (uint32_t c = 0; c < fChannels; ++c)
      *Out++ = SampleAt(iFrame, std::min(int(c), Channels - 1), i, Channels);
}

void TURLSource::PollMetadata()
{
  uint8_t* Icy = nullptr;
  if (fFormat->pb && av_opt_get(fFormat->pb, "icy_metadata_packet", AV_OPT_SEARCH_CHILDREN, &Icy) >= 0 && Icy)
  {
    const std::string Text = reinterpret_cast<char*>(Icy);
    if (!Text.empty() && Text != fLastIcy)
      fPendingMetadata = fLastIcy = Text;
  }
  av_free(Icy);
  AVStream* Stream = fFormat->streams[fStreamIndex];
  if ((Stream->event_flags & AVSTREAM_EVENT_FLAG_METADATA_UPDATED) ||
      (fFormat->event_flags & AVFMT_EVENT_FLAG_METADATA_UPDATED))
  {
    Stream->event_flags &= ~AVSTREAM_EVENT_FLAG_METADATA_UPDATED;
    fFormat->event_flags &= ~AVFMT_EVENT_FLAG_METADATA_UPDATED;
    const std::string Title = CommentTitle();
    if (!Title.empty())
      fPendingMetadata = Title;
  }
}

std::string TURLSource::CommentTitle() const
{
  auto Tag = [this](const char* iKey)
  {
    const AVDictionaryEntry* Entry = av_dict_get(fFormat->streams[fStreamIndex]->metadata, iKey, nullptr, 0);
    if (!Entry)
      Entry = av_dict_get(fFormat->metadata, iKey, nullptr, 0);
    return std::string(Entry ? Entry->value : "");
  };
  return VorbisCommentStreamTitle(Tag("artist"), Tag("title"));
}

std::string TURLSource::TakeChangedMetadata()
{
  std::string Text;
  Text.swap(fPendingMetadata);
  return Text;
}
