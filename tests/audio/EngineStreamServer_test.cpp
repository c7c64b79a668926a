// The built-in stream server as players and hostile clients meet it: the icy- headers and content type per
// format, ICY titles only where players expect them (ffprobe and ogginfo read what came), titles that try to add
// fields of their own, thousands of requests that never finish while a listener plays on, the per-address cap,
// and listeners that stop reading or leave.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/IcyText.h"
#include "audio/engine/StreamServer.h"
#include "lib/TapevaultTools.h"
#include "support/ProcessLauncher.h"
#include "support/StreamListener.h"
#include "support/ToneMixer.h"
#include "support/Wait.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{
using namespace std::chrono_literals;

constexpr const char* kMP3Command = "lame --flush -r -s 44100 -b 128 -m s - -";
constexpr const char* kOggCommand = "oggenc -Q -r -R 44100 -b 96 -o - -";
// Real AAC in ADTS frames, from a program of the user's choice as a custom encoder would be.
constexpr const char* kAACCommand =
    "ffmpeg -nostdin -v error -f s16le -ar 44100 -ac 2 -i - -c:a aac -b:a 128k -f adts -flush_packets 1 -";
// A title file line that tries to add a field of its own, with a line break.
constexpr const char* kHostileTitle = "Song';StreamUrl='http://evil.example/';X='\r\nNext; line";

// An open TCP connection to the server on loopback; closed with the object.
class TClientSocket
{
public:
  explicit TClientSocket(uint16_t iPort, int iReceiveBuffer = 0)
  {
    fSocket = socket(AF_INET, SOCK_STREAM, 0);
    if (iReceiveBuffer > 0)
      setsockopt(fSocket, SOL_SOCKET, SO_RCVBUF, &iReceiveBuffer, sizeof(iReceiveBuffer));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(iPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    fConnected = connect(fSocket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  }
  ~TClientSocket() { close(fSocket); }
  TClientSocket(const TClientSocket&) = delete;
  TClientSocket& operator=(const TClientSocket&) = delete;

  bool Connected() const { return fConnected; }
  void Send(const std::string& iText) const { send(fSocket, iText.data(), iText.size(), MSG_NOSIGNAL); }
  // What came within iTimeout, at most iMax bytes.
  std::string Receive(size_t iMax, std::chrono::milliseconds iTimeout) const
  {
    std::string text;
    const auto end = std::chrono::steady_clock::now() + iTimeout;
    while (text.size() < iMax && std::chrono::steady_clock::now() < end)
    {
      pollfd wait{fSocket, POLLIN, 0};
      if (poll(&wait, 1, 50) <= 0)
        continue;
      char buffer[4096];
      const ssize_t got = recv(fSocket, buffer, std::min(sizeof(buffer), iMax - text.size()), 0);
      if (got <= 0)
        break;
      text.append(buffer, static_cast<size_t>(got));
    }
    return text;
  }
  // This end's port, which the server sees as the client's.
  uint16_t LocalPort() const
  {
    sockaddr_in address{};
    socklen_t length = sizeof(address);
    getsockname(fSocket, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
  }

private:
  int fSocket = -1;
  bool fConnected = false;
};

// The client ports of the server's sockets on iPort that a descriptor still holds (/proc/net/tcp: sockets
// without an inode are closed ones the kernel still winds up).
std::vector<uint16_t> ServerSocketPeers(uint16_t iPort)
{
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);
  std::vector<uint16_t> peers;
  while (std::getline(table, line))
  {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
    const auto portOf = [](const std::string& iAddress)
    { return static_cast<uint16_t>(std::stoul(iAddress.substr(iAddress.find(':') + 1), nullptr, 16)); };
    if (portOf(local) == iPort && state != "0A" && inode != "0")
      peers.push_back(portOf(remote));
  }
  return peers;
}

// The status code of an HTTP answer's first bytes, 0 without one.
int StatusOf(const std::string& iAnswer)
{
  if (!iAnswer.starts_with("HTTP/1.") || iAnswer.size() < 12)
    return 0;
  return std::atoi(iAnswer.substr(9, 3).c_str());
}

// The threads of this process.
int ThreadCount()
{
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.starts_with("Threads:"))
      return std::stoi(line.substr(8));
  return -1;
}

// ffprobe's view of a stream: its format tags ("TAG:icy-name=...", "TAG:StreamTitle=...").
std::string ProbeTags(const std::string& iURL)
{
  std::string output;
  RunProgram({"ffprobe", "-v", "error", "-probesize", "32768", "-show_entries", "format_tags", "-of", "flat", iURL}, {},
             output, 20000);
  return output;
}

// ogginfo's report on Ogg bytes; empty when it found nothing wrong.
std::string OggProblems(const std::string& iBytes)
{
  const std::string file = std::filesystem::temp_directory_path() / ("tapevault-ogg-" + std::to_string(getpid()));
  std::ofstream(file, std::ios::binary) << iBytes;
  std::string output;
  const int result = RunProgram({"ogginfo", file}, {}, output);
  std::filesystem::remove(file);
  // The capture ends in the middle of a page: that is no fault of the stream.
  std::string problems;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);)
    if ((line.starts_with("WARNING") || line.starts_with("ERROR")) && line.find("EOS") == std::string::npos &&
        line.find("ended") == std::string::npos)
      problems += line + "\n";
  return result < 0 ? "ogginfo did not run\n" + output : problems;
}

