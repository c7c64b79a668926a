#include "audio/engine/EncoderLame.h"

#include <algorithm>
#include <climits>

namespace
{
// What lame_encode_buffer may write for n frames at most: 1.25 n + 7200 bytes (lame.h).
size_t OutputBound(size_t iFrames)
{
  return iFrames + iFrames / 4 + 7200;
}

MPEG_mode LameMode(TCodecMode iMode)
{
  switch (iMode)
  {
  case cmMono:
    return MONO;
  case cmJointStereo:
    return JOINT_STEREO;
  default:
    return STEREO;
  }
}
} // namespace

TEncoderLame::~TEncoderLame()
{
  if (fLame)
    lame_close(fLame);
}

bool TEncoderLame::Open()
{
  fLame = lame_init();
  if (!fLame)
    return false;
  // lame's front end analyses ReplayGain unless told not to; the figure goes into the info frame.
  lame_set_findReplayGain(fLame, 1);
  lame_set_in_samplerate(fLame, static_cast<int>(fSampleRate));
  lame_set_num_channels(fLame, static_cast<int>(fChannels));
  lame_set_brate(fLame, static_cast<int>(fCodec.Bitrate));
  // Mono output from stereo input is mixed down by the library, as "-a" asks the program to.
  lame_set_mode(fLame, LameMode(fCodec.Mode));
  if (lame_init_params(fLame) < 0)
    return false;
  fOutput.resize(OutputBound(4096));
  return true;
}

bool TEncoderLame::Encode(const int16_t* iSamples, size_t iFrames)
{
  if (iFrames > INT_MAX / 2)
    return false;
  if (fOutput.size() < OutputBound(iFrames))
    fOutput.resize(OutputBound(iFrames));
  const int frames = static_cast<int>(iFrames);
  const int size = static_cast<int>(std::min<size_t>(fOutput.size(), INT_MAX));
  // The interleaved call takes a non-const buffer but only reads it.
  const int written = fChannels == 2 ? lame_encode_buffer_interleaved(fLame, const_cast<int16_t*>(iSamples), frames,
                                                                      fOutput.data(), size)
                                     : lame_encode_buffer(fLame, iSamples, iSamples, frames, fOutput.data(), size);
  return written >= 0 && Append(fOutput.data(), static_cast<size_t>(written));
}

void TEncoderLame::Close()
{
  const int written = lame_encode_flush(fLame, fOutput.data(), static_cast<int>(fOutput.size()));
  if (written < 0 || !Append(fOutput.data(), static_cast<size_t>(written)))
    return;
  // The codec began the file with an empty frame for the info frame (frame count, delay, padding, ReplayGain),
  // which is known now; lame writes it over that frame the same way.
  const size_t tag = lame_get_lametag_frame(fLame, fOutput.data(), fOutput.size());
  if (tag > 0 && tag <= fOutput.size())
    WriteAt(fOutput.data(), tag, 0);
}
