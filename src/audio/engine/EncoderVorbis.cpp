#include "audio/engine/EncoderVorbis.h"

#include <random>
#include <vorbis/vorbisenc.h>

namespace
{
// oggenc's minimum bit rate ("-m 16"), which switches bit-rate management on.
constexpr long kMinimumBitrate = 16000;
} // namespace

TEncoderVorbis::TEncoderVorbis(const std::string& iPath, uint32_t iSampleRate, uint32_t iChannels,
                               const TCodecSettings& iCodec)
    : TEncoderCodecFile(iPath, iSampleRate, iChannels, iCodec)
{
  vorbis_info_init(&fInfo);
}

TEncoderVorbis::~TEncoderVorbis()
{
  if (fStreamReady)
    ogg_stream_clear(&fStream);
  if (fCodecReady)
  {
    vorbis_block_clear(&fBlock);
    vorbis_dsp_clear(&fState);
  }
  vorbis_info_clear(&fInfo);
}

bool TEncoderVorbis::Open()
{
  const int channels = fCodec.Mode == cmMono ? 1 : static_cast<int>(fChannels);
  if (vorbis_encode_setup_managed(&fInfo, channels, static_cast<long>(fSampleRate), -1,
                                  static_cast<long>(fCodec.Bitrate) * 1000, kMinimumBitrate) != 0 ||
      vorbis_encode_setup_init(&fInfo) != 0 || vorbis_analysis_init(&fState, &fInfo) != 0)
    return false;
  vorbis_block_init(&fState, &fBlock);
  fCodecReady = true;
  ogg_stream_init(&fStream, static_cast<int>(std::random_device()()));
  fStreamReady = true;
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  ogg_packet identification, comments, books;
  vorbis_analysis_headerout(&fState, &comment, &identification, &comments, &books);
  ogg_stream_packetin(&fStream, &identification);
  ogg_stream_packetin(&fStream, &comments);
  ogg_stream_packetin(&fStream, &books);
  vorbis_comment_clear(&comment);
  // The headers end on a page of their own: the audio begins on a fresh one.
  return WritePages(true);
}

bool TEncoderVorbis::Encode(const int16_t* iSamples, size_t iFrames)
{
  float** buffer = vorbis_analysis_buffer(&fState, static_cast<int>(iFrames));
  // The program's conversion of 16-bit input, and its mixdown.
  if (fCodec.Mode == cmMono && fChannels == 2)
    for (size_t i = 0; i < iFrames; ++i)
      buffer[0][i] = (iSamples[2 * i] / 32768.0f + iSamples[2 * i + 1] / 32768.0f) * 0.5f;
  else
    for (size_t i = 0; i < iFrames; ++i)
      for (uint32_t channel = 0; channel < fChannels; ++channel)
        buffer[channel][i] = iSamples[i * fChannels + channel] / 32768.0f;
  vorbis_analysis_wrote(&fState, static_cast<int>(iFrames));
  return WritePages();
}

void TEncoderVorbis::Close()
{
  vorbis_analysis_wrote(&fState, 0);
  WritePages(true);
}

bool TEncoderVorbis::WritePages(bool iFlush)
{
  while (vorbis_analysis_blockout(&fState, &fBlock) == 1)
  {
    vorbis_analysis(&fBlock, nullptr);
    vorbis_bitrate_addblock(&fBlock);
    ogg_packet packet;
    while (vorbis_bitrate_flushpacket(&fState, &packet) == 1)
      ogg_stream_packetin(&fStream, &packet);
  }
  ogg_page page;
  while (iFlush ? ogg_stream_flush(&fStream, &page) != 0 : ogg_stream_pageout(&fStream, &page) != 0)
    if (!Append(page.header, static_cast<size_t>(page.header_len)) ||
        !Append(page.body, static_cast<size_t>(page.body_len)))
      return false;
  return true;
}
