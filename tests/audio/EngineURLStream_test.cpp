// URL streams against a real Icecast 2 fed by ffmpeg, and small HTTP servers for playlists and failures: the
// stream's format, its audio through a mixer, ICY and Vorbis-comment titles at the audio they belong to, the
// end of a stream, and the error codes of failed connections.

#include "audio/engine/AudioEngine.h"
#include "support/FileServer.h"
#include "support/HttpTestServer.h"
#include "support/IcecastServer.h"
#include "support/PythonTestServer.h"
#include "support/Wait.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace
{
// Pulls a decode mixer at real-time pace on a thread of its own and keeps the peak level of what came out.
class TPuller
{
public:
  explicit TPuller(uint32_t iMixer) : fMixer(iMixer), fThread([this] { Run(); }) {}
  ~TPuller()
  {
    fStop = true;
    fThread.join();
  }
  float Peak() const { return fPeak.load(); }

private:
  void Run()
  {
    std::vector<float> Buffer(44100 / 10 * 2);
    auto Next = std::chrono::steady_clock::now();
    while (!fStop)
    {
      TAudioEngine::ChannelGetData(fMixer, Buffer.data(), uint32_t(Buffer.size() * sizeof(float)));
      for (float Sample : Buffer)
        if (std::fabs(Sample) > fPeak.load())
          fPeak = std::fabs(Sample);
      Next += 100ms;
      std::this_thread::sleep_until(Next);
    }
  }

  uint32_t fMixer;
  std::atomic<bool> fStop{false};
  std::atomic<float> fPeak{0};
  std::thread fThread;
};

class EngineURLStream : public testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    fIcecast = std::make_unique<TIcecastServer>();
    fSource = fIcecast->StartSource("/live.mp3", TIcecastServer::kMP3);
    ASSERT_TRUE(fIcecast->WaitForMount("/live.mp3"));
    TAudioEngine::SetConfig(cfNetPlaylist, 1);
  }
  static void TearDownTestSuite()
  {
    fSource.reset();
    fIcecast.reset();
  }
  void TearDown() override { TAudioEngine::SetConfig(cfNetTimeout, 5000); }

  static std::unique_ptr<TIcecastServer> fIcecast;
  static std::unique_ptr<TProcessLauncher> fSource;
};
std::unique_ptr<TIcecastServer> EngineURLStream::fIcecast;
std::unique_ptr<TProcessLauncher> EngineURLStream::fSource;
} // namespace

TEST_F(EngineURLStream, PlaysAnIcecastMountAndGivesItsTitlesWithTheirAudio)
{
  const auto Start = std::chrono::steady_clock::now();
  const uint32_t Stream = TAudioEngine::StreamCreateURL(fIcecast->URL("/live.mp3"), 0, chDecode | chFloat);
  ASSERT_NE(Stream, 0u) << TAudioEngine::ErrorGetCode();
  EXPECT_LT(std::chrono::steady_clock::now() - Start, 2s) << "a connection is playable at once";
  TChannelInfo Info;
  ASSERT_TRUE(TAudioEngine::ChannelGetInfo(Stream, Info));
  EXPECT_EQ(Info.Rate, 44100u);
  EXPECT_EQ(Info.Channels, 2u);

  std::mutex Lock;
  std::vector<std::string> Titles;
  ASSERT_NE(TAudioEngine::ChannelSetSync(Stream, syMeta,
                                         [&](uint32_t, uint32_t iChannel)
                                         {
                                           std::lock_guard Guard(Lock);
                                           Titles.push_back(TAudioEngine::ChannelGetTags(iChannel, tgMeta));
                                         }),
            0u);
  const uint32_t Mixer = TAudioEngine::MixerCreate(48000, 2, chDecode | chFloat);
  ASSERT_TRUE(TAudioEngine::MixerAddChannel(Mixer, Stream, 0));
  {
    TPuller Puller(Mixer);
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(fIcecast->SetTitle("/live.mp3", "Artist - Song"));
    ASSERT_TRUE(WaitUntil(
        [&]
        {
          std::lock_guard Guard(Lock);
          return !Titles.empty() && Titles.back().find("Artist - Song") != std::string::npos;
        },
        10s));
    EXPECT_GT(Puller.Peak(), 0.07f) << "the sine (-21.5 dBFS) arrives, resampled to 48 kHz";
  }
  std::lock_guard Guard(Lock);
  EXPECT_NE(Titles.back().find("StreamTitle='Artist - Song';"), std::string::npos) << Titles.back();
  TAudioEngine::StreamFree(Mixer);
  TAudioEngine::StreamFree(Stream);
}

