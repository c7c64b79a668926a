#include "audio/backends/JackClient.h"

#include "audio/backends/SampleConvert.h"
#include "lib/Errors.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <jack/jack.h>
#include <thread>

namespace
{
constexpr const char* cClientName = "tapevault";
// Frames interleaved per hand-over: the bundle's buffer is sized once, so any server buffer size works without
// allocating in the process callback.
constexpr uint32_t cChunkFrames = 1024;
constexpr std::chrono::milliseconds cPollInterval{100};
// xruns come in bursts on a loaded machine: one line per burst is enough for a person to see them.
constexpr std::chrono::seconds cXrunLogInterval{10};

void Quiet(const char*) {}

std::string StatusText(jack_status_t iStatus)
{
  if (iStatus & JackServerFailed)
    return "cannot connect to the server";
  if (iStatus & JackServerError)
    return "communication error with the server";
  if (iStatus & JackVersionError)
    return "the server speaks another protocol version";
  if (iStatus & JackShmFailure)
    return "cannot access shared memory";
  if (iStatus & JackInitFailure)
    return "the client cannot be initialised";
  if (iStatus & JackNameNotUnique)
    return "the client name is in use";
  return Format("failed (status 0x%x)", static_cast<unsigned>(iStatus));
}

jack_client_t* OpenJackClient(const std::string& iServerName)
{
  static std::once_flag quiet;
  // libjack writes every failed attempt to standard error; a reopening loop would fill the journal.
  std::call_once(quiet,
                 []
                 {
                   jack_set_error_function(Quiet);
                   jack_set_info_function(Quiet);
                 });
  jack_status_t status{};
  jack_client_t* client =
      iServerName.empty()
          ? jack_client_open(cClientName, JackNoStartServer, &status)
          : jack_client_open(cClientName, static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
                             iServerName.c_str());
  if (client == nullptr)
    throw EAudioDeviceError(Format("JACKInit: %s", StatusText(status).c_str()));
  return client;
}
} // namespace

class TJackClient::TBundle
{
public:
  TBundle(std::string iName, std::vector<std::string> iSources, bool i16bit, TCaptureDataProc iProc)
      : Name(std::move(iName)), Sources(std::move(iSources)), Is16bit(i16bit), Proc(std::move(iProc)),
        Ports(Sources.size(), nullptr), Buffers(Sources.size(), nullptr),
        Interleaved(cChunkFrames * Sources.size() * (i16bit ? sizeof(int16_t) : sizeof(float)))
  {
  }

  // Process thread: interleaves this cycle's port buffers and hands them over in chunks.
  void Deliver(uint32_t iFrames)
  {
    const size_t channels = Ports.size();
    for (size_t c = 0; c < channels; ++c)
      Buffers[c] = static_cast<const float*>(jack_port_get_buffer(Ports[c], iFrames));
    for (uint32_t done = 0; done < iFrames;)
    {
      const uint32_t frames = std::min(iFrames - done, cChunkFrames);
      if (Is16bit)
      {
        auto* out = reinterpret_cast<int16_t*>(Interleaved.data());
        for (uint32_t f = 0; f < frames; ++f)
          for (size_t c = 0; c < channels; ++c)
            *out++ = FloatToInt16(Buffers[c][done + f]);
      }
      else
      {
        auto* out = reinterpret_cast<float*>(Interleaved.data());
        for (uint32_t f = 0; f < frames; ++f)
          for (size_t c = 0; c < channels; ++c)
            *out++ = Buffers[c][done + f];
      }
      Proc(Interleaved.data(), static_cast<uint32_t>(frames * channels * (Is16bit ? sizeof(int16_t) : sizeof(float))));
      done += frames;
    }
  }

  const std::string Name;
  const std::vector<std::string> Sources;
  const bool Is16bit;
  const TCaptureDataProc Proc;
  // Registered anew each time the client opens; read by the process thread only while the client is active.
  std::vector<jack_port_t*> Ports;
  std::vector<const float*> Buffers;
  std::vector<unsigned char> Interleaved;
};

TJackServerInfo ProbeJackServer(const std::string& iServerName)
{
  jack_client_t* client = OpenJackClient(iServerName);
  TJackServerInfo info;
  info.Name = iServerName;
  if (info.Name.empty())
  {
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    info.Name = name != nullptr && *name != '\0' ? name : "default";
  }
  info.SampleRate = jack_get_sample_rate(client);
  if (const char** ports =
          jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsOutput))
  {
    for (const char** name = ports; *name != nullptr; ++name)
    {
      const char* colon = std::strchr(*name, ':');
      info.CapturePorts.push_back({*name, colon != nullptr ? colon + 1 : *name});
    }
    jack_free(ports);
  }
  jack_client_close(client);
  return info;
}

TJackClient::TJackClient(std::string iServerName, uint32_t iBufferSize, std::function<void(const std::string&)> iLog)
    : TDeviceWorker("JACK client"), fServerName(std::move(iServerName)), fBufferSize(iBufferSize), fLog(std::move(iLog))
{
  Start();
}

TJackClient::~TJackClient()
{
  Stop();
}

TJackClient::TBundle* TJackClient::AddBundle(const std::string& iName, const std::vector<std::string>& iSources,
                                             bool i16bit, TCaptureDataProc iProc)
{
  std::lock_guard lock(fClientMutex);
  auto bundle = std::make_unique<TBundle>(iName, iSources, i16bit, std::move(iProc));
  if (ClientUsable())
    Register(*bundle);
  TBundle* result = bundle.get();
  fOwnedBundles.push_back(std::move(bundle));
  auto bundles = std::make_unique<std::vector<TBundle*>>(fBundles.Current());
  bundles->push_back(result);
  fBundles.Publish(std::move(bundles));
  if (ClientUsable())
    Connect(*result);
  return result;
}

