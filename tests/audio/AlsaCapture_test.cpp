#include "audio/backends/AlsaCapture.h"
#include "audio/backends/AlsaEnumerate.h"
#include "support/AlsaPulseConfig.h"
#include "support/CapturedAudio.h"
#include "support/PulseServer.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

namespace
{
using namespace std::chrono_literals;

class AlsaCaptureTest : public TPulseServerTest
{
protected:
  static void SetUpTestSuite()
  {
    if (!StartSuiteServer({"sink1", "sink2"}))
      return;
    UseAlsaPulseConfig(
        Server().Folder(), Server().Address(),
        {{"tapevault_tone", "sink1.monitor", "Tone capture"}, {"tapevault_quiet", "sink2.monitor", "Quiet capture"}});
    fTone = Server().PlayTone("sink1", 440, 120);
  }
  static void TearDownTestSuite()
  {
    fTone.reset();
    StopSuiteServer();
  }

  static std::unique_ptr<TProcessLauncher> fTone;
};

std::unique_ptr<TProcessLauncher> AlsaCaptureTest::fTone;

TEST_F(AlsaCaptureTest, ListsThePCMsWithTheirDescriptions)
{
  const std::vector<TAlsaPCM> pcms = ListAlsaCapturePCMs();
  ASSERT_EQ(2u, pcms.size());
  EXPECT_EQ("tapevault_tone", pcms[0].Name);
  EXPECT_EQ("Tone capture", pcms[0].Description);
  EXPECT_EQ("tapevault_quiet", pcms[1].Name);
}

TEST_F(AlsaCaptureTest, CapturesTheToneInTheFormatAskedFor)
{
  for (const bool use16bit : {true, false})
  {
    SCOPED_TRACE(use16bit ? "16-bit" : "float");
    TCapturedAudio audio;
    TAlsaCapture capture("tapevault_tone", 44100, use16bit, [&](const void* b, uint32_t l) { audio.Add(b, l); });
    EXPECT_EQ(44100u, capture.SampleRate());
    const size_t second = 44100 * 2 * (use16bit ? 2 : 4);
    ASSERT_TRUE(audio.WaitFor(second / 10, 5000));
    audio.Clear();
    std::this_thread::sleep_for(1s);
    EXPECT_NEAR(static_cast<double>(second), static_cast<double>(audio.Size()), second * 0.15);
    EXPECT_NEAR(0.5 / std::sqrt(2.0), audio.RMS(use16bit), 0.05);
    EXPECT_EQ("", capture.LastError());
  }
}

TEST_F(AlsaCaptureTest, QuietSourceGivesSilence)
{
  TCapturedAudio audio;
  TAlsaCapture capture("tapevault_quiet", 48000, false, [&](const void* b, uint32_t l) { audio.Add(b, l); });
  ASSERT_TRUE(audio.WaitFor(48000 * 8 / 2, 5000));
  EXPECT_LT(audio.RMS(false), 0.001);
}

TEST_F(AlsaCaptureTest, ADeviceThatDeliversNothingIsReportedAndReopened)
{
  TCapturedAudio audio;
  TAlsaCapture capture("tapevault_quiet", 44100, true, [&](const void* b, uint32_t l) { audio.Add(b, l); });
  ASSERT_TRUE(audio.WaitFor(44100 * 4 / 10, 5000));
  Server().Pactl({"suspend-sink", "sink2", "1"});
  WaitUntil([&] { return !capture.LastError().empty(); }, 10s);
  EXPECT_EQ("Read: the device delivers no data", capture.LastError());

  Server().Pactl({"suspend-sink", "sink2", "0"});
  audio.Clear();
  EXPECT_TRUE(audio.WaitFor(44100 * 4 / 10, 10000)) << capture.LastError();
  EXPECT_EQ("", capture.LastError());
}

TEST_F(AlsaCaptureTest, UnknownPCMFailsWithTheReason)
{
  try
  {
    TAlsaCapture capture("no_such_pcm", 44100, true, [](const void*, uint32_t) {});
    FAIL() << "an unknown PCM opened";
  }
  catch (const EAudioDeviceError& e)
  {
    EXPECT_STREQ("Init: No such file or directory (open)", e.what());
  }
}

TEST(AlsaCaptureServerRestart, ReportsTheLossAndResumesWhenTheServerIsBack)
{
  TPulseServer server({"sink1"});
  server.Start();
  UseAlsaPulseConfig(server.Folder(), server.Address(), {{"tapevault_restart", "sink1.monitor", "Restart"}});
  TCapturedAudio audio;
  TAlsaCapture capture("tapevault_restart", 44100, true, [&](const void* b, uint32_t l) { audio.Add(b, l); });
  ASSERT_TRUE(audio.WaitFor(44100 * 4 / 10, 5000));

  server.Stop();
  WaitUntil([&] { return !capture.LastError().empty(); }, 10s);
  EXPECT_EQ("Read: Input/output error", capture.LastError());

  server.Start();
  audio.Clear();
  EXPECT_TRUE(audio.WaitFor(44100 * 4 / 10, 10000)) << capture.LastError();
  EXPECT_EQ("", capture.LastError());
}
} // namespace
