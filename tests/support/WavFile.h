#pragma once
// A RIFF/WAVE file as tests examine it: the format chunk's fields and the data chunk, with the sizes its headers
// state next to what the file really holds, so that a test can check both.

#include <cstdint>
#include <string>
#include <vector>

struct TWavFile
{
  // Found "RIFF", "WAVE" and a data chunk.
  bool Valid = false;
  uint16_t FormatTag = 0, Channels = 0, Bits = 0;
  uint32_t SampleRate = 0;
  uint64_t FileSize = 0;
  uint32_t RiffSize = 0;     // as the header says: everything after its own 8 bytes
  uint64_t DataOffset = 0;   // where the data chunk's samples start in the file
  uint32_t DataSize = 0;     // as the data chunk's header says
  std::vector<uint8_t> Data; // everything after the data chunk's header, to the end of the file

  // The data chunk (at most DataSize bytes of Data), interleaved samples.
  std::vector<int16_t> Samples16() const;
  std::vector<float> SamplesFloat() const;
};

// Walks the chunks of iPath; Valid is false when it is no RIFF/WAVE file with a data chunk.
TWavFile ReadWavFile(const std::string& iPath);