class EngineStreamServer : public testing::Test
{
protected:
  void TearDown() override
  {
    if (fEncoder)
      TAudioEngine::EncodeStop(fEncoder);
  }
  // Serves iCommand's output with iInfo and titles; the port, 0 on failure.
  uint16_t Serve(const char* iCommand, const TStreamInfo& iInfo)
  {
    fEncoder = TAudioEngine::EncodeStart(fTone.Mixer(), iCommand, efNoHeader | ef16Bit | efQueue);
    if (!fEncoder)
      return 0;
    return uint16_t(TAudioEngine::EncodeServerInit(fEncoder, "127.0.0.1:0", 40000, 4000, esfSendTitles, iInfo));
  }
  static std::string URL(uint16_t iPort) { return "http://127.0.0.1:" + std::to_string(iPort) + "/"; }

  TToneMixer fTone;
  uint32_t fEncoder = 0;
};

TEST(IcyText, TitlesAndHeadersStayOneField)
{
  struct TCase
  {
    const char* Text;
    const char* OneLine;
    const char* Field;
  };
  const TCase cases[] = {
      {"Artist - Song", "Artist - Song", "Artist - Song"},
      {"Two\r\nlines\n", "Two lines ", "Two lines "},
      {"Tab\there\x7F\x01", "Tab here ", "Tab here "},
      {"C1 \xC2\x85 next", "C1   next", "C1   next"},
      {"Rock 'n' Roll; live", "Rock 'n' Roll; live", "Rock \xE2\x80\x99n\xE2\x80\x99 Roll; live"},
      {"Caf\xC3\xA9", "Caf\xC3\xA9", "Caf\xC3\xA9"},
  };
  for (const TCase& test : cases)
  {
    EXPECT_EQ(OneLineText(test.Text), test.OneLine) << test.Text;
    EXPECT_EQ(IcyFieldValue(test.Text), test.Field) << test.Text;
  }
  EXPECT_EQ(IcyMetadata(kHostileTitle, ""),
            "StreamTitle='Song\xE2\x80\x99;StreamUrl=\xE2\x80\x99http://evil.example/\xE2\x80\x99;X=\xE2\x80\x99 Next; "
            "line';");
  EXPECT_EQ(IcyMetadata("T", "http://a/'"), "StreamTitle='T';StreamUrl='http://a/\xE2\x80\x99';");
  // A long title is cut at a character boundary and the block keeps its closing quote.
  std::string accents;
  for (int i = 0; i < 3000; ++i)
    accents += "\xC3\xA9";
  const std::string text = IcyMetadata(accents, std::string(3000, 'u'));
  EXPECT_LE(text.size(), 255u * 16);
  EXPECT_TRUE(text.ends_with("';")) << text.substr(text.size() - 10);
  EXPECT_NE(text.find("\xC3\xA9';StreamUrl='"), std::string::npos);
}