TEST_F(EngineURLStream, AnEndedSourceEndsTheStreamAfterItsAudio)
{
  auto Source = fIcecast->StartSource("/short.mp3", TIcecastServer::kMP3);
  ASSERT_TRUE(fIcecast->WaitForMount("/short.mp3"));
  std::atomic<bool> DownloadEnded{false};
  std::atomic<uint64_t> Downloaded{0};
  const uint32_t Stream = TAudioEngine::StreamCreateURL(fIcecast->URL("/short.mp3"), 0, chDecode | chFloat,
                                                        [&](const void* iBuffer, uint32_t iLength)
                                                        {
                                                          if (!iBuffer)
                                                            DownloadEnded = true;
                                                          Downloaded += iLength;
                                                        });
  ASSERT_NE(Stream, 0u) << TAudioEngine::ErrorGetCode();
  std::atomic<int> Ends{0};
  TAudioEngine::ChannelSetSync(Stream, syEnd, [&](uint32_t, uint32_t) { ++Ends; });
  const uint32_t Mixer = TAudioEngine::MixerCreate(44100, 2, chDecode | chFloat);
  ASSERT_TRUE(TAudioEngine::MixerAddChannel(Mixer, Stream, 0));
  {
    TPuller Puller(Mixer);
    std::this_thread::sleep_for(1s);
    Source.reset();
    EXPECT_TRUE(WaitUntil([&] { return Ends == 1; }, 15s));
  }
  EXPECT_TRUE(DownloadEnded);
  EXPECT_GT(Downloaded, 10000u);
  TAudioEngine::StreamFree(Mixer);
  TAudioEngine::StreamFree(Stream);
}

TEST_F(EngineURLStream, EveryStationFormatPlaysAndOggCommentsGiveTheTitle)
{
  const struct
  {
    TIcecastServer::TSourceFormat Format;
    const char* Mount;
    uint32_t Rate;
    const char* Metadata;
  } Cases[] = {
      {TIcecastServer::kAAC, "/live.aac", 44100, ""},
      {TIcecastServer::kOggVorbis, "/vorbis.ogg", 44100, "StreamTitle='Die \xC3\x84rzte - Westerland';"},
      {TIcecastServer::kOggOpus, "/opus.ogg", 48000, "StreamTitle='Die \xC3\x84rzte - Westerland';"},
      {TIcecastServer::kOggFLAC, "/flac.ogg", 44100, "StreamTitle='Die \xC3\x84rzte - Westerland';"},
  };
  for (const auto& Case : Cases)
  {
    auto Source = fIcecast->StartSource(Case.Mount, Case.Format, "Die \xC3\x84rzte", "Westerland");
    ASSERT_TRUE(fIcecast->WaitForMount(Case.Mount)) << Case.Mount;
    const uint32_t Stream = TAudioEngine::StreamCreateURL(fIcecast->URL(Case.Mount), 0, chDecode | chFloat);
    ASSERT_NE(Stream, 0u) << Case.Mount << ": " << TAudioEngine::ErrorGetCode();
    TChannelInfo Info;
    ASSERT_TRUE(TAudioEngine::ChannelGetInfo(Stream, Info));
    EXPECT_EQ(Info.Rate, Case.Rate) << Case.Mount;
    EXPECT_EQ(Info.Channels, 2u) << Case.Mount;
    EXPECT_EQ(TAudioEngine::ChannelGetTags(Stream, tgMeta), Case.Metadata) << Case.Mount;
    const uint32_t Mixer = TAudioEngine::MixerCreate(44100, 2, chDecode | chFloat);
    ASSERT_TRUE(TAudioEngine::MixerAddChannel(Mixer, Stream, 0));
    {
      TPuller Puller(Mixer);
      EXPECT_TRUE(WaitUntil([&] { return Puller.Peak() > 0.07f; }, 5s)) << Case.Mount;
    }
    TAudioEngine::StreamFree(Mixer);
    TAudioEngine::StreamFree(Stream);
  }
}

