#include "audio/engine/EncoderWavHeader.h"

#include <algorithm>
#include <cstring>

namespace
{

class THeaderWriter
{
public:
  explicit THeaderWriter(uint8_t* oBuffer) : fBuffer(oBuffer) {}
  void Tag(const char (&iTag)[5])
  {
    std::memcpy(fBuffer + fSize, iTag, 4);
    fSize += 4;
  }
  void U16(uint16_t iValue)
  {
    fBuffer[fSize++] = static_cast<uint8_t>(iValue);
    fBuffer[fSize++] = static_cast<uint8_t>(iValue >> 8);
  }
  void U32(uint32_t iValue)
  {
    U16(static_cast<uint16_t>(iValue));
    U16(static_cast<uint16_t>(iValue >> 16));
  }
  size_t Size() const { return fSize; }

private:
  uint8_t* fBuffer;
  size_t fSize = 0;
};

} // namespace

size_t BuildWavHeader(const TWavFormat& iFormat, uint64_t iDataBytes, uint8_t (&oHeader)[kMaxWavHeaderSize])
{
  const uint32_t headerSize = iFormat.Float ? 58 : 44;
  const uint32_t frameBytes = iFormat.BytesPerFrame();
  const bool unknown = iDataBytes == kWavUnknownDataSize;
  // The RIFF size (header after its first 8 bytes plus data) must fit 32 bits.
  const uint64_t maxData = (UINT32_MAX - (headerSize - 8)) / frameBytes * frameBytes;
  const uint32_t data = unknown ? UINT32_MAX : static_cast<uint32_t>(std::min(iDataBytes, maxData));
  const uint32_t riff = unknown ? UINT32_MAX : data + (headerSize - 8);

  THeaderWriter header(oHeader);
  header.Tag("RIFF");
  header.U32(riff);
  header.Tag("WAVE");
  header.Tag("fmt ");
  header.U32(iFormat.Float ? 18 : 16);
  header.U16(iFormat.Float ? 3 : 1);
  header.U16(iFormat.Channels);
  header.U32(iFormat.SampleRate);
  header.U32(iFormat.SampleRate * frameBytes);
  header.U16(static_cast<uint16_t>(frameBytes));
  header.U16(iFormat.Float ? 32 : 16);
  if (iFormat.Float)
  {
    // Non-PCM formats carry the extension size and a fact chunk with the frame count.
    header.U16(0);
    header.Tag("fact");
    header.U32(4);
    header.U32(unknown ? UINT32_MAX : data / frameBytes);
  }
  header.Tag("data");
  header.U32(data);
  return header.Size();
}
