#pragma once
// Conversion of the mixer's float samples into the bytes an encoder target receives.

#include <cstddef>
#include <cstdint>

// 16-bit signed little-endian (clamped, rounded) or 32-bit float little-endian (unchanged).
size_t EncoderBytesPerSample(bool i16Bit);
// Converts iCount samples into oBytes (iCount * EncoderBytesPerSample bytes) and returns the byte count.
size_t ConvertEncoderSamples(const float* iSamples, size_t iCount, bool i16Bit, uint8_t* oBytes);