TEST_F(EngineURLStream, PlaylistsResolveToTheirFirstWorkingEntry)
{
  TFileServer Files;
  const std::string Dead = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/dead";
  Files.Write("radio.pls", "[playlist]\nNumberOfEntries=2\nFile1=" + Dead +
                               "\nTitle1=Dead\nFile2=" + fIcecast->URL("/live.mp3") + "\nLength2=-1\nVersion=2\n");
  Files.Write("radio.m3u", "#EXTM3U\n#EXTINF:-1,Radio\n" + fIcecast->URL("/live.mp3") + "\n");
  for (const char* Name : {"/radio.pls", "/radio.m3u"})
  {
    const uint32_t Stream = TAudioEngine::StreamCreateURL(Files.URL(Name), 0, chDecode | chFloat);
    EXPECT_NE(Stream, 0u) << Name << ": " << TAudioEngine::ErrorGetCode();
    TAudioEngine::StreamFree(Stream);
  }
}

TEST_F(EngineURLStream, FailedConnectionsGiveTheirErrorCodes)
{
  THttpTestServer Http;
  TFileServer Files;
  Files.Write("text.mp3", std::string(20000, 'x'));
  TAudioEngine::SetConfig(cfNetTimeout, 1500);
  const struct
  {
    std::string URL;
    int Error;
  } Cases[] = {
      {"http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/x", ecNoNet},
      {Http.URL("/hang"), ecTimeout},
      {fIcecast->URL("/nothing-here"), ecFileOpen},
      {Files.URL("/text.mp3"), ecFileForm},
  };
  for (const auto& Case : Cases)
  {
    const auto Start = std::chrono::steady_clock::now();
    EXPECT_EQ(TAudioEngine::StreamCreateURL(Case.URL, 0, chDecode | chFloat), 0u) << Case.URL;
    EXPECT_EQ(TAudioEngine::ErrorGetCode(), Case.Error) << Case.URL;
    EXPECT_LT(std::chrono::steady_clock::now() - Start, 4s) << Case.URL;
  }
}

TEST_F(EngineURLStream, AnAbortEndsAConnectionAttemptAtOnce)
{
  THttpTestServer Http;
  std::atomic<bool> Abort{false};
  std::thread Stopper(
      [&]
      {
        std::this_thread::sleep_for(300ms);
        Abort = true;
      });
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_EQ(TAudioEngine::StreamCreateURL(Http.URL("/hang"), 0, chDecode | chFloat, nullptr, &Abort), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - Start, 2s);
  Stopper.join();
}

TEST_F(EngineURLStream, OnlyHttpAndHttpsAreOpenedAlsoFromPlaylists)
{
  TFileServer Files;
  // A real MP3 file on this machine: every address below would play it if the protocol were not refused.
  const std::string Local = Files.Folder() + "/local.mp3";
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=f=440:d=3 -c:a libmp3lame '" + Local + "'").c_str()), 0);
  Files.Write("file.m3u", "file://" + Local + "\n");
  Files.Write("gopher.pls", "[playlist]\nFile1=gopher://127.0.0.1:" + std::to_string(Files.Port()) + "/\n");
  Files.Write("segment.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:3\n#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:3.0,\nfile://" +
                                  Local + "\n#EXT-X-ENDLIST\n");
  const uint32_t Served = TAudioEngine::StreamCreateURL(Files.URL("/local.mp3"), 0, chDecode | chFloat);
  ASSERT_NE(Served, 0u) << "over http it plays";
  TAudioEngine::StreamFree(Served);
  TAudioEngine::SetConfig(cfNetTimeout, 1500);
  const struct
  {
    std::string URL;
    int Error;
  } Cases[] = {
      {"file://" + Local, ecProtocol}, // the file itself
      {Local, ecProtocol},             // a bare path is a file too
      {"concat:" + Local, ecProtocol}, // FFmpeg's other ways to a file
      {"gopher://127.0.0.1:" + std::to_string(Files.Port()) + "/", ecProtocol},
      {Files.URL("/file.m3u"), ecProtocol},   // a playlist that names the file
      {Files.URL("/gopher.pls"), ecProtocol}, // a playlist that names another protocol
      {Files.URL("/segment.m3u8"), -1},       // an HLS segment on disk is refused: no audio
  };
  for (const auto& Case : Cases)
  {
    const uint32_t Stream = TAudioEngine::StreamCreateURL(Case.URL, 0, chDecode | chFloat);
    const int Error = TAudioEngine::ErrorGetCode();
    EXPECT_EQ(Stream, 0u) << Case.URL;
    TAudioEngine::StreamFree(Stream);
    if (Case.Error >= 0)
    {
      EXPECT_EQ(Error, Case.Error) << Case.URL;
    }
  }
}
