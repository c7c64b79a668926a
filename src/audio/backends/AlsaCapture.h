#pragma once
// Captures stereo frames from an ALSA PCM on a thread of its own. The client's sample format (16-bit or float)
// is taken from the device when it offers it; otherwise the device's native format is converted.

#include "audio/backends/CaptureTypes.h"
#include "audio/backends/DeviceWorker.h"
#include "audio/backends/SampleConvert.h"

#include <atomic>
#include <string>
#include <vector>

typedef struct _snd_pcm snd_pcm_t;

class TAlsaCapture final : public TDeviceWorker, public ICaptureInput
{
public:
  // Opens iPCMName for capture at (near) iSampleRate and starts delivering buffers to iProc. Throws EAudioDeviceError
  // "Init: %s" when the PCM cannot be opened or configured, "RecordStart: %s" when it does not start.
  TAlsaCapture(std::string iPCMName, uint32_t iSampleRate, bool i16bit, TCaptureDataProc iProc);
  ~TAlsaCapture() override;

  // The rate the device actually runs at (a hardware PCM may not offer the one asked for).
  uint32_t SampleRate() const override { return fSampleRate; }
  std::string LastError() const override { return TDeviceWorker::LastError(); }
  // Buffers lost because the capture thread fell behind the device (overruns), since the start.
  uint64_t Overruns() const { return fOverruns.load(std::memory_order_relaxed); }

private:
  void Open() override;
  std::string Pump() override;
  void Close() noexcept override;

  void Configure();
  bool Recover(int iError);

  const std::string fPCMName;
  uint32_t fSampleRate;
  const bool f16bit;
  const TCaptureDataProc fProc;
  // Set once the first Open succeeded; from then on the rate is fixed.
  bool fRunning = false;
  snd_pcm_t* fPCM = nullptr;
  TDeviceSampleFormat fDeviceFormat = dsInt16;
  uint32_t fDeviceChannels = 2;
  uint32_t fPeriodFrames = 0;
  // Sized by Open, so that the capture loop itself never allocates.
  std::vector<unsigned char> fDeviceBuffer;
  std::vector<unsigned char> fClientBuffer;
  std::atomic<uint64_t> fOverruns{0};
};
