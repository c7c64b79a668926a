#include "audio/engine/EncoderTwoLame.h"

#include <algorithm>
#include <climits>

namespace
{
// The largest frame (384 kbit/s at 32 kHz) is 1728 bytes for 1152 frames; this leaves room for several.
size_t OutputBound(size_t iFrames)
{
  return 2 * iFrames + 16384;
}

TWOLAME_MPEG_mode TwoLameMode(TCodecMode iMode)
{
  switch (iMode)
  {
  case cmMono:
    return TWOLAME_MONO;
  case cmJointStereo:
    return TWOLAME_JOINT_STEREO;
  default:
    return TWOLAME_STEREO;
  }
}
} // namespace

TEncoderTwoLame::~TEncoderTwoLame()
{
  if (fOptions)
    twolame_close(&fOptions);
}

bool TEncoderTwoLame::Open()
{
  fOptions = twolame_init();
  if (!fOptions)
    return false;
  twolame_set_num_channels(fOptions, static_cast<int>(fChannels));
  twolame_set_in_samplerate(fOptions, static_cast<int>(fSampleRate));
  twolame_set_out_samplerate(fOptions, static_cast<int>(fSampleRate));
  // Mono output from stereo input is mixed down by the library.
  twolame_set_mode(fOptions, TwoLameMode(fCodec.Mode));
  twolame_set_bitrate(fOptions, static_cast<int>(fCodec.Bitrate));
  if (twolame_init_params(fOptions) != 0)
    return false;
  fOutput.resize(OutputBound(4096));
  return true;
}

bool TEncoderTwoLame::Encode(const int16_t* iSamples, size_t iFrames)
{
  if (iFrames > INT_MAX / 4)
    return false;
  if (fOutput.size() < OutputBound(iFrames))
    fOutput.resize(OutputBound(iFrames));
  const int size = static_cast<int>(std::min<size_t>(fOutput.size(), INT_MAX));
  const int frames = static_cast<int>(iFrames);
  const int written = fChannels == 2
                          ? twolame_encode_buffer_interleaved(fOptions, iSamples, frames, fOutput.data(), size)
                          : twolame_encode_buffer(fOptions, iSamples, iSamples, frames, fOutput.data(), size);
  return written >= 0 && Append(fOutput.data(), static_cast<size_t>(written));
}

void TEncoderTwoLame::Close()
{
  const int written = twolame_encode_flush(fOptions, fOutput.data(), static_cast<int>(fOutput.size()));
  if (written > 0)
    Append(fOutput.data(), static_cast<size_t>(written));
}
