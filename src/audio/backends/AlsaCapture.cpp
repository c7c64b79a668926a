#include "audio/backends/AlsaCapture.h"

#include "lib/Errors.h"

#include <alsa/asoundlib.h>
#include <chrono>

namespace
{
constexpr unsigned cPeriodMicroseconds = 20000;
constexpr unsigned cBufferMicroseconds = 200000;
// Longest sleep of the capture loop, so that a stop request is seen quickly even when no data comes.
constexpr int cWaitMilliseconds = 100;
// A running capture PCM that delivers nothing for this long has hung (a stuck USB device, a dead server behind
// a plug-in); it is reported and reopened.
constexpr std::chrono::milliseconds cStallTime{3000};

snd_pcm_format_t AlsaFormat(TDeviceSampleFormat iFormat)
{
  switch (iFormat)
  {
  case dsInt16:
    return SND_PCM_FORMAT_S16_LE;
  case dsInt32:
    return SND_PCM_FORMAT_S32_LE;
  case dsFloat32:
    break;
  }
  return SND_PCM_FORMAT_FLOAT_LE;
}

void Check(int iResult, const char* iStep, const char* iWhat)
{
  if (iResult < 0)
    throw EAudioDeviceError(Format("%s: %s (%s)", iStep, snd_strerror(iResult), iWhat));
}
} // namespace

TAlsaCapture::TAlsaCapture(std::string iPCMName, uint32_t iSampleRate, bool i16bit, TCaptureDataProc iProc)
    : TDeviceWorker("ALSA capture"), fPCMName(std::move(iPCMName)), fSampleRate(iSampleRate), f16bit(i16bit),
      fProc(std::move(iProc))
{
  Start();
}

TAlsaCapture::~TAlsaCapture()
{
  Stop();
}

void TAlsaCapture::Open()
{
  Check(snd_pcm_open(&fPCM, fPCMName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK), "Init", "open");
  try
  {
    Configure();
    Check(snd_pcm_start(fPCM), "RecordStart", "start");
  }
  catch (...)
  {
    Close();
    throw;
  }
}

void TAlsaCapture::Configure()
{
  snd_pcm_hw_params_t* params;
  snd_pcm_hw_params_alloca(&params);
  Check(snd_pcm_hw_params_any(fPCM, params), "Init", "hardware parameters");
  Check(snd_pcm_hw_params_set_access(fPCM, params, SND_PCM_ACCESS_RW_INTERLEAVED), "Init", "interleaved access");

  // The client's own format first, then the others the converter reads.
  const TDeviceSampleFormat wanted = f16bit ? dsInt16 : dsFloat32;
  const TDeviceSampleFormat candidates[] = {wanted, f16bit ? dsFloat32 : dsInt16, dsInt32};
  int result = -EINVAL;
  for (const TDeviceSampleFormat candidate : candidates)
  {
    result = snd_pcm_hw_params_set_format(fPCM, params, AlsaFormat(candidate));
    if (result == 0)
    {
      fDeviceFormat = candidate;
      break;
    }
  }
  Check(result, "Init", "no 16-bit, 32-bit or float sample format");

  unsigned channels = 2;
  if (snd_pcm_hw_params_set_channels(fPCM, params, channels) < 0)
    Check(snd_pcm_hw_params_set_channels_near(fPCM, params, &channels), "Init", "channels");
  fDeviceChannels = channels;

  // A reopened device must run at the rate its clients' streams were created with.
  unsigned rate = fSampleRate;
  if (fRunning)
    Check(snd_pcm_hw_params_set_rate(fPCM, params, rate, 0), "Init", "sample rate");
  else
    Check(snd_pcm_hw_params_set_rate_near(fPCM, params, &rate, nullptr), "Init", "sample rate");
  unsigned bufferTime = cBufferMicroseconds;
  Check(snd_pcm_hw_params_set_buffer_time_near(fPCM, params, &bufferTime, nullptr), "Init", "buffer time");
  unsigned periodTime = cPeriodMicroseconds;
  Check(snd_pcm_hw_params_set_period_time_near(fPCM, params, &periodTime, nullptr), "Init", "period time");
  Check(snd_pcm_hw_params(fPCM, params), "Init", "hardware parameters");

  snd_pcm_uframes_t period = 0;
  Check(snd_pcm_hw_params_get_period_size(params, &period, nullptr), "Init", "period size");
  fSampleRate = rate;
  fRunning = true;
  fPeriodFrames = static_cast<uint32_t>(period);
  fDeviceBuffer.resize(fPeriodFrames * fDeviceChannels * SampleSize(fDeviceFormat));
  fClientBuffer.resize(fPeriodFrames * 2 * (f16bit ? 2 : 4));
}

std::string TAlsaCapture::Pump()
{
  const bool convert = fDeviceChannels != 2 || fDeviceFormat != (f16bit ? dsInt16 : dsFloat32);
  const uint32_t clientFrameSize = 2 * (f16bit ? 2 : 4);
  auto lastData = std::chrono::steady_clock::now();
  while (!StopRequested())
  {
    if (std::chrono::steady_clock::now() - lastData > cStallTime)
      return "Read: the device delivers no data";
    const int ready = snd_pcm_wait(fPCM, cWaitMilliseconds);
    if (ready < 0 && !Recover(ready))
      return Format("Read: %s", snd_strerror(ready));
    const snd_pcm_sframes_t frames = snd_pcm_readi(fPCM, fDeviceBuffer.data(), fPeriodFrames);
    if (frames == -EAGAIN || frames == 0)
      continue;
    if (frames < 0)
    {
      if (!Recover(static_cast<int>(frames)))
        return Format("Read: %s", snd_strerror(static_cast<int>(frames)));
      continue;
    }
    lastData = std::chrono::steady_clock::now();
    const auto count = static_cast<uint32_t>(frames);
    if (convert)
    {
      ConvertToStereo(fDeviceBuffer.data(), fDeviceFormat, fDeviceChannels, count, f16bit, fClientBuffer.data());
      fProc(fClientBuffer.data(), count * clientFrameSize);
    }
    else
      fProc(fDeviceBuffer.data(), count * clientFrameSize);
  }
  return {};
}

bool TAlsaCapture::Recover(int iError)
{
  if (iError == -EPIPE)
    fOverruns.fetch_add(1, std::memory_order_relaxed);
  if (snd_pcm_recover(fPCM, iError, 1) < 0)
    return false;
  // A recovered capture PCM is only prepared; it would wait for a read to start again.
  const int started = snd_pcm_start(fPCM);
  return started == 0 || started == -EBADFD;
}

void TAlsaCapture::Close() noexcept
{
  if (fPCM == nullptr)
    return;
  snd_pcm_drop(fPCM);
  snd_pcm_close(fPCM);
  fPCM = nullptr;
}
