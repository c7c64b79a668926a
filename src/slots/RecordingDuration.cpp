#include "slots/RecordingDuration.h"

#include "audio/engine/EncoderWavHeader.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace
{
uint32_t U32(const uint8_t* iData)
{
  return iData[0] | iData[1] << 8 | iData[2] << 16 | static_cast<uint32_t>(iData[3]) << 24;
}
uint16_t U16(const uint8_t* iData)
{
  return static_cast<uint16_t>(iData[0] | iData[1] << 8);
}

// The descriptor closes with the scope.
class TFd
{
public:
  explicit TFd(int iFd) : fFd(iFd) {}
  ~TFd()
  {
    if (fFd >= 0)
      ::close(fFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fFd; }

private:
  int fFd;
};

// A WAV file as this program writes it (16-bit PCM or 32-bit float, the header of BuildWavHeader): its length
// from the data it holds, the header rewritten when its sizes say otherwise. Nothing for any other file.
std::optional<TMeasuredDuration> MeasureOwnWav(const std::string& iPath)
{
  const TFd file(::open(iPath.c_str(), O_RDWR | O_CLOEXEC));
  struct stat info;
  uint8_t stored[kMaxWavHeaderSize];
  if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || ::pread(file.Get(), stored, 44, 0) != 44 ||
      std::memcmp(stored, "RIFF", 4) != 0 || std::memcmp(stored + 8, "WAVEfmt ", 8) != 0)
    return std::nullopt;
  const uint16_t tag = U16(stored + 20);
  TWavFormat format{U32(stored + 24), U16(stored + 22), tag == 3};
  if ((tag != 1 && tag != 3) || format.Channels == 0 || format.SampleRate == 0 ||
      U16(stored + 34) != (format.Float ? 32 : 16))
    return std::nullopt;
  uint8_t expected[kMaxWavHeaderSize];
  const size_t headerSize = BuildWavHeader(format, 0, expected);
  if (static_cast<size_t>(::pread(file.Get(), stored, headerSize, 0)) != headerSize ||
      std::memcmp(stored + headerSize - 8, "data", 4) != 0 || info.st_size < static_cast<off_t>(headerSize))
    return std::nullopt;
  const uint64_t data = static_cast<uint64_t>(info.st_size) - headerSize;
  BuildWavHeader(format, data, expected);
  TMeasuredDuration result;
  result.Seconds = static_cast<double>(data / format.BytesPerFrame()) / format.SampleRate;
  if (std::memcmp(stored, expected, headerSize) != 0)
    result.HeaderRepaired =
        ::pwrite(file.Get(), expected, headerSize, 0) == static_cast<ssize_t>(headerSize) && ::fsync(file.Get()) == 0;
  return result;
}

// Any other format: the samples its first audio stream decodes to.
std::optional<TMeasuredDuration> MeasureByDecoding(const std::string& iPath)
{
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, iPath.c_str(), nullptr, nullptr) < 0)
    return std::nullopt;
  std::optional<TMeasuredDuration> result;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  const AVCodec* decoder = nullptr;
  const int stream = avformat_find_stream_info(format, nullptr) >= 0
                         ? av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0)
                         : -1;
  if (stream >= 0 && packet && frame && (codec = avcodec_alloc_context3(decoder)) &&
      avcodec_parameters_to_context(codec, format->streams[stream]->codecpar) >= 0 &&
      avcodec_open2(codec, decoder, nullptr) >= 0 && codec->sample_rate > 0)
  {
    int64_t samples = 0;
    auto drain = [&]
    {
      while (avcodec_receive_frame(codec, frame) >= 0)
        samples += frame->nb_samples;
    };
    while (av_read_frame(format, packet) >= 0)
    {
      if (packet->stream_index == stream && avcodec_send_packet(codec, packet) >= 0)
        drain();
      av_packet_unref(packet);
    }
    avcodec_send_packet(codec, nullptr);
    drain();
    result = TMeasuredDuration{static_cast<double>(samples) / codec->sample_rate, false};
  }
  avcodec_free_context(&codec);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avformat_close_input(&format);
  return result;
}
} // namespace

std::optional<TMeasuredDuration> MeasureRecordingDuration(const std::string& iPath)
{
  if (auto wav = MeasureOwnWav(iPath))
    return wav;
  return MeasureByDecoding(iPath);
}
