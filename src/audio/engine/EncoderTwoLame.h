#pragma once
// MP2 files by libtwolame, set up as twolame is by "-m M -r -s R -b B - file".

#include "audio/engine/EncoderCodecFile.h"

#include <twolame.h>
#include <vector>

class TEncoderTwoLame final : public TEncoderCodecFile
{
public:
  TEncoderTwoLame(const std::string& iPath, uint32_t iSampleRate, uint32_t iChannels, const TCodecSettings& iCodec)
      : TEncoderCodecFile(iPath, iSampleRate, iChannels, iCodec)
  {
  }
  ~TEncoderTwoLame() override;

private:
  bool Open() override;
  bool Encode(const int16_t* iSamples, size_t iFrames) override;
  void Close() override;

  twolame_options* fOptions = nullptr;
  std::vector<uint8_t> fOutput;
};
