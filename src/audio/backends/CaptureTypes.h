#pragma once
// What the device backends share: their exception and the hand-off of captured buffers.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

// A capture or playback device could not be opened or started; the text names the step and the backend's reason.
class EAudioDeviceError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

// Receives each captured buffer (interleaved frames, iLength bytes) on the backend's thread. It must not block.
using TCaptureDataProc = std::function<void(const void* iBuffer, uint32_t iLength)>;

// A running capture of one input, whatever backend delivers it. Destroying it stops the capture: once the
// destructor returns, the data procedure is not called any more.
class ICaptureInput
{
public:
  virtual ~ICaptureInput() = default;
  // The rate the input runs at; it stays fixed while the capture exists.
  virtual uint32_t SampleRate() const = 0;
  // Why the input delivers nothing at the moment (device lost, server gone), empty while it works. Any thread.
  virtual std::string LastError() const = 0;
  // Process cycles the input's server reported as late (JACK's xruns) since it started; 0 for inputs that have
  // no such count. Any thread.
  virtual uint64_t Xruns() const { return 0; }
};
