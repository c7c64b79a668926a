#pragma once
// The engine's own WAV file writer. The header's sizes are rewritten every few seconds of audio while it
// runs and at the end, so a file whose writer died is still playable up to its last rewrite.

#include "audio/engine/EncoderFd.h"
#include "audio/engine/EncoderTarget.h"
#include "audio/engine/EncoderWavHeader.h"

#include <string>

class TEncoderWavFile final : public IEncoderTarget
{
public:
  // Seconds of audio between two header rewrites.
  static constexpr uint32_t kHeaderRewriteSeconds = 2;

  // Creates (or truncates) the file and writes a header for unknown length. Throws TEncoderError(ecCreate).
  TEncoderWavFile(const std::string& iPath, const TWavFormat& iFormat);

  bool Write(const uint8_t* iData, size_t iSize) override;
  void Cancel() override {}
  void Finish(std::chrono::steady_clock::time_point iDeadline) override;
  int64_t ReadOutput(void* oBuffer, size_t iSize, int iTimeoutMilliseconds) override { return -1; }

private:
  // Writes the header for the whole frames written so far; false on a write error.
  bool WriteHeader();

  const TWavFormat fFormat;
  const uint64_t fRewriteBytes;
  TEncoderFd fFile;
  uint64_t fDataBytes = 0;
  uint64_t fHeaderWrittenAt = 0;
  bool fFailed = false;
};
