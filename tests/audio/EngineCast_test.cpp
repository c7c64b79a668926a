// Streaming an encoder's output: casting to a real Icecast 2 (its HTTP mount protocol and its Shoutcast
// source port), failures with their engine codes, the lost connection, and the built-in stream server with
// several listeners, ICY titles and the burst. A tone is fed through a mixer about twice as fast as real time.

#include "audio/engine/AudioEngine.h"
#include "audio/engine/CastAddress.h"
#include "lib/TapevaultTools.h"
#include "support/EngineSignal.h"
#include "support/IcecastServer.h"
#include "support/PythonTestServer.h"
#include "support/StreamListener.h"
#include "support/ToneMixer.h"
#include "support/Wait.h"
#include "support/WebClient.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// libshout 2.4.6 loses the data it still queued for a connection that broke; the engine cannot reach it.
extern "C" const char* __lsan_default_suppressions()
{
  return "leak:shout_queue_data\n";
}

namespace
{
using namespace std::chrono_literals;

constexpr const char* kMP3Command = "lame --flush -r -s 44100 -b 128 -m s - -";
constexpr const char* kOggCommand = "oggenc -Q -r -R 44100 -b 96 -o - -";
constexpr const char* kHeaders = "icy-aim:tapevault\r\nicy-irc:#tapevault\r\nicy-icq:12345\r\n";

// What the tests' streams say about themselves.
TStreamInfo TestStreamInfo()
{
  TStreamInfo Info;
  Info.Name = "Tapevault test";
  Info.URL = "http://example.org/";
  Info.Genre = "Tests";
  Info.Description = "A tone";
  Info.Headers = kHeaders;
  Info.Bitrate = 128;
  return Info;
}

// The 440 Hz tone at amplitude 0.5 is in what came, after the decoder's first moments.
void ExpectTone(const std::string& iEncoded)
{
  const std::vector<float> Samples = DecodeToMono(iEncoded);
  ASSERT_GE(Samples.size(), 22050u) << "decoded " << Samples.size() << " samples of " << iEncoded.size() << " bytes";
  const TSineFit Fit = FitSineNear(Samples.data() + Samples.size() - 11025, 1, 0, 11025, 44100, 440, 3);
  EXPECT_NEAR(Fit.Frequency, 440, 1);
  EXPECT_NEAR(Fit.Amplitude, 0.5, 0.05);
  EXPECT_LT(Fit.ResidualRms, 0.05);
}

class EngineCast : public testing::Test
{
protected:
  uint32_t StartEncoder(const char* iCommand)
  {
    return TAudioEngine::EncodeStart(fTone.Mixer(), iCommand, efNoHeader | ef16Bit | efQueue,
                                     [this](uint32_t, uint32_t iStatus) { fNotified = iStatus; });
  }
  bool Cast(uint32_t iEncoder, const std::string& iServer, const std::string& iPassword, const std::string& iContent)
  {
    TStreamInfo Info = TestStreamInfo();
    Info.Content = iContent;
    return TAudioEngine::EncodeCastInit(iEncoder, iServer, iPassword, Info);
  }

