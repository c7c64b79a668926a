#include "audio/engine/EncoderWav.h"

#include "audio/engine/Encoder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

TEncoderWavFile::TEncoderWavFile(const std::string& iPath, const TWavFormat& iFormat)
    : fFormat(iFormat), fRewriteBytes(uint64_t{kHeaderRewriteSeconds} * iFormat.SampleRate * iFormat.BytesPerFrame())
{
  if (iPath.empty())
    throw TEncoderError(ecFileOpen, "No WAV file name given");
  fFile = TEncoderFd(::open(iPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fFile.IsOpen())
    throw TEncoderError(ecCreate, "Can't create " + iPath + ": " + std::strerror(errno));
  uint8_t header[kMaxWavHeaderSize];
  const size_t size = BuildWavHeader(fFormat, kWavUnknownDataSize, header);
  if (::write(fFile.Get(), header, size) != static_cast<ssize_t>(size))
    throw TEncoderError(ecCreate, "Can't write " + iPath + ": " + std::strerror(errno));
}

bool TEncoderWavFile::Write(const uint8_t* iData, size_t iSize)
{
  if (fFailed)
    return false;
  const size_t written = WriteFully(fFile.Get(), iData, iSize);
  fDataBytes += written;
  if (written < iSize)
  {
    fFailed = true;
    return false;
  }
  if (fDataBytes - fHeaderWrittenAt >= fRewriteBytes && !WriteHeader())
  {
    fFailed = true;
    return false;
  }
  return true;
}

void TEncoderWavFile::Finish(std::chrono::steady_clock::time_point)
{
  // Even after a failed write: the header then covers what reached the file.
  WriteHeader();
  fFile.Close();
}

bool TEncoderWavFile::WriteHeader()
{
  uint8_t header[kMaxWavHeaderSize];
  const uint64_t frameBytes = fFormat.BytesPerFrame();
  const size_t size = BuildWavHeader(fFormat, fDataBytes / frameBytes * frameBytes, header);
  fHeaderWrittenAt = fDataBytes;
  return ::pwrite(fFile.Get(), header, size, 0) == static_cast<ssize_t>(size);
}