void TJackClient::RemoveBundle(TBundle* iBundle)
{
  std::lock_guard lock(fClientMutex);
  auto bundles = std::make_unique<std::vector<TBundle*>>(fBundles.Current());
  bundles->erase(std::remove(bundles->begin(), bundles->end(), iBundle), bundles->end());
  fBundles.Publish(std::move(bundles));
  if (ClientUsable())
  {
    for (jack_port_t* port : iBundle->Ports)
      if (port != nullptr)
        jack_port_unregister(fClient, port);
  }
  std::erase_if(fOwnedBundles, [iBundle](const std::unique_ptr<TBundle>& iOwned) { return iOwned.get() == iBundle; });
}

void TJackClient::Register(TBundle& iBundle)
{
  for (size_t c = 0; c < iBundle.Ports.size(); ++c)
  {
    const std::string name = Format("%s_in_%zu", iBundle.Name.c_str(), c + 1);
    iBundle.Ports[c] = jack_port_register(fClient, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    if (iBundle.Ports[c] == nullptr)
    {
      for (size_t done = 0; done < c; ++done)
        jack_port_unregister(fClient, iBundle.Ports[done]);
      std::fill(iBundle.Ports.begin(), iBundle.Ports.end(), nullptr);
      throw EAudioDeviceError(Format("JACKInit: cannot register the port %s", name.c_str()));
    }
  }
}

void TJackClient::Connect(const TBundle& iBundle)
{
  for (size_t c = 0; c < iBundle.Ports.size(); ++c)
  {
    const int result = jack_connect(fClient, iBundle.Sources[c].c_str(), jack_port_name(iBundle.Ports[c]));
    if (result != 0 && result != EEXIST && fLog)
      fLog(Format("JACK: cannot connect %s to %s", iBundle.Sources[c].c_str(), jack_port_name(iBundle.Ports[c])));
  }
}

void TJackClient::Open()
{
  std::lock_guard lock(fClientMutex);
  jack_client_t* client = OpenJackClient(fServerName);
  const uint32_t rate = jack_get_sample_rate(client);
  // The clients' streams were made at the first rate: audio at another one would play at the wrong speed.
  if (fSampleRate != 0 && rate != fSampleRate)
  {
    jack_client_close(client);
    throw EAudioDeviceError(Format("JACKInit: the server runs at %u Hz instead of %u Hz", rate, fSampleRate.load()));
  }
  fSampleRate = rate;
  fServerGone = false;
  jack_set_process_callback(
      client,
      [](jack_nframes_t iFrames, void* iSelf)
      {
        static_cast<TJackClient*>(iSelf)->Process(iFrames);
        return 0;
      },
      this);
  jack_set_xrun_callback(
      client,
      [](void* iSelf)
      {
        static_cast<TJackClient*>(iSelf)->fXruns.fetch_add(1, std::memory_order_relaxed);
        return 0;
      },
      this);
  // Runs on a libjack thread: it copies the reason into a fixed buffer and raises a flag, nothing more.
  jack_on_info_shutdown(
      client,
      [](jack_status_t, const char* iReason, void* iSelf)
      {
        auto& self = *static_cast<TJackClient*>(iSelf);
        std::strncpy(self.fShutdownReason, iReason != nullptr ? iReason : "", sizeof self.fShutdownReason - 1);
        self.fServerGone.store(true);
      },
      this);
  if (fBufferSize > 0 && jack_get_buffer_size(client) != fBufferSize &&
      jack_set_buffer_size(client, fBufferSize) != 0 && fLog)
    fLog(Format("JACK: the server refused the buffer size %u", fBufferSize));
  fClient = client;
  try
  {
    for (const std::unique_ptr<TBundle>& bundle : fOwnedBundles)
      Register(*bundle);
    if (jack_activate(client) != 0)
      throw EAudioDeviceError("JACKInit: the client cannot be activated");
  }
  catch (...)
  {
    jack_client_close(client);
    fClient = nullptr;
    throw;
  }
  for (const std::unique_ptr<TBundle>& bundle : fOwnedBundles)
    Connect(*bundle);
}

std::string TJackClient::Pump()
{
  while (!StopRequested())
  {
    if (fServerGone.load())
      return Format("JACK server shut down: %s", fShutdownReason);
    LogXruns(false);
    std::this_thread::sleep_for(cPollInterval);
  }
  LogXruns(true);
  return {};
}

void TJackClient::LogXruns(bool iFinal)
{
  const uint64_t xruns = fXruns.load(std::memory_order_relaxed);
  const auto now = std::chrono::steady_clock::now();
  if (xruns == fLoggedXruns || (!iFinal && now - fXrunsLogged < cXrunLogInterval))
    return;
  if (fLog)
    fLog(Format("JACK: %llu xruns (process cycles too late) since the start, %llu new",
                static_cast<unsigned long long>(xruns), static_cast<unsigned long long>(xruns - fLoggedXruns)));
  fLoggedXruns = xruns;
  fXrunsLogged = now;
}

void TJackClient::Close() noexcept
{
  std::lock_guard lock(fClientMutex);
  if (fClient == nullptr)
    return;
  jack_client_close(fClient);
  fClient = nullptr;
  for (const std::unique_ptr<TBundle>& bundle : fOwnedBundles)
    std::fill(bundle->Ports.begin(), bundle->Ports.end(), nullptr);
}

void TJackClient::Process(uint32_t iFrames) noexcept
{
  fBundles.Read(
      [iFrames](const std::vector<TBundle*>& iBundles)
      {
        for (TBundle* bundle : iBundles)
          bundle->Deliver(iFrames);
      });
}
