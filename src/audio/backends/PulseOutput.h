#pragma once
// A muted PulseAudio playback stream that serves as a clock: the sink asks for audio at its own pace and the
// stream pulls exactly that much through a callback. Device numbers: 1 is the server's default sink; n > 1 is
// the n-th sink in the server's sink list, in the order the server lists them (ascending sink index), so 2 is
// the second listed sink. The stream may follow its sink when the server moves it; if the server goes away the
// stream is reopened on the same device number once the server is back.

#include "audio/backends/DeviceWorker.h"

#include <cstdint>
#include <functional>
#include <memory>

class TPulseConnection;
struct pa_stream;

class TPulseOutput final : public TDeviceWorker
{
public:
  // Fills oBuffer with iFrames interleaved stereo float frames. Runs on the output's thread; must not block.
  using TPullProc = std::function<void(float* oBuffer, uint32_t iFrames)>;

  // Starts pulling iSampleRate stereo float frames for sink number iDevice (see above). Throws
  // EAudioDeviceError (a std::runtime_error) "Init: %s" when the server cannot be reached or the device number
  // names no sink, "Play: %s" when the stream does not start.
  TPulseOutput(uint32_t iDevice, uint32_t iSampleRate, TPullProc iProc);
  ~TPulseOutput() override;

private:
  void Open() override;
  std::string Pump() override;
  void Close() noexcept override;
  void Interrupt() noexcept override;

  std::string SinkName();
  static void StreamWrite(pa_stream* iStream, size_t iBytes, void* iUserData);

  const uint32_t fDevice;
  const uint32_t fSampleRate;
  const TPullProc fProc;
  std::unique_ptr<TPulseConnection> fConnection;
  pa_stream* fStream = nullptr;
};
