#include "WavFile.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace
{
uint32_t LittleEndian(const std::vector<uint8_t>& iBytes, size_t iPos, int iSize)
{
  uint32_t value = 0;
  for (int i = iSize - 1; i >= 0; --i)
    value = value << 8 | iBytes[iPos + static_cast<size_t>(i)];
  return value;
}

template <class TSample> std::vector<TSample> SamplesOf(const TWavFile& iFile)
{
  std::vector<TSample> samples(std::min<size_t>(iFile.DataSize, iFile.Data.size()) / sizeof(TSample));
  std::memcpy(samples.data(), iFile.Data.data(), samples.size() * sizeof(TSample));
  return samples;
}
} // namespace

std::vector<int16_t> TWavFile::Samples16() const
{
  return SamplesOf<int16_t>(*this);
}

std::vector<float> TWavFile::SamplesFloat() const
{
  return SamplesOf<float>(*this);
}

TWavFile ReadWavFile(const std::string& iPath)
{
  std::ifstream stream(iPath, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  TWavFile file;
  file.FileSize = bytes.size();
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
    return file;
  file.RiffSize = LittleEndian(bytes, 4, 4);
  for (size_t pos = 12; pos + 8 <= bytes.size();)
  {
    const uint32_t size = LittleEndian(bytes, pos + 4, 4);
    if (std::memcmp(&bytes[pos], "fmt ", 4) == 0 && pos + 24 <= bytes.size())
    {
      file.FormatTag = static_cast<uint16_t>(LittleEndian(bytes, pos + 8, 2));
      file.Channels = static_cast<uint16_t>(LittleEndian(bytes, pos + 10, 2));
      file.SampleRate = LittleEndian(bytes, pos + 12, 4);
      file.Bits = static_cast<uint16_t>(LittleEndian(bytes, pos + 22, 2));
    }
    if (std::memcmp(&bytes[pos], "data", 4) == 0)
    {
      file.Valid = true;
      file.DataOffset = pos + 8;
      file.DataSize = size;
      file.Data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos + 8), bytes.end());
      break;
    }
    pos += 8 + static_cast<size_t>(size) + (size & 1);
  }
  return file;
}
