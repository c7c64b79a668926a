#include "PulseServer.h"

#include "Wait.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace
{
using namespace std::chrono_literals;

std::string ReadFile(const std::string& iPath)
{
  std::ifstream file(iPath, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string Tail(const std::string& iText, size_t iLength)
{
  return iText.size() <= iLength ? iText : iText.substr(iText.size() - iLength);
}

std::string MakeTempFolder()
{
  std::string pattern = (std::filesystem::temp_directory_path() / "tapevault-pulse-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot create a temporary folder: " + std::string(std::strerror(errno)));
  return pattern;
}

void PutLE(std::ostream& iOut, uint32_t iValue, int iBytes)
{
  for (int i = 0; i < iBytes; ++i)
    iOut.put(static_cast<char>((iValue >> (8 * i)) & 0xFF));
}
} // namespace

void WriteToneWav(const std::string& iPath, double iFrequency, double iSeconds, uint32_t iSampleRate)
{
  const auto frames = static_cast<uint32_t>(iSeconds * iSampleRate);
  const uint32_t dataBytes = frames * 4;
  std::ofstream out(iPath, std::ios::binary);
  out.write("RIFF", 4);
  PutLE(out, 36 + dataBytes, 4);
  out.write("WAVEfmt ", 8);
  PutLE(out, 16, 4);
  PutLE(out, 1, 2);
  PutLE(out, 2, 2);
  PutLE(out, iSampleRate, 4);
  PutLE(out, iSampleRate * 4, 4);
  PutLE(out, 4, 2);
  PutLE(out, 16, 2);
  out.write("data", 4);
  PutLE(out, dataBytes, 4);
  for (uint32_t frame = 0; frame < frames; ++frame)
  {
    const auto sample =
        static_cast<int16_t>(std::lround(16384.0 * std::sin(2 * M_PI * iFrequency * frame / iSampleRate)));
    PutLE(out, static_cast<uint16_t>(sample), 2);
    PutLE(out, static_cast<uint16_t>(sample), 2);
  }
  if (!out)
    throw std::runtime_error("cannot write " + iPath);
}

TPulseServer::TPulseServer(std::vector<std::string> iSinkNames, uint32_t iSampleRate)
    : fFolder(MakeTempFolder()), fSinkNames(std::move(iSinkNames)), fSampleRate(iSampleRate)
{
}

TPulseServer::~TPulseServer()
{
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(fFolder, ignored);
}

std::string TPulseServer::Address() const
{
  return "unix:" + fFolder + "/native";
}

void TPulseServer::ExportAddress() const
{
  setenv("PULSE_SERVER", Address().c_str(), 1);
}

std::vector<std::string> TPulseServer::ClientEnvironment() const
{
  return {"PULSE_SERVER=" + Address(), "HOME=" + fFolder + "/home"};
}

void TPulseServer::Start()
{
  if (fDaemon)
    return;
  const std::string config = fFolder + "/pa.conf";
  // norewinds: a null sink of PulseAudio 16 stops consuming its playback streams after a rewind (the first one
  // happens as soon as a stream starts), so playback would stall after its first buffer.
  {
    std::ofstream out(config);
    for (const std::string& sink : fSinkNames)
      out << "load-module module-null-sink sink_name=" << sink << " sink_properties=device.description=" << sink
          << " rate=" << fSampleRate << " norewinds=1\n";
    out << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << fFolder << "/native\n";
    if (!fSinkNames.empty())
      out << "set-default-sink " << fSinkNames.front() << "\nset-default-source " << fSinkNames.front() << ".monitor\n";
  }
  std::filesystem::create_directories(fFolder + "/home");
  std::filesystem::create_directories(fFolder + "/rt");
  std::filesystem::remove(fFolder + "/native");
  const std::string log = fFolder + "/pulseaudio.log";
  fDaemon = std::make_unique<TProcessLauncher>(
      std::vector<std::string>{"pulseaudio", "-n", "-F", config, "--daemonize=no", "--exit-idle-time=-1",
                               "--disallow-exit", "--use-pid-file=no", "--log-target=stderr", "--high-priority=no",
                               "--realtime=no"},
      std::vector<std::string>{"HOME=" + fFolder + "/home", "PULSE_RUNTIME_PATH=" + fFolder + "/rt",
                               "XDG_RUNTIME_DIR=" + fFolder + "/rt"},
      log);
  std::string answer;
  bool answers = false;
  WaitUntil(
      [&]
      {
        answers = std::filesystem::exists(fFolder + "/native") &&
                  RunProgram({"pactl", "info"}, ClientEnvironment(), answer, 5000) == 0;
        return answers || !fDaemon->Running();
      },
      10s);
  if (answers)
    return;
  const bool died = !fDaemon->Running();
  fDaemon.reset();
  throw std::runtime_error(std::string("PulseAudio test server ") +
                           (died ? "ended at start" : "did not answer within 10 s") + "; its log ends:\n" +
                           Tail(ReadFile(log), 2000));
}

void TPulseServer::Stop()
{
  fDaemon.reset();
}

std::unique_ptr<TProcessLauncher> TPulseServer::PlayTone(const std::string& iSink, double iFrequency, double iSeconds)
{
  const std::string file = fFolder + "/tone-" + std::to_string(std::lround(iFrequency)) + "-" +
                           std::to_string(std::lround(iSeconds * 1000)) + ".wav";
  if (!std::filesystem::exists(file))
    WriteToneWav(file, iFrequency, iSeconds, fSampleRate);
  return std::make_unique<TProcessLauncher>(std::vector<std::string>{"paplay", "-d", iSink, file}, ClientEnvironment(),
                                            fFolder + "/paplay.log");
}

std::string TPulseServer::Pactl(const std::vector<std::string>& iArguments) const
{
  std::vector<std::string> arguments{"pactl"};
  arguments.insert(arguments.end(), iArguments.begin(), iArguments.end());
  std::string output;
  const int exitCode = RunProgram(arguments, ClientEnvironment(), output);
  if (exitCode != 0)
    throw std::runtime_error("pactl failed (" + std::to_string(exitCode) + "): " + output);
  return output;
}

std::unique_ptr<TPulseServer> TPulseServerTest::fSuiteServer;
std::string TPulseServerTest::fStartFailure;

bool TPulseServerTest::StartSuiteServer(std::vector<std::string> iSinkNames)
{
  fStartFailure.clear();
  try
  {
    auto server = std::make_unique<TPulseServer>(std::move(iSinkNames));
    server->Start();
    server->ExportAddress();
    fSuiteServer = std::move(server);
    return true;
  }
  catch (const std::exception& e)
  {
    fStartFailure = e.what();
    return false;
  }
}

void TPulseServerTest::StopSuiteServer()
{
  fSuiteServer.reset();
}

void TPulseServerTest::SetUp()
{
  if (!fSuiteServer)
    FAIL() << "no PulseAudio test server: " << fStartFailure;
}
