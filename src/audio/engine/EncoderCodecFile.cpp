#include "audio/engine/EncoderCodecFile.h"

#include "audio/engine/EncoderLame.h"
#include "audio/engine/EncoderTwoLame.h"
#include "audio/engine/EncoderVorbis.h"

#include <fcntl.h>

TEncoderCodecFile::TEncoderCodecFile(const std::string& iPath, uint32_t iSampleRate, uint32_t iChannels,
                                     const TCodecSettings& iCodec)
    : fSampleRate(iSampleRate), fChannels(iChannels), fCodec(iCodec),
      fFile(::open(iPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666))
{
}

bool TEncoderCodecFile::Write(const uint8_t* iData, size_t iSize)
{
  if (fState == stNew)
    fState = fFile.IsOpen() && Open() ? stOpen : stFailed;
  if (fState == stOpen && !Encode(reinterpret_cast<const int16_t*>(iData), iSize / (fChannels * sizeof(int16_t))))
    fState = stFailed;
  return fState == stOpen;
}

void TEncoderCodecFile::Finish(std::chrono::steady_clock::time_point)
{
  // A file that got no audio is completed as well: a codec writes its headers even then.
  if (fState == stNew)
    fState = fFile.IsOpen() && Open() ? stOpen : stFailed;
  if (fState == stOpen)
    Close();
  fFile.Close();
}

bool TEncoderCodecFile::Append(const uint8_t* iData, size_t iSize)
{
  return WriteFully(fFile.Get(), iData, iSize) == iSize;
}

bool TEncoderCodecFile::WriteAt(const uint8_t* iData, size_t iSize, uint64_t iOffset)
{
  return ::pwrite(fFile.Get(), iData, iSize, static_cast<off_t>(iOffset)) == static_cast<ssize_t>(iSize);
}

std::unique_ptr<IEncoderTarget> MakeCodecFile(const std::string& iPath, uint32_t iSampleRate, uint32_t iChannels,
                                              const TCodecSettings& iCodec)
{
  switch (iCodec.Kind)
  {
  case ckMP2:
    return std::make_unique<TEncoderTwoLame>(iPath, iSampleRate, iChannels, iCodec);
  case ckVorbis:
    return std::make_unique<TEncoderVorbis>(iPath, iSampleRate, iChannels, iCodec);
  default:
    return std::make_unique<TEncoderLame>(iPath, iSampleRate, iChannels, iCodec);
  }
}