  TToneMixer fTone;
  std::atomic<uint32_t> fNotified{0};
};

TEST(CastAddress, ServerTexts)
{
  struct TCase
  {
    const char* Server;
    bool Valid;
    TCastAddress::TProtocol Protocol = TCastAddress::cpIcecast;
    const char* Host = "";
    uint16_t Port = 0;
    const char* Mount = "";
    const char* StreamID = "";
  };
  const TCase Cases[] = {
      {"radio.example.org:8000/live", true, TCastAddress::cpIcecast, "radio.example.org", 8000, "/live", ""},
      {"10.0.0.1:8000", true, TCastAddress::cpShoutcast, "10.0.0.1", 8000, "", ""},
      {"10.0.0.1:8000,1", true, TCastAddress::cpShoutcast, "10.0.0.1", 8000, "", "1"},
      {"[::1]:8000/a/b.mp3", true, TCastAddress::cpIcecast, "::1", 8000, "/a/b.mp3", ""},
      {"host", false},
      {"host:", false},
      {":8000/live", false},
      {"host:0/live", false},
      {"host:65536", false},
      {"host:8000/", false},
      {"host:8000,", false},
      {"host:80x", false},
      {"[::1/live", false},
  };
  for (const TCase& Case : Cases)
  {
    const std::optional<TCastAddress> Address = ParseCastAddress(Case.Server);
    ASSERT_EQ(Address.has_value(), Case.Valid) << Case.Server;
    if (!Address)
      continue;
    EXPECT_EQ(Address->Protocol, Case.Protocol) << Case.Server;
    EXPECT_EQ(Address->Host, Case.Host) << Case.Server;
    EXPECT_EQ(Address->Port, Case.Port) << Case.Server;
    EXPECT_EQ(Address->Mount, Case.Mount) << Case.Server;
    EXPECT_EQ(Address->StreamID, Case.StreamID) << Case.Server;
    EXPECT_EQ(CastSourcePassword(*Address, "secret"),
              *Case.StreamID ? std::string("secret:#") + Case.StreamID : "secret")
        << Case.Server;
  }
}

TEST_F(EngineCast, IcecastMountsGetMP3AndOggWithTitles)
{
  TIcecastServer Icecast;
  struct TCase
  {
    const char* Mount;
    const char* Command;
    const char* Content;
    bool TitleInStatus; // Ogg streams carry titles inside: Icecast takes none from outside
  };
  for (const TCase& Case :
       {TCase{"/live.mp3", kMP3Command, "audio/mpeg", true}, TCase{"/live.ogg", kOggCommand, "audio/ogg", false}})
  {
    SCOPED_TRACE(Case.Mount);
    const uint32_t Encoder = StartEncoder(Case.Command);
    ASSERT_NE(Encoder, 0u);
    ASSERT_TRUE(Cast(Encoder, "127.0.0.1:" + std::to_string(Icecast.Port()) + Case.Mount,
                     TIcecastServer::kSourcePassword, Case.Content))
        << BassErrorText(TAudioEngine::ErrorGetCode());
    ASSERT_TRUE(Icecast.WaitForMount(Case.Mount));
    // Any encoder that casts takes titles; Icecast shows them for MP3 mounts.
    EXPECT_TRUE(TAudioEngine::EncodeCastSetTitle(Encoder, "Artist - Song", ""));
    const TStreamCapture Capture = ListenToStream(Icecast.URL(Case.Mount), 24000);
    EXPECT_EQ(Capture.Status, 200);
    ExpectTone(Capture.Audio);
    const std::string Status = WebGet(uint16_t(Icecast.Port()), "/status-json.xsl").Body;
    EXPECT_NE(Status.find("\"server_name\":\"Tapevault test\""), std::string::npos) << Status;
    EXPECT_NE(Status.find("\"genre\":\"Tests\""), std::string::npos) << Status;
    EXPECT_NE(Status.find("\"server_description\":\"A tone\""), std::string::npos) << Status;
    if (Case.TitleInStatus)
    {
      EXPECT_TRUE(WaitUntil(
          [&]
          {
            return WebGet(uint16_t(Icecast.Port()), "/status-json.xsl").Body.find("\"title\":\"Artist - Song\"") !=
                   std::string::npos;
          },
          5s));
    }
    EXPECT_EQ(TAudioEngine::EncodeIsActive(Encoder), esRunning);
    EXPECT_TRUE(TAudioEngine::EncodeStop(Encoder));
  }
  EXPECT_EQ(fNotified, 0u);
}

// Icecast 2.4 loses an Ogg mount whose title is updated before it has seen the stream's headers: a title set at
// once after connecting must wait for them, and then show.
TEST_F(EngineCast, OggCastsArePlayableAndTitledAtEveryStart)
{
  TIcecastServer Icecast;
  for (int Start = 0; Start < 10; ++Start)
  {
    const std::string Mount = "/start" + std::to_string(Start) + ".ogg";
    const std::string Title = "Start " + std::to_string(Start);
    SCOPED_TRACE(Mount);
    const uint32_t Encoder = StartEncoder(kOggCommand);
    ASSERT_NE(Encoder, 0u);
    ASSERT_TRUE(Cast(Encoder, "127.0.0.1:" + std::to_string(Icecast.Port()) + Mount, TIcecastServer::kSourcePassword,
                     "audio/ogg"))
        << BassErrorText(TAudioEngine::ErrorGetCode());
    ASSERT_TRUE(TAudioEngine::EncodeCastSetTitle(Encoder, Title, ""));
    // What a listener gets within 5 s of the start decodes (a lost mount gives its listeners the headers only).
    EXPECT_FALSE(DecodeToMono(ListenToStream(Icecast.URL(Mount), 16000, false, 5s).Audio).empty()) << Icecast.Status();
    // Icecast shows an Ogg stream's new title once it has rebuilt the stream's headers with it, a few pages later;
    // the stream goes on after that.
    EXPECT_TRUE(
        WaitUntil([&] { return Icecast.Status().find("\"title\":\"" + Title + "\"") != std::string::npos; }, 10s))
        << Icecast.Status();
    EXPECT_FALSE(DecodeToMono(ListenToStream(Icecast.URL(Mount), 16000, false, 5s).Audio).empty()) << Icecast.Status();
    EXPECT_TRUE(TAudioEngine::EncodeStop(Encoder));
  }
}

TEST_F(EngineCast, ShoutcastSourcePort)
{
  TIcecastServer Icecast("/shout.mp3");
  const uint32_t Encoder = StartEncoder(kMP3Command);
  ASSERT_NE(Encoder, 0u);
  // "host:port" names the server; the source protocol goes to the port after it.
  ASSERT_TRUE(
      Cast(Encoder, "127.0.0.1:" + std::to_string(Icecast.Port()), TIcecastServer::kSourcePassword, "audio/mpeg"))
      << BassErrorText(TAudioEngine::ErrorGetCode());
  ASSERT_TRUE(Icecast.WaitForMount("/shout.mp3"));
  EXPECT_TRUE(TAudioEngine::EncodeCastSetTitle(Encoder, "Artist - Song", ""));
  const TStreamCapture Capture = ListenToStream(Icecast.URL("/shout.mp3"), 24000);
  EXPECT_EQ(Capture.Status, 200);
  ExpectTone(Capture.Audio);
  EXPECT_TRUE(WaitUntil(
      [&]
      {
        return WebGet(uint16_t(Icecast.Port()), "/status-json.xsl").Body.find("\"title\":\"Artist - Song\"") !=
               std::string::npos;
      },
      5s));
  EXPECT_TRUE(TAudioEngine::EncodeStop(Encoder));
}

TEST_F(EngineCast, FailuresGiveTheirCodes)
{
  TIcecastServer Icecast;
  const std::string Server = "127.0.0.1:" + std::to_string(Icecast.Port());
  struct TCase
  {
    std::string Server;
    const char* Password;
    const char* Content;
    int Error;
  };
  const TCase Cases[] = {
      {Server + "/live.mp3", "wrong", "audio/mpeg", ecCastDenied},
      {"127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/live.mp3", "hackme", "audio/mpeg", ecNoNet},
      {Server + "/live.aac", "hackme", "audio/aac", ecFileForm},
      {"127.0.0.1/live.mp3", "hackme", "audio/mpeg", ecIllegalParam},
  };
  for (const TCase& Case : Cases)
  {
    const uint32_t Encoder = StartEncoder(kMP3Command);
    ASSERT_NE(Encoder, 0u);
    EXPECT_FALSE(Cast(Encoder, Case.Server, Case.Password, Case.Content)) << Case.Server;
    EXPECT_EQ(TAudioEngine::ErrorGetCode(), Case.Error) << Case.Server;
    // A failed attempt leaves the encoder free for the next one.
    EXPECT_EQ(TAudioEngine::EncodeIsActive(Encoder), esRunning);
    EXPECT_TRUE(TAudioEngine::EncodeStop(Encoder));
  }
  EXPECT_EQ(BassErrorText(ecCastDenied), "access denied (invalid password) (BASS error 2100)");

  // One taker per encoder.
  const uint32_t Encoder = StartEncoder(kMP3Command);
  ASSERT_TRUE(Cast(Encoder, Server + "/one.mp3", TIcecastServer::kSourcePassword, "audio/mpeg"));
  EXPECT_FALSE(Cast(Encoder, Server + "/two.mp3", TIcecastServer::kSourcePassword, "audio/mpeg"));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecAlready);
  EXPECT_EQ(TAudioEngine::EncodeServerInit(Encoder, "127.0.0.1:0", 40000, 4000, 0, {}), 0u);
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecAlready);
  EXPECT_TRUE(TAudioEngine::EncodeStop(Encoder));
  EXPECT_FALSE(TAudioEngine::EncodeCastSetTitle(Encoder, "x", ""));
  EXPECT_EQ(TAudioEngine::ErrorGetCode(), ecHandle);
}