TEST_F(EngineStreamServer, HeadersContentTypesAndTitlesPerFormat)
{
  struct TCase
  {
    const char* Name;
    const char* Command;
    const char* Content; // what the slot passes; empty: taken from the stream's bytes
    const char* Expected;
    bool Titles; // ICY metadata for a listener that asks
  };
  const TCase cases[] = {
      {"MP3", kMP3Command, "audio/mpeg", "audio/mpeg", true},
      {"Ogg Vorbis", kOggCommand, "audio/ogg", "audio/ogg", false},
      {"Ogg Vorbis by its bytes", kOggCommand, "", "audio/ogg", false},
      {"AAC by its bytes", kAACCommand, "", "audio/aac", true},
      {"AAC+", kAACCommand, "audio/aacp", "audio/aacp", true},
  };
  for (const TCase& test : cases)
  {
    SCOPED_TRACE(test.Name);
    TStreamInfo info;
    info.Content = test.Content;
    info.Name = "Tapevault\r\nX-Injected: yes";
    info.Description = "A tone";
    info.Genre = "Tests";
    info.URL = "http://example.org/";
    info.Bitrate = 128;
    info.Public = true;
    const uint16_t port = Serve(test.Command, info);
    ASSERT_NE(port, 0u) << BassErrorText(TAudioEngine::ErrorGetCode());
    ASSERT_TRUE(TAudioEngine::EncodeCastSetTitle(fEncoder, kHostileTitle, ""));
    const TStreamCapture capture = ListenToStream(URL(port), 40000, true);
    EXPECT_EQ(capture.Status, 200);
    EXPECT_EQ(capture.ContentType, test.Expected);
    EXPECT_EQ(capture.Headers.count("x-injected"), 0u);
    const std::map<std::string, std::string> expected = {{"icy-name", "Tapevault X-Injected: yes"},
                                                         {"icy-description", "A tone"},
                                                         {"icy-genre", "Tests"},
                                                         {"icy-url", "http://example.org/"},
                                                         {"icy-br", "128"},
                                                         {"icy-pub", "1"}};
    for (const auto& [name, value] : expected)
      EXPECT_EQ(capture.Headers.count(name) ? capture.Headers.at(name) : "(missing)", value) << name;
    if (test.Titles)
    {
      EXPECT_EQ(capture.MetaInterval, 16000);
      ASSERT_FALSE(capture.Metadata.empty());
      // One field: the title's quotes cannot end it, its line break is gone.
      EXPECT_EQ(capture.Metadata.front(),
                "StreamTitle='Song\xE2\x80\x99;StreamUrl=\xE2\x80\x99http://evil.example/\xE2\x80\x99;X=\xE2\x80\x99 "
                "Next; line';");
    }
    else
    {
      EXPECT_EQ(capture.MetaInterval, 0);
      EXPECT_EQ(capture.Headers.count("icy-metaint"), 0u);
      // What an ICY-asking player gets is clean Ogg.
      EXPECT_EQ(OggProblems(capture.Audio), "");
    }
    EXPECT_FALSE(DecodeToMono(capture.Audio).empty());
    EXPECT_TRUE(TAudioEngine::EncodeStop(fEncoder));
    fEncoder = 0;
  }
}

TEST_F(EngineStreamServer, FfprobeReadsTheNameAndTheTitle)
{
  TStreamInfo info;
  info.Content = "audio/mpeg";
  info.Name = "Tapevault Radio";
  info.Genre = "Tests";
  const uint16_t port = Serve(kMP3Command, info);
  ASSERT_NE(port, 0u) << BassErrorText(TAudioEngine::ErrorGetCode());
  ASSERT_TRUE(TAudioEngine::EncodeCastSetTitle(fEncoder, kHostileTitle, ""));
  const std::string tags = ProbeTags(URL(port));
  EXPECT_NE(tags.find("format.tags.icy_name=\"Tapevault Radio\""), std::string::npos) << tags;
  EXPECT_NE(tags.find("format.tags.icy_genre=\"Tests\""), std::string::npos) << tags;
  EXPECT_NE(tags.find("format.tags.StreamTitle=\"Song\xE2\x80\x99;StreamUrl=\xE2\x80\x99http://evil.example/"
                      "\xE2\x80\x99;X=\xE2\x80\x99 Next; line\""),
            std::string::npos)
      << tags;
  EXPECT_EQ(tags.find("StreamUrl=\"http://evil.example/"), std::string::npos) << tags;
}

