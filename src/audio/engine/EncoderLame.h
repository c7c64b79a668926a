#pragma once
// MP3 files by libmp3lame, set up as lame is by "--flush -r -s R [-a] -b B -m M - file".

#include "audio/engine/EncoderCodecFile.h"

#include <lame/lame.h>
#include <vector>

class TEncoderLame final : public TEncoderCodecFile
{
public:
  TEncoderLame(const std::string& iPath, uint32_t iSampleRate, uint32_t iChannels, const TCodecSettings& iCodec)
      : TEncoderCodecFile(iPath, iSampleRate, iChannels, iCodec)
  {
  }
  ~TEncoderLame() override;

private:
  bool Open() override;
  bool Encode(const int16_t* iSamples, size_t iFrames) override;
  void Close() override;

  lame_global_flags* fLame = nullptr;
  std::vector<uint8_t> fOutput;
};