TEST_F(EngineCast, LostConnectionStopsTheEncoderAndNotifies)
{
  TIcecastServer Icecast;
  const uint32_t Encoder = StartEncoder(kMP3Command);
  ASSERT_NE(Encoder, 0u);
  ASSERT_TRUE(Cast(Encoder, "127.0.0.1:" + std::to_string(Icecast.Port()) + "/live.mp3",
                   TIcecastServer::kSourcePassword, "audio/mpeg"));
  ASSERT_TRUE(Icecast.WaitForMount("/live.mp3"));
  Icecast.Stop();
  EXPECT_TRUE(WaitUntil([&] { return fNotified != 0; }, 10s));
  EXPECT_EQ(fNotified, uint32_t(enCastLost));
  EXPECT_EQ(TAudioEngine::EncodeIsActive(Encoder), esStopped);
  EXPECT_TRUE(TAudioEngine::EncodeStop(Encoder));
}

TEST_F(EngineCast, AFrozenServerHoldsUpNothing)
{
  TIcecastServer Icecast;
  const uint32_t Encoder = StartEncoder(kMP3Command);
  ASSERT_NE(Encoder, 0u);
  ASSERT_TRUE(Cast(Encoder, "127.0.0.1:" + std::to_string(Icecast.Port()) + "/live.mp3",
                   TIcecastServer::kSourcePassword, "audio/mpeg"));
  ASSERT_TRUE(Icecast.WaitForMount("/live.mp3"));
  ASSERT_EQ(kill(Icecast.Pid(), SIGSTOP), 0);
  // A title update waits for an answer that does not come; audio goes on meanwhile, and stopping ends both.
  EXPECT_TRUE(TAudioEngine::EncodeCastSetTitle(Encoder, "Artist - Song", ""));
  TEncodeSpan Before, After;
  ASSERT_TRUE(TAudioEngine::EncodeGetSpan(Encoder, Before));
  EXPECT_TRUE(WaitUntil(
      [&] { return TAudioEngine::EncodeGetSpan(Encoder, After) && After.EndFrame > Before.EndFrame + 44100; }, 10s));
  EXPECT_EQ(After.DroppedFrames, 0u);
  EXPECT_EQ(TAudioEngine::EncodeIsActive(Encoder), esRunning);
  EXPECT_TRUE(TAudioEngine::EncodeStop(Encoder));
  kill(Icecast.Pid(), SIGCONT);
}

