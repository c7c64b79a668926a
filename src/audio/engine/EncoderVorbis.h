#pragma once
// Ogg Vorbis files by libvorbisenc and libogg, set up as oggenc is by "-r -R R -b B -m 16 [--downmix] -o file -":
// managed bit rate with B kbit/s nominal and 16 kbit/s minimum, no comments but the library's vendor, a random
// stream serial number.

#include "audio/engine/EncoderCodecFile.h"

#include <ogg/ogg.h>
#include <vorbis/codec.h>

class TEncoderVorbis final : public TEncoderCodecFile
{
public:
  TEncoderVorbis(const std::string& iPath, uint32_t iSampleRate, uint32_t iChannels, const TCodecSettings& iCodec);
  ~TEncoderVorbis() override;

private:
  bool Open() override;
  bool Encode(const int16_t* iSamples, size_t iFrames) override;
  void Close() override;

  // Encodes the blocks the analysis has ready and appends the pages that are full (all of them with iFlush).
  bool WritePages(bool iFlush = false);

  vorbis_info fInfo;
  vorbis_dsp_state fState;
  vorbis_block fBlock;
  ogg_stream_state fStream;
  bool fCodecReady = false;
  bool fStreamReady = false;
};
