#include "audio/backends/PulseCapture.h"
#include "support/CapturedAudio.h"
#include "support/PulseServer.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

namespace
{
using namespace std::chrono_literals;

constexpr uint32_t cRate = 48000;
constexpr size_t cSecondBytes = cRate * 2 * sizeof(float);

class PulseCaptureTest : public TPulseServerTest
{
protected:
  static void SetUpTestSuite()
  {
    if (!StartSuiteServer({"sink1", "sink2"}))
      return;
    fTone = Server().PlayTone("sink1", 440, 120);
  }
  static void TearDownTestSuite()
  {
    fTone.reset();
    StopSuiteServer();
  }

  static std::unique_ptr<TProcessLauncher> fTone;
};

std::unique_ptr<TProcessLauncher> PulseCaptureTest::fTone;

TEST_F(PulseCaptureTest, RecordsTheToneFromTheMonitorOfItsSinkOnly)
{
  TCapturedAudio tone, silence;
  TPulseCapture toneCapture("sink1.monitor", cRate, [&](const void* b, uint32_t l) { tone.Add(b, l); });
  TPulseCapture silentCapture("sink2.monitor", cRate, [&](const void* b, uint32_t l) { silence.Add(b, l); });
  EXPECT_EQ(cRate, toneCapture.SampleRate());
  ASSERT_TRUE(tone.WaitFor(cSecondBytes, 5000));
  ASSERT_TRUE(silence.WaitFor(cSecondBytes, 5000));
  EXPECT_NEAR(0.5 / std::sqrt(2.0), tone.RMS(false), 0.05);
  EXPECT_LT(silence.RMS(false), 0.001);
  EXPECT_EQ("", toneCapture.LastError());
}

TEST_F(PulseCaptureTest, DeliversInRealTime)
{
  TCapturedAudio audio;
  TPulseCapture capture("sink2.monitor", cRate, [&](const void* b, uint32_t l) { audio.Add(b, l); });
  ASSERT_TRUE(audio.WaitFor(cSecondBytes / 10, 5000));
  audio.Clear();
  std::this_thread::sleep_for(1s);
  EXPECT_NEAR(static_cast<double>(cSecondBytes), static_cast<double>(audio.Size()), cSecondBytes * 0.15);
}

TEST_F(PulseCaptureTest, UnknownSourceFailsToStartWithTheServersReason)
{
  try
  {
    TPulseCapture capture("nosuchsource", cRate, [](const void*, uint32_t) {});
    FAIL() << "an unknown source started";
  }
  catch (const EAudioDeviceError& e)
  {
    EXPECT_STREQ("RecordStart: No such entity", e.what());
  }
}

TEST(PulseCaptureWithoutServer, FailsToInitWithTheReason)
{
  const std::string saved = getenv("PULSE_SERVER") != nullptr ? getenv("PULSE_SERVER") : "";
  setenv("PULSE_SERVER", "unix:/nonexistent/tapevault/native", 1);
  try
  {
    TPulseCapture capture("sink1.monitor", cRate, [](const void*, uint32_t) {});
    FAIL() << "capture started without a server";
  }
  catch (const EAudioDeviceError& e)
  {
    EXPECT_STREQ("Init: Connection refused", e.what());
  }
  setenv("PULSE_SERVER", saved.c_str(), 1);
}

TEST(PulseCaptureServerRestart, ReportsTheLossAndResumesWhenTheServerIsBack)
{
  TPulseServer server({"sink1"});
  server.Start();
  server.ExportAddress();
  TCapturedAudio audio;
  TPulseCapture capture("sink1.monitor", cRate, [&](const void* b, uint32_t l) { audio.Add(b, l); });
  ASSERT_TRUE(audio.WaitFor(cSecondBytes / 10, 5000));

  server.Stop();
  WaitUntil([&] { return !capture.LastError().empty(); }, 5s);
  EXPECT_EQ("Read: Connection terminated", capture.LastError());

  server.Start();
  audio.Clear();
  EXPECT_TRUE(audio.WaitFor(cSecondBytes / 10, 10000)) << capture.LastError();
  EXPECT_EQ("", capture.LastError());
}
} // namespace