TEST_F(EngineCast, ServerFeedsListenersThatReadAndDropsNone)
{
  const uint32_t Encoder = StartEncoder(kMP3Command);
  ASSERT_NE(Encoder, 0u);
  const uint32_t Port = TAudioEngine::EncodeServerInit(Encoder, "127.0.0.1:0", 40000, 4000, esfSendTitles, {});
  ASSERT_NE(Port, 0u) << BassErrorText(TAudioEngine::ErrorGetCode());
  ASSERT_TRUE(TAudioEngine::EncodeCastSetTitle(Encoder, "Artist - Song", "http://example.org/"));
  const std::string URL = "http://127.0.0.1:" + std::to_string(Port) + "/";

  // A listener that connects and never reads, with a small receive buffer.
  const int Stuck = socket(AF_INET, SOCK_STREAM, 0);
  const int Small = 4096;
  setsockopt(Stuck, SOL_SOCKET, SO_RCVBUF, &Small, sizeof(Small));
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_port = htons(uint16_t(Port));
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(Stuck, reinterpret_cast<const sockaddr*>(&Address), sizeof(Address)), 0);
  const std::string Request = "GET / HTTP/1.0\r\nIcy-MetaData: 1\r\n\r\n";
  ASSERT_EQ(send(Stuck, Request.data(), Request.size(), 0), ssize_t(Request.size()));

  TStreamCapture Plain, Titled;
  std::thread PlainListener([&] { Plain = ListenToStream(URL, 96000); });
  std::thread TitledListener([&] { Titled = ListenToStream(URL, 96000, true); });
  PlainListener.join();
  TitledListener.join();
  // The stuck listener is counted: still listening, or dropped for falling behind.
  TEncodeOutputInfo Output;
  ASSERT_TRUE(TAudioEngine::EncodeGetOutputInfo(Encoder, Output));
  EXPECT_GE(Output.Listeners + Output.DroppedListeners, 1u);
  EXPECT_EQ(Output.DroppedBytes, 0u);
  close(Stuck);

  EXPECT_EQ(Plain.Status, 200);
  EXPECT_EQ(Plain.ContentType, "audio/mpeg");
  EXPECT_EQ(Plain.MetaInterval, 0);
  EXPECT_FALSE(Plain.Chunked);
  EXPECT_GE(Plain.Audio.size(), 96000u);
  ExpectTone(Plain.Audio);
  EXPECT_EQ(Titled.MetaInterval, 16000);
  ASSERT_FALSE(Titled.Metadata.empty());
  EXPECT_EQ(Titled.Metadata.front(), "StreamTitle='Artist - Song';StreamUrl='http://example.org/';");
  ExpectTone(Titled.Audio);
  EXPECT_TRUE(TAudioEngine::EncodeStop(Encoder));
}

