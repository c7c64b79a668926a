#pragma once
// Converts interleaved frames of a device's native layout into the stereo format a capture client asked for.
// Pure functions without allocation, so the capture thread can call them per buffer.

#include <cstddef>
#include <cstdint>

enum TDeviceSampleFormat
{
  dsInt16,
  dsInt32,
  dsFloat32
};

// Bytes of one sample of iFormat.
size_t SampleSize(TDeviceSampleFormat iFormat);

// A float sample (full scale 1.0) as a 16-bit one, rounded, clipped beyond full scale.
int16_t FloatToInt16(float iSample);

// Converts iFrames frames of iChannels channels in iFormat from iSource into stereo frames at oTarget, 16-bit
// when iTarget16bit, else 32-bit float. One channel goes to both sides; of more than two, the first two are
// kept. Float input beyond full scale is clipped when converted to 16 bits.
void ConvertToStereo(const void* iSource, TDeviceSampleFormat iFormat, uint32_t iChannels, uint32_t iFrames,
                     bool iTarget16bit, void* oTarget);
