#include "JackServer.h"

#include "Wait.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <jack/jack.h>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace
{
using namespace std::chrono_literals;

// Distinct ranges per port, never 0: 3000 values of 1/32768 each, offset by port.
constexpr int cPeriod = 3000;

std::atomic<int> gServerCount{0};
} // namespace

float JackSignalValue(uint64_t iFrame, int iPort)
{
  return static_cast<float>(static_cast<int>(iFrame % cPeriod) + 1 + iPort * cPeriod) / 32768.0f;
}

int64_t JackSignalFrame(float iValue, int iPort)
{
  const double scaled = static_cast<double>(iValue) * 32768.0 - 1 - iPort * cPeriod;
  if (scaled < 0 || scaled >= cPeriod || scaled != std::floor(scaled))
    return -1;
  return static_cast<int64_t>(scaled);
}

TJackServer::TJackServer(uint32_t iSampleRate)
    : fName("tapevault-test-" + std::to_string(getpid()) + "-" + std::to_string(gServerCount.fetch_add(1))),
      fSampleRate(iSampleRate)
{
  fFolder = (std::filesystem::temp_directory_path() / fName).string();
  std::filesystem::create_directories(fFolder);
}

TJackServer::~TJackServer()
{
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(fFolder, ignored);
}

void TJackServer::Start()
{
  const std::string log = fFolder + "/jackd.log";
  // -t: clients may take long to open on a loaded test machine (the default is 500 ms);
  // -p: a generous period, so that it does not miss cycles either.
  fDaemon = std::make_unique<TProcessLauncher>(std::vector<std::string>{"jackd", "-n", fName, "-t", "5000", "-d",
                                                                        "dummy", "-r", std::to_string(fSampleRate),
                                                                        "-p", "2048", "-C", "8", "-P", "8"},
                                               std::vector<std::string>{"JACK_NO_AUDIO_RESERVATION=1"}, log);
  const std::vector<std::string> environment{"JACK_DEFAULT_SERVER=" + fName, "JACK_NO_START_SERVER=1"};
  bool answers = false;
  WaitUntil(
      [&]
      {
        std::string output;
        answers = RunProgram({"jack_lsp"}, environment, output, 5000) == 0 &&
                  output.find("system:capture_8") != std::string::npos;
        return answers || !fDaemon->Running();
      },
      15s);
  if (answers)
    return;
  fDaemon.reset();
  std::ifstream file(log);
  std::stringstream text;
  text << file.rdbuf();
  throw std::runtime_error("jackd did not start: " + text.str());
}

void TJackServer::Stop(bool iKill)
{
  if (!fDaemon)
    return;
  if (iKill)
    fDaemon->Kill();
  fDaemon.reset();
}

void TJackServer::ExportName() const
{
  setenv("JACK_DEFAULT_SERVER", fName.c_str(), 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
}

TJackSignal::TJackSignal(const std::string& iServerName, int iPorts)
{
  jack_status_t status{};
  fClient = jack_client_open("signal", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
                             iServerName.c_str());
  if (fClient == nullptr)
    throw std::runtime_error("the signal client cannot open the server " + iServerName);
  for (int i = 0; i < iPorts; ++i)
    fPorts.push_back(jack_port_register(fClient, ("out_" + std::to_string(i + 1)).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                        JackPortIsOutput, 0));
  jack_set_process_callback(
      fClient,
      [](jack_nframes_t iFrames, void* iSelf)
      {
        auto& self = *static_cast<TJackSignal*>(iSelf);
        const uint64_t start = self.fFrame.load();
        for (size_t port = 0; port < self.fPorts.size(); ++port)
        {
          auto* buffer = static_cast<float*>(jack_port_get_buffer(self.fPorts[port], iFrames));
          for (jack_nframes_t i = 0; i < iFrames; ++i)
            buffer[i] = JackSignalValue(start + i, static_cast<int>(port));
        }
        self.fFrame.store(start + iFrames);
        return 0;
      },
      this);
  if (jack_activate(fClient) != 0)
    throw std::runtime_error("the signal client cannot be activated");
}

TJackSignal::~TJackSignal()
{
  jack_client_close(fClient);
}

void TJackSignal::Connect(int iPort, const std::string& iDestination)
{
  const int result = jack_connect(fClient, jack_port_name(fPorts.at(static_cast<size_t>(iPort))), iDestination.c_str());
  if (result != 0 && result != EEXIST)
    throw std::runtime_error("cannot connect the signal to " + iDestination);
}

std::vector<std::string> TJackSignal::Ports(const std::string& iPattern) const
{
  std::vector<std::string> result;
  if (const char** ports = jack_get_ports(fClient, iPattern.c_str(), nullptr, 0))
  {
    for (const char** port = ports; *port != nullptr; ++port)
      result.emplace_back(*port);
    jack_free(ports);
  }
  return result;
}

std::vector<std::string> TJackSignal::Clients() const
{
  std::set<std::string> clients;
  for (const std::string& port : Ports(""))
    clients.insert(port.substr(0, port.find(':')));
  return {clients.begin(), clients.end()};
}