TEST_F(EngineStreamServer, ThousandsOfUnfinishedRequestsLeaveAListenerPlaying)
{
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 4096));
  setrlimit(RLIMIT_NOFILE, &files);
  const uint16_t port = Serve(kMP3Command, TStreamInfo{});
  ASSERT_NE(port, 0u) << BassErrorText(TAudioEngine::ErrorGetCode());
  const int threadsBefore = ThreadCount();

  // About 12 s of the tone (it comes twice as fast as real time) while the requests come.
  TStreamCapture listened;
  std::thread listener([&] { listened = ListenToStream(URL(port), 400000, false, 60s); });
  ASSERT_TRUE(WaitUntil([&] { return ServerSocketPeers(port).size() == 1; }, 5s));

  size_t mostHeld = 0;
  int threadsMost = 0;
  for (int batch = 0; batch < 10; ++batch)
  {
    std::vector<std::unique_ptr<TClientSocket>> slow;
    for (int i = 0; i < 400; ++i)
    {
      slow.push_back(std::make_unique<TClientSocket>(port));
      slow.back()->Send("GET / HT");
    }
    mostHeld = std::max(mostHeld, ServerSocketPeers(port).size());
    threadsMost = std::max(threadsMost, ThreadCount());
  }
  listener.join();
  EXPECT_EQ(listened.Status, 200);
  EXPECT_GE(listened.Audio.size(), 400000u);
  EXPECT_FALSE(DecodeToMono(listened.Audio).empty());
  // The server held about its cap per address of the 400 at a time (one beyond it is accepted and closed at once,
  // and may be caught in between); no thread per connection.
  EXPECT_LE(mostHeld, TStreamServer::kMaxConnectionsPerAddress + 4);
  EXPECT_LE(threadsMost, threadsBefore + 2);

  // Requests that never finish are closed after the time-out.
  std::vector<std::unique_ptr<TClientSocket>> slow;
  for (int i = 0; i < 5; ++i)
  {
    slow.push_back(std::make_unique<TClientSocket>(port));
    slow.back()->Send("GET / HTTP/1.0\r\nHost: x");
  }
  ASSERT_TRUE(WaitUntil([&] { return ServerSocketPeers(port).size() == 5; }, 5s));
  EXPECT_TRUE(WaitUntil([&] { return ServerSocketPeers(port).empty(); },
                        std::chrono::seconds(TStreamServer::kRequestTimeoutSeconds + 5)));
  for (const auto& socket : slow)
    EXPECT_EQ(socket->Receive(1, 1s), "");
}

TEST_F(EngineStreamServer, ListenersBeyondTheCapOfAnAddressGet503)
{
  const uint16_t port = Serve(kMP3Command, TStreamInfo{});
  ASSERT_NE(port, 0u) << BassErrorText(TAudioEngine::ErrorGetCode());
  std::vector<std::unique_ptr<TClientSocket>> listeners;
  for (uint32_t i = 0; i < TStreamServer::kMaxListenersPerAddress; ++i)
  {
    listeners.push_back(std::make_unique<TClientSocket>(port));
    listeners.back()->Send("GET / HTTP/1.0\r\n\r\n");
    EXPECT_EQ(StatusOf(listeners.back()->Receive(12, 5s)), 200) << i;
  }
  TClientSocket refused(port);
  refused.Send("GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(StatusOf(refused.Receive(12, 5s)), 503);
  // A place that comes free is taken again.
  listeners.pop_back();
  EXPECT_TRUE(WaitUntil(
      [&]
      {
        TClientSocket again(port);
        again.Send("GET / HTTP/1.0\r\n\r\n");
        return StatusOf(again.Receive(12, 2s)) == 200;
      },
      10s));
}

TEST_F(EngineStreamServer, ListenersThatStopReadingOrLeaveAreClosedAtOnce)
{
  const uint16_t port = Serve(kMP3Command, TStreamInfo{});
  ASSERT_NE(port, 0u) << BassErrorText(TAudioEngine::ErrorGetCode());
  TClientSocket stalled(port);
  stalled.Send("GET / HTTP/1.0\r\n\r\n");
  auto leaving = std::make_unique<TClientSocket>(port);
  leaving->Send("GET / HTTP/1.0\r\n\r\n");
  ASSERT_FALSE(leaving->Receive(1000, 5s).empty());
  const uint16_t stalledPort = stalled.LocalPort();
  const uint16_t leavingPort = leaving->LocalPort();
  const auto holds = [&](uint16_t iPeer)
  {
    const std::vector<uint16_t> peers = ServerSocketPeers(port);
    return std::find(peers.begin(), peers.end(), iPeer) != peers.end();
  };
  ASSERT_TRUE(WaitUntil([&] { return holds(stalledPort) && holds(leavingPort); }, 5s));

  // The one that left is closed while no other listener comes.
  leaving.reset();
  EXPECT_TRUE(WaitUntil([&] { return !holds(leavingPort); }, 5s));
  EXPECT_TRUE(holds(stalledPort));
  // The one that never reads falls behind the buffer: dropped, its socket closed.
  TEncodeOutputInfo output;
  EXPECT_TRUE(WaitUntil(
      [&] { return TAudioEngine::EncodeGetOutputInfo(fEncoder, output) && output.DroppedListeners == 1; }, 40s));
  EXPECT_TRUE(WaitUntil([&] { return !holds(stalledPort); }, 5s));
  EXPECT_EQ(output.Listeners, 0u);
}
} // namespace
