#pragma once
// Sample format conversions between a channel's samples and the float frames mixers and encoders work on.

#include "audio/engine/Channel.h"

#include <cstdint>

// Converts iFrames frames of iFormat to float frames of iOutChannels channels, taking the first
// iOutChannels channels of each frame (iOutChannels <= iFormat.Channels).
void ConvertToFloat(const void* iRaw, const TChannelFormat& iFormat, uint32_t iFrames, float* oOut,
                    uint32_t iOutChannels);

// Widens mono frames to stereo in place: the first iFrames floats of ioBuffer become 2 * iFrames.
void MonoToStereoInPlace(float* ioBuffer, uint32_t iFrames);
