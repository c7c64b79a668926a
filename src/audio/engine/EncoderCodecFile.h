#pragma once
// The engine's own encoders writing a file with the libraries behind lame, twolame and oggenc. The file is
// created at once, so that its name is taken; the codec is set up by the first write, on the thread that feeds
// it (the queue's), so that a start costs its caller no more than the file's creation. A file that cannot be
// created or a codec that refuses its settings fails that first write, as the program would end at its start.

#include "audio/engine/EncoderFd.h"
#include "audio/engine/EncoderTarget.h"
#include "audio/engine/EngineTypes.h"

#include <memory>
#include <string>

class TEncoderCodecFile : public IEncoderTarget
{
public:
  // Takes 16-bit interleaved frames.
  bool Write(const uint8_t* iData, size_t iSize) final;
  void Cancel() final {}
  void Finish(std::chrono::steady_clock::time_point iDeadline) final;
  int64_t ReadOutput(void* oBuffer, size_t iSize, int iTimeoutMilliseconds) final { return -1; }

protected:
  TEncoderCodecFile(const std::string& iPath, uint32_t iSampleRate, uint32_t iChannels, const TCodecSettings& iCodec);

  // Sets the codec up; false when it refuses the settings.
  virtual bool Open() = 0;
  // Encodes iFrames frames and appends what comes out; false on a codec or write error.
  virtual bool Encode(const int16_t* iSamples, size_t iFrames) = 0;
  // Appends what the codec still holds and completes the file. Once, after Open succeeded.
  virtual void Close() = 0;

  bool Append(const uint8_t* iData, size_t iSize);
  bool WriteAt(const uint8_t* iData, size_t iSize, uint64_t iOffset);

  const uint32_t fSampleRate;
  const uint32_t fChannels;
  const TCodecSettings fCodec;

private:
  enum TState
  {
    stNew,
    stOpen,
    stFailed,
  };

  TEncoderFd fFile;
  TState fState = stNew;
};

// The encoder of iCodec.Kind on the file iPath (created or truncated here). iChannels is 1 or 2.
std::unique_ptr<IEncoderTarget> MakeCodecFile(const std::string& iPath, uint32_t iSampleRate, uint32_t iChannels,
                                              const TCodecSettings& iCodec);
