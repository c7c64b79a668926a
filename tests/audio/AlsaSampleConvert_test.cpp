#include "audio/backends/SampleConvert.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace
{
template <typename T> std::vector<unsigned char> Bytes(std::initializer_list<T> iValues)
{
  std::vector<unsigned char> result(iValues.size() * sizeof(T));
  std::memcpy(result.data(), std::data(iValues), result.size());
  return result;
}

struct TCase
{
  const char* Name;
  std::vector<unsigned char> Source;
  TDeviceSampleFormat Format;
  uint32_t Channels;
  bool Target16bit;
  std::vector<unsigned char> Expected;
};

TEST(AlsaSampleConvert, ConvertsToStereoInTheClientsFormat)
{
  const TCase cases[] = {
      {"16-bit mono to both sides", Bytes<int16_t>({100, -200}), dsInt16, 1, true,
       Bytes<int16_t>({100, 100, -200, -200})},
      {"16-bit to float", Bytes<int16_t>({16384, -32768}), dsInt16, 2, false, Bytes<float>({0.5f, -1.0f})},
      {"float to 16-bit, clipped", Bytes<float>({0.5f, -1.5f, 2.0f, -0.25f}), dsFloat32, 2, true,
       Bytes<int16_t>({16384, -32768, 32767, -8192})},
      {"32-bit to 16-bit keeps the high word", Bytes<int32_t>({0x12345678, -65536}), dsInt32, 2, true,
       Bytes<int16_t>({0x1234, -1})},
      {"32-bit to float", Bytes<int32_t>({1073741824, -2147483647 - 1}), dsInt32, 2, false,
       Bytes<float>({0.5f, -1.0f})},
      {"four channels keep the first two", Bytes<float>({0.1f, 0.2f, 0.3f, 0.4f}), dsFloat32, 4, false,
       Bytes<float>({0.1f, 0.2f})},
  };
  for (const TCase& c : cases)
  {
    SCOPED_TRACE(c.Name);
    const uint32_t frames = static_cast<uint32_t>(c.Source.size() / (SampleSize(c.Format) * c.Channels));
    std::vector<unsigned char> target(c.Expected.size());
    ConvertToStereo(c.Source.data(), c.Format, c.Channels, frames, c.Target16bit, target.data());
    EXPECT_EQ(c.Expected, target);
  }
}
} // namespace