TEST_F(EngineCast, ServerGivesLateOggListenersTheHeaders)
{
  const uint32_t Encoder = StartEncoder(kOggCommand);
  ASSERT_NE(Encoder, 0u);
  const uint32_t Port = TAudioEngine::EncodeServerInit(Encoder, "127.0.0.1:0", 40000, 4000, 0, {});
  ASSERT_NE(Port, 0u) << BassErrorText(TAudioEngine::ErrorGetCode());
  // Long after the stream's header pages went by, and more than the burst after them.
  std::this_thread::sleep_for(1500ms);
  const TStreamCapture Capture = ListenToStream("http://127.0.0.1:" + std::to_string(Port) + "/", 16000);
  EXPECT_EQ(Capture.ContentType, "audio/ogg");
  ExpectTone(Capture.Audio);
  EXPECT_TRUE(TAudioEngine::EncodeStop(Encoder));
}

TEST_F(EngineCast, ServerSendsTheBurstAtOnce)
{
  const uint32_t Encoder = StartEncoder(kMP3Command);
  ASSERT_NE(Encoder, 0u);
  const uint32_t Port = TAudioEngine::EncodeServerInit(Encoder, "0", 40000, 4000, 0, {});
  ASSERT_NE(Port, 0u) << BassErrorText(TAudioEngine::ErrorGetCode());
  std::this_thread::sleep_for(500ms);
  fTone.Pause(true);
  // Nothing new comes while the tone pauses (once the encoder has written what it got): all a listener gets
  // is the burst.
  std::this_thread::sleep_for(300ms);
  const TStreamCapture Capture = ListenToStream("http://127.0.0.1:" + std::to_string(Port) + "/", 8000, false, 2s);
  EXPECT_EQ(Capture.Audio.size(), 4000u);
  fTone.Pause(false);
  EXPECT_TRUE(TAudioEngine::EncodeStop(Encoder));
}

TEST_F(EngineCast, ServerAddressFailures)
{
  // A port something else listens on.
  const int Taken = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(Taken, reinterpret_cast<const sockaddr*>(&Address), sizeof(Address)), 0);
  ASSERT_EQ(listen(Taken, 1), 0);
  socklen_t Length = sizeof(Address);
  getsockname(Taken, reinterpret_cast<sockaddr*>(&Address), &Length);
  const std::string TakenAddress = "127.0.0.1:" + std::to_string(ntohs(Address.sin_port));
  struct TCase
  {
    std::string Address;
    int Error;
  };
  for (const TCase& Case : {TCase{TakenAddress, ecInit}, TCase{"nonsense", ecIllegalParam},
                            TCase{"127.0.0.1:70000", ecIllegalParam}, TCase{"192.0.2.1:0", ecInit}})
  {
    const uint32_t Encoder = StartEncoder(kMP3Command);
    ASSERT_NE(Encoder, 0u);
    EXPECT_EQ(TAudioEngine::EncodeServerInit(Encoder, Case.Address, 40000, 4000, esfSendTitles, {}), 0u)
        << Case.Address;
    EXPECT_EQ(TAudioEngine::ErrorGetCode(), Case.Error) << Case.Address;
    EXPECT_TRUE(TAudioEngine::EncodeStop(Encoder));
  }
  close(Taken);
}
} // namespace
