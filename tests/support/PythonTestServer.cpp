#include "PythonTestServer.h"

#include "Wait.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace
{

constexpr const char* Python = "/usr/bin/python3";
constexpr std::chrono::seconds StartTimeout{15};

pid_t Spawn(const std::vector<std::string>& iArguments, const std::string& iOutputFile)
{
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, STDOUT_FILENO, iOutputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&Actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<char*> Argv;
  for (const std::string& Argument : iArguments)
    Argv.push_back(const_cast<char*>(Argument.c_str()));
  Argv.push_back(nullptr);
  pid_t Pid = -1;
  const int Error = posix_spawn(&Pid, Argv[0], &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  if (Error != 0)
    throw std::runtime_error("Cannot start " + iArguments[0] + ": " + std::strerror(Error));
  return Pid;
}

void RunToEnd(const std::vector<std::string>& iArguments, const std::string& iOutputFile)
{
  const pid_t Pid = Spawn(iArguments, iOutputFile);
  int Status = 0;
  waitpid(Pid, &Status, 0);
  if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0)
    throw std::runtime_error(iArguments[0] + " failed: " + ReadTextFile(iOutputFile));
}

} // namespace

TPythonTestServer::TPythonTestServer(const std::string& iName, const std::string& iScript,
                                     const std::vector<std::string>& iArguments, bool iCertificate)
{
  std::string Template = (std::filesystem::temp_directory_path() / ("tapevault-" + iName + "-XXXXXX")).string();
  if (!mkdtemp(Template.data()))
    throw std::runtime_error("Cannot create a temporary folder for " + iName);
  fFolder = Template;
  try
  {
    const std::string Output = fFolder + "/output.log";
    if (iCertificate)
    {
      // A private CA, and the server's certificate that it signed for the address the tests connect to.
      const auto NewCertificate = [&](std::vector<std::string> iArguments)
      {
        iArguments.insert(iArguments.begin(),
                          {"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30"});
        RunToEnd(iArguments, Output);
      };
      NewCertificate({"-keyout", fFolder + "/ca-key.pem", "-out", CAFile(), "-subj", "/CN=Tapevault test CA"});
      NewCertificate({"-keyout", fFolder + "/key.pem", "-out", fFolder + "/cert.pem", "-subj", "/CN=127.0.0.1",
                      "-addext", "subjectAltName=IP:127.0.0.1", "-addext", "basicConstraints=critical,CA:FALSE", "-CA",
                      CAFile(), "-CAkey", fFolder + "/ca-key.pem"});
    }
    std::ofstream(fFolder + "/server.py") << iScript;
    fPort = FreeLoopbackPort();
    std::vector<std::string> Arguments = {Python, fFolder + "/server.py", "--port", std::to_string(fPort), "--folder",
                                          fFolder};
    Arguments.insert(Arguments.end(), iArguments.begin(), iArguments.end());
    fPid = Spawn(Arguments, Output);
    const bool Ready = WaitUntil(
        [&]
        {
          int Status = 0;
          if (waitpid(fPid, &Status, WNOHANG) == fPid)
            fPid = -1;
          return fPid < 0 || std::filesystem::exists(fFolder + "/ready");
        },
        StartTimeout);
    if (!Ready || fPid < 0)
      throw std::runtime_error("The " + iName + " test server (" + Python + ") did not start: " + ReadTextFile(Output));
  }
  catch (...)
  {
    Stop();
    throw;
  }
}

TPythonTestServer::~TPythonTestServer()
{
  Stop();
}

void TPythonTestServer::Stop()
{
  if (fPid > 0)
  {
    kill(fPid, SIGTERM);
    int Status = 0;
    if (!WaitUntil([&] { return waitpid(fPid, &Status, WNOHANG) == fPid; }, std::chrono::seconds(5)))
    {
      kill(fPid, SIGKILL);
      waitpid(fPid, &Status, 0);
    }
    fPid = -1;
  }
  std::error_code Ignored;
  std::filesystem::remove_all(fFolder, Ignored);
}

int FreeLoopbackPort()
{
  const int Socket = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Length = sizeof(Address);
  const bool Bound = Socket >= 0 && bind(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) == 0 &&
                     getsockname(Socket, reinterpret_cast<sockaddr*>(&Address), &Length) == 0;
  if (Socket >= 0)
    close(Socket);
  if (!Bound)
    throw std::runtime_error("No free loopback port");
  return ntohs(Address.sin_port);
}

std::string ReadTextFile(const std::string& iPath)
{
  std::ifstream File(iPath, std::ios::binary);
  std::ostringstream Text;
  Text << File.rdbuf();
  return Text.str();
}
