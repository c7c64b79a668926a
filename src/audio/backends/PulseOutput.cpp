#include "audio/backends/PulseOutput.h"

#include "audio/backends/CaptureTypes.h"
#include "audio/backends/PulseConnection.h"
#include "lib/Errors.h"

#include <pulse/pulseaudio.h>

namespace
{
constexpr int cConnectTimeoutMs = 5000;
// Short enough that a pulled mixer stays close to real time, long enough to survive scheduling hiccups.
constexpr pa_usec_t cTargetMicroseconds = 50000;
constexpr pa_usec_t cRequestMicroseconds = 10000;
constexpr uint32_t cFrameBytes = 2 * sizeof(float);
} // namespace

TPulseOutput::TPulseOutput(uint32_t iDevice, uint32_t iSampleRate, TPullProc iProc)
    : TDeviceWorker("Pulse output"), fDevice(iDevice), fSampleRate(iSampleRate), fProc(std::move(iProc))
{
  Start();
}

TPulseOutput::~TPulseOutput()
{
  Stop();
}

std::string TPulseOutput::SinkName()
{
  if (fDevice == 0)
    throw EAudioDeviceError("Init: output device 0 does not exist (1 is the default sink)");
  if (fDevice == 1)
    return {};
  const std::vector<TPulseEndpoint> sinks = ListPulseSinks(*fConnection, "Init");
  if (fDevice > sinks.size())
    throw EAudioDeviceError(
        Format("Init: output device %u does not exist (the server has %zu sinks)", fDevice, sinks.size()));
  return sinks[fDevice - 1].Name;
}

void TPulseOutput::Open()
{
  fConnection = std::make_unique<TPulseConnection>("Init", cConnectTimeoutMs);
  try
  {
    const std::string sink = SinkName();
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, fSampleRate, 2};
    pa_channel_map map;
    pa_channel_map_init_stereo(&map);
    fStream = pa_stream_new(fConnection->Context(), "Tapevault clock", &spec, &map);
    if (fStream == nullptr)
      throw EAudioDeviceError(Format("Init: %s", fConnection->ErrorText().c_str()));
    pa_stream_set_write_callback(fStream, StreamWrite, this);
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(cTargetMicroseconds, &spec));
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(pa_usec_to_bytes(cRequestMicroseconds, &spec));
    attributes.fragsize = static_cast<uint32_t>(-1);
    pa_cvolume muted;
    pa_cvolume_set(&muted, 2, PA_VOLUME_MUTED);
    const bool ready = pa_stream_connect_playback(fStream, sink.empty() ? nullptr : sink.c_str(), &attributes,
                                                  PA_STREAM_ADJUST_LATENCY, &muted, nullptr) >= 0 &&
                       fConnection->RunUntil([this] { return pa_stream_get_state(fStream) != PA_STREAM_CREATING; },
                                             cConnectTimeoutMs) &&
                       pa_stream_get_state(fStream) == PA_STREAM_READY;
    if (!ready)
      throw EAudioDeviceError(Format("Play: %s", fConnection->ErrorText().c_str()));
  }
  catch (...)
  {
    Close();
    throw;
  }
}

std::string TPulseOutput::Pump()
{
  while (!StopRequested())
  {
    if (!fConnection->Iterate() || !PA_STREAM_IS_GOOD(pa_stream_get_state(fStream)))
      return Format("Play: %s", fConnection->ErrorText().c_str());
  }
  return {};
}

void TPulseOutput::StreamWrite(pa_stream* iStream, size_t iBytes, void* iUserData)
{
  auto& self = *static_cast<TPulseOutput*>(iUserData);
  while (iBytes >= cFrameBytes)
  {
    void* data = nullptr;
    size_t bytes = iBytes;
    if (pa_stream_begin_write(iStream, &data, &bytes) < 0 || data == nullptr)
      return;
    if (bytes < cFrameBytes)
    {
      pa_stream_cancel_write(iStream);
      return;
    }
    const auto frames = static_cast<uint32_t>(bytes / cFrameBytes);
    self.fProc(static_cast<float*>(data), frames);
    if (pa_stream_write(iStream, data, frames * cFrameBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0)
      return;
    iBytes -= frames * cFrameBytes;
  }
}

void TPulseOutput::Close() noexcept
{
  if (fStream != nullptr)
  {
    pa_stream_set_write_callback(fStream, nullptr, nullptr);
    pa_stream_disconnect(fStream);
    pa_stream_unref(fStream);
    fStream = nullptr;
  }
  fConnection.reset();
}

void TPulseOutput::Interrupt() noexcept
{
  if (fConnection)
    fConnection->Wakeup();
}
