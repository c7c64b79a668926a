#pragma once
// Captures a PulseAudio source (a microphone or the monitor of a sink) as interleaved stereo float32 frames on a
// thread of its own, in fragments of about 100 ms.

#include "audio/backends/CaptureTypes.h"
#include "audio/backends/DeviceWorker.h"

#include <memory>
#include <string>
#include <vector>

class TPulseConnection;
struct pa_stream;

class TPulseCapture final : public TDeviceWorker, public ICaptureInput
{
public:
  // Connects to the server and starts recording iSourceName at iSampleRate (the server resamples). Throws
  // EAudioDeviceError "Init: %s" when the server cannot be reached, "RecordStart: %s" when the source does not
  // start recording (for example because it does not exist).
  TPulseCapture(std::string iSourceName, uint32_t iSampleRate, TCaptureDataProc iProc);
  ~TPulseCapture() override;

  uint32_t SampleRate() const override { return fSampleRate; }
  std::string LastError() const override { return TDeviceWorker::LastError(); }

private:
  void Open() override;
  std::string Pump() override;
  void Close() noexcept override;
  void Interrupt() noexcept override;

  static void StreamRead(pa_stream* iStream, size_t iBytes, void* iUserData);
  bool StreamFailed() const;

  const std::string fSourceName;
  const uint32_t fSampleRate;
  const TCaptureDataProc fProc;
  std::unique_ptr<TPulseConnection> fConnection;
  pa_stream* fStream = nullptr;
  // Silence handed on for holes in the recorded data, so that the clients' time keeps running.
  const std::vector<unsigned char> fSilence;
};
