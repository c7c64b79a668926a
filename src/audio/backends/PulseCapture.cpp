#include "audio/backends/PulseCapture.h"

#include "audio/backends/PulseConnection.h"
#include "lib/Errors.h"

#include <algorithm>
#include <pulse/pulseaudio.h>

namespace
{
constexpr int cConnectTimeoutMs = 5000;
// Every fragment wakes the capture thread, and a wake-up costs more than moving the samples: 100 ms fragments
// keep that cost small. A logger has no use for lower latency, and the mixer's backlog target (0.2 s) leaves
// room for a fragment and a pull.
constexpr pa_usec_t cFragmentMicroseconds = 100000;
constexpr size_t cSilenceBytes = 16384;
} // namespace

TPulseCapture::TPulseCapture(std::string iSourceName, uint32_t iSampleRate, TCaptureDataProc iProc)
    : TDeviceWorker("Pulse capture"), fSourceName(std::move(iSourceName)), fSampleRate(iSampleRate),
      fProc(std::move(iProc)), fSilence(cSilenceBytes, 0)
{
  Start();
}

TPulseCapture::~TPulseCapture()
{
  Stop();
}

void TPulseCapture::Open()
{
  fConnection = std::make_unique<TPulseConnection>("Init", cConnectTimeoutMs);
  const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, fSampleRate, 2};
  pa_channel_map map;
  pa_channel_map_init_stereo(&map);
  fStream = pa_stream_new(fConnection->Context(), "Tapevault capture", &spec, &map);
  if (fStream == nullptr)
  {
    const std::string reason = fConnection->ErrorText();
    Close();
    throw EAudioDeviceError(Format("Init: %s", reason.c_str()));
  }
  pa_stream_set_read_callback(fStream, StreamRead, this);
  pa_buffer_attr attributes;
  attributes.maxlength = static_cast<uint32_t>(-1);
  attributes.tlength = static_cast<uint32_t>(-1);
  attributes.prebuf = static_cast<uint32_t>(-1);
  attributes.minreq = static_cast<uint32_t>(-1);
  attributes.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(cFragmentMicroseconds, &spec));
  // Never let the server move the stream to another source: a logger must not silently record the wrong input.
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
  const bool ready =
      pa_stream_connect_record(fStream, fSourceName.c_str(), &attributes, flags) >= 0 &&
      fConnection->RunUntil([this] { return pa_stream_get_state(fStream) != PA_STREAM_CREATING; }, cConnectTimeoutMs) &&
      pa_stream_get_state(fStream) == PA_STREAM_READY;
  if (!ready)
  {
    const std::string reason = fConnection->ErrorText();
    Close();
    throw EAudioDeviceError(Format("RecordStart: %s", reason.c_str()));
  }
}

std::string TPulseCapture::Pump()
{
  while (!StopRequested())
  {
    if (!fConnection->Iterate() || StreamFailed())
      return Format("Read: %s", fConnection->ErrorText().c_str());
  }
  return {};
}

bool TPulseCapture::StreamFailed() const
{
  return !PA_STREAM_IS_GOOD(pa_stream_get_state(fStream));
}

void TPulseCapture::StreamRead(pa_stream* iStream, size_t, void* iUserData)
{
  auto& self = *static_cast<TPulseCapture*>(iUserData);
  while (pa_stream_readable_size(iStream) > 0)
  {
    const void* data = nullptr;
    size_t bytes = 0;
    if (pa_stream_peek(iStream, &data, &bytes) < 0 || bytes == 0)
      return;
    if (data != nullptr)
      self.fProc(data, static_cast<uint32_t>(bytes));
    else
    {
      for (size_t left = bytes; left > 0;)
      {
        const size_t chunk = std::min(left, self.fSilence.size());
        self.fProc(self.fSilence.data(), static_cast<uint32_t>(chunk));
        left -= chunk;
      }
    }
    pa_stream_drop(iStream);
  }
}

void TPulseCapture::Close() noexcept
{
  if (fStream != nullptr)
  {
    pa_stream_set_read_callback(fStream, nullptr, nullptr);
    pa_stream_disconnect(fStream);
    pa_stream_unref(fStream);
    fStream = nullptr;
  }
  fConnection.reset();
}

void TPulseCapture::Interrupt() noexcept
{
  if (fConnection)
    fConnection->Wakeup();
}
