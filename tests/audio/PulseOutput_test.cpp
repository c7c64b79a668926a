#include "audio/backends/PulseOutput.h"
#include "support/PulseServer.h"

#include <atomic>
#include <gtest/gtest.h>

namespace
{
using namespace std::chrono_literals;

class PulseOutputTest : public TPulseServerTest
{
protected:
  static void SetUpTestSuite()
  {
    if (!StartSuiteServer({"sink1", "sink2"}))
      return;
  }
  static void TearDownTestSuite() { StopSuiteServer(); }
};

TEST_F(PulseOutputTest, PullsAtTheSinksPace)
{
  constexpr uint32_t rate = 48000;
  std::atomic<uint64_t> frames{0};
  TPulseOutput output(1, rate,
                      [&](float* oBuffer, uint32_t iFrames)
                      {
                        std::fill(oBuffer, oBuffer + 2 * iFrames, 0.25f);
                        frames += iFrames;
                      });
  // The first request fills the stream's buffer at once; count after that.
  std::this_thread::sleep_for(500ms);
  const uint64_t start = frames;
  const auto begin = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(1s);
  const uint64_t pulled = frames - start;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  EXPECT_NEAR(rate * seconds, static_cast<double>(pulled), rate * 0.1);
}

TEST_F(PulseOutputTest, PlaysMutedOnTheNumberedSink)
{
  TPulseOutput output(2, 44100,
                      [](float* oBuffer, uint32_t iFrames) { std::fill(oBuffer, oBuffer + 2 * iFrames, 0.5f); });
  const std::string inputs = Server().Pactl({"list", "sink-inputs"});
  EXPECT_NE(std::string::npos, inputs.find("Sink: 1")) << inputs;
  EXPECT_NE(std::string::npos, inputs.find("Volume: front-left: 0 /   0%")) << inputs;
}

TEST_F(PulseOutputTest, DeviceNumbersBeyondTheSinksFail)
{
  for (const uint32_t device : {0u, 3u})
  {
    try
    {
      TPulseOutput output(device, 44100, [](float*, uint32_t) {});
      ADD_FAILURE() << "device " << device << " opened";
    }
    catch (const std::runtime_error& e)
    {
      EXPECT_EQ(0, std::string(e.what()).rfind("Init: output device " + std::to_string(device) + " does not exist", 0))
          << e.what();
    }
  }
}
} // namespace
