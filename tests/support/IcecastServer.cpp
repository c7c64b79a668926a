#include "IcecastServer.h"

#include "PythonTestServer.h"
#include "Wait.h"
#include "WebClient.h"

#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace
{
constexpr const char* kPassword = TIcecastServer::kSourcePassword;

std::string Config(const std::string& iFolder, int iPort, const std::string& iShoutcastMount)
{
  return "<icecast>\n"
         "  <limits><clients>100</clients><sources>20</sources><burst-size>0</burst-size>"
         "<source-timeout>10</source-timeout></limits>\n"
         "  <authentication><source-password>" +
         std::string(kPassword) + "</source-password><admin-user>admin</admin-user><admin-password>" + kPassword +
         "</admin-password></authentication>\n"
         "  <hostname>127.0.0.1</hostname>\n"
         "  <listen-socket><port>" +
         std::to_string(iPort) + "</port><bind-address>127.0.0.1</bind-address>" +
         (iShoutcastMount.empty() ? std::string() : "<shoutcast-mount>" + iShoutcastMount + "</shoutcast-mount>") +
         "</listen-socket>\n"
         "  <paths><basedir>/usr/share/icecast2</basedir><logdir>" +
         iFolder +
         "/log</logdir><webroot>/usr/share/icecast2/web</webroot>"
         "<adminroot>/usr/share/icecast2/admin</adminroot></paths>\n"
         "  <logging><errorlog>error.log</errorlog><accesslog>access.log</accesslog><loglevel>2</loglevel></logging>\n"
         "  <security><chroot>0</chroot><changeowner><user>icecast2</user><group>icecast</group></changeowner>"
         "</security>\n"
         "</icecast>\n";
}
} // namespace

TIcecastServer::TIcecastServer(const std::string& iShoutcastMount)
{
  std::string Template = (std::filesystem::temp_directory_path() / "tapevault-icecast-XXXXXX").string();
  if (!mkdtemp(Template.data()))
    throw std::runtime_error("Cannot make a temporary folder for Icecast");
  fFolder = Template;
  chmod(fFolder.c_str(), 0755);
  const std::string Logs = fFolder + "/log";
  std::filesystem::create_directory(Logs);
  const passwd* User = getpwnam("icecast2");
  const group* Group = getgrnam("icecast");
  if (!User || !Group)
    throw std::runtime_error("icecast2 is not installed (no user icecast2 / group icecast)");
  if (chown(Logs.c_str(), User->pw_uid, Group->gr_gid) != 0)
    throw std::runtime_error("Cannot give the Icecast log folder to icecast2");
  // A port found free can be taken by a parallel test before Icecast binds it, and Icecast sometimes dies in its
  // first moments: a second or third start on a new port gets past both.
  for (int Attempt = 1;; ++Attempt)
  {
    fPort = FreeLoopbackPort();
    std::ofstream(fFolder + "/icecast.xml") << Config(fFolder, fPort, iShoutcastMount);
    try
    {
      Start();
      return;
    }
    catch (const std::runtime_error&)
    {
      if (Attempt == 3)
        throw;
    }
  }
}

TIcecastServer::~TIcecastServer()
{
  Stop();
  std::error_code Ignored;
  std::filesystem::remove_all(fFolder, Ignored);
}

std::string TIcecastServer::URL(const std::string& iMount) const
{
  return "http://127.0.0.1:" + std::to_string(fPort) + iMount;
}

void TIcecastServer::Start()
{
  fProcess = std::make_unique<TProcessLauncher>(std::vector<std::string>{"icecast2", "-c", fFolder + "/icecast.xml"},
                                                std::vector<std::string>{}, fFolder + "/icecast.out");
  // Icecast can crash when a client connects within its first moments: wait until it answers.
  if (!WaitUntil([this] { return Answers(); }, std::chrono::seconds(15)))
    throw std::runtime_error("Icecast did not start: " + ReadTextFile(fFolder + "/icecast.out") +
                             ReadTextFile(fFolder + "/log/error.log"));
}

pid_t TIcecastServer::Pid() const
{
  return fProcess ? fProcess->Pid() : -1;
}

void TIcecastServer::Stop()
{
  fProcess.reset();
}

std::string TIcecastServer::Status() const
{
  std::string Output;
  RunProgram({"curl", "-s", "-m", "5", URL("/status-json.xsl")}, {}, Output, 6000);
  return Output;
}

bool TIcecastServer::Answers() const
{
  std::string Output;
  return RunProgram({"curl", "-s", "-o", "/dev/null", "-m", "2", URL("/status-json.xsl")}, {}, Output, 3000) == 0;
}

std::unique_ptr<TProcessLauncher> TIcecastServer::StartSource(const std::string& iMount, TSourceFormat iFormat,
                                                              const std::string& iArtist, const std::string& iTitle)
{
  std::vector<std::string> Arguments{
      "ffmpeg", "-nostdin", "-loglevel", "error", "-re", "-f", "lavfi", "-i", "sine=f=440:sample_rate=44100",
      "-ac",    "2"};
  switch (iFormat)
  {
  case kMP3:
    Arguments.insert(Arguments.end(),
                     {"-c:a", "libmp3lame", "-b:a", "128k", "-content_type", "audio/mpeg", "-f", "mp3"});
    break;
  case kAAC:
    Arguments.insert(Arguments.end(), {"-c:a", "aac", "-b:a", "96k", "-content_type", "audio/aac", "-f", "adts"});
    break;
  default:
    Arguments.insert(Arguments.end(), {"-c:a", iFormat == kOggOpus   ? "libopus"
                                               : iFormat == kOggFLAC ? "flac"
                                                                     : "libvorbis"});
    if (!iArtist.empty())
      Arguments.insert(Arguments.end(), {"-metadata", "artist=" + iArtist});
    if (!iTitle.empty())
      Arguments.insert(Arguments.end(), {"-metadata", "title=" + iTitle});
    Arguments.insert(Arguments.end(), {"-content_type", "application/ogg", "-f", "ogg"});
    break;
  }
  Arguments.push_back("icecast://source:" + std::string(kPassword) + "@127.0.0.1:" + std::to_string(fPort) + iMount);
  return std::make_unique<TProcessLauncher>(Arguments, std::vector<std::string>{}, fFolder + "/source.log");
}

bool TIcecastServer::WaitForMount(const std::string& iMount, std::chrono::milliseconds iTimeout) const
{
  return WaitUntil(
      [&]
      {
        std::string Output;
        return RunProgram({"curl", "-s", "-f", "-o", "/dev/null", "-m", "2", "-u", std::string("admin:") + kPassword,
                           URL("/admin/stats?mount=" + iMount)},
                          {}, Output, 3000) == 0;
      },
      iTimeout);
}

bool TIcecastServer::SetTitle(const std::string& iMount, const std::string& iTitle) const
{
  std::string Output;
  return RunProgram({"curl", "-s", "-f", "-o", "/dev/null", "-m", "5", "-u", std::string("admin:") + kPassword,
                     URL("/admin/metadata?mount=" + iMount + "&mode=updinfo&song=" + WebEscape(iTitle))},
                    {}, Output, 6000) == 0;
}
