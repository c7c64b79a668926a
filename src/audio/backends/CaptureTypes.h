#pragma once
// What the device backends share: their exception and the hand-off of captured buffers.

#include <cstdint>
#include <functional>
#include <stdexcept>

// A capture or playback device could not be opened or started; the text names the step and the backend's reason.
class EAudioDeviceError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

// Receives each captured buffer (interleaved frames, iLength bytes) on the backend's thread. It must not block.
using TCaptureDataProc = std::function<void(const void* iBuffer, uint32_t iLength)>;
