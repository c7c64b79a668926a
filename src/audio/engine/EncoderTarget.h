#pragma once
// Where an encoder's converted samples go: an external program's standard input or a WAV file.

#include <chrono>
#include <cstddef>
#include <cstdint>

class IEncoderTarget
{
public:
  virtual ~IEncoderTarget() = default;
  // Writes all bytes; false when the target takes no more (pipe broken, disk full, cancelled). Called by one
  // thread at a time.
  virtual bool Write(const uint8_t* iData, size_t iSize) = 0;
  // Makes a Write that waits for the target return false, now and later. Any thread.
  virtual void Cancel() = 0;
  // Ends the target after the last Write: the program gets end of input and time until iDeadline to finish,
  // then is ended; a file gets its final header. Called once.
  virtual void Finish(std::chrono::steady_clock::time_point iDeadline) = 0;
  // See TEncoder::ReadOutput.
  virtual int64_t ReadOutput(void* oBuffer, size_t iSize, int iTimeoutMilliseconds) = 0;
};
