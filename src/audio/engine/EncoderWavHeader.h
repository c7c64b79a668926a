#pragma once
// The RIFF/WAVE header in front of the samples: of a WAV file and of the stream a program receives.

#include <cstddef>
#include <cstdint>

struct TWavFormat
{
  uint32_t SampleRate = 0;
  uint16_t Channels = 0;
  bool Float = false; // 32-bit IEEE float (format tag 3), else 16-bit PCM

  uint16_t BytesPerFrame() const { return static_cast<uint16_t>(Channels * (Float ? 4 : 2)); }
};

// Size of the largest header (float: fmt with its extension size and a fact chunk).
constexpr size_t kMaxWavHeaderSize = 58;
// Data size for a stream whose length is not known (a pipe): every size field is set to its maximum, which
// readers take as "until the end of the input".
constexpr uint64_t kWavUnknownDataSize = UINT64_MAX;

// Writes the header for iDataBytes of samples to oHeader and returns its size. Sizes beyond the format's
// 32-bit fields are clamped to their maximum (whole frames).
size_t BuildWavHeader(const TWavFormat& iFormat, uint64_t iDataBytes, uint8_t (&oHeader)[kMaxWavHeaderSize]);
