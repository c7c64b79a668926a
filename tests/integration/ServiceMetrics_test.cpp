// "/metrics" of the running service: a slot recording a tone from a private PulseAudio server shows up with its
// state and growing counters in the exposition format; the endpoint keeps the read-only access rule.

#include "ServiceTestRoot.h"
#include "support/WebClient.h"
#include "web/WebAccess.h"

#include <cmath>
#include <gtest/gtest.h>
#include <regex>
#include <thread>

namespace
{
using namespace servicetest;

// The value of one sample line, "name{labels} value"; NaN when the line is missing.
double Sample(const std::string& iText, const std::string& iSeries)
{
  const size_t start = iText.find("\n" + iSeries + " ");
  if (start == std::string::npos)
    return std::nan("");
  return std::stod(iText.substr(start + iSeries.size() + 2));
}
} // namespace

TEST(ServiceMetrics, ARecordingSlotsStateAndCountersForReadOnlyClients)
{
  TPulseServer pulse({"studio"});
  ASSERT_NO_THROW(pulse.Start());
  const auto tone = pulse.PlayTone("studio", 440, 60);
  TServiceRoot root;
  root.WriteConfig("[General]\nSlotCount=2\n\n[Slot0]\nName=Studio \"A\" \\ 1\nSource=Soundcard\n"
                   "Device=PULSE:studio.monitor\nFormat=wav16\nCleanupDaysEnabled=0\nCleanupSpaceEnabled=0\nFolder=" +
                   root / "Studio" +
                   "\n\n[Slot1]\nName=Idle\nSource=Disabled\n\n[Webserver]\nEnabled=on\nPort=127.0.0.1:0"
                   "\nAnonymousAccess=none\nReadOnlyUser=reader\nReadOnlyPassword=" +
                   PasswordHash("readpw") + "\n");
  const auto program = root.Start(&pulse);
  const uint16_t port = program->WebServerPort(StartTimeout);
  ASSERT_NE(port, 0) << program->Output();
  ASSERT_TRUE(program->WaitForLine("Web server started", StartTimeout)) << program->Output();
  ASSERT_TRUE(program->WaitForLine("Encoding to file", StartTimeout)) << program->Output();

  EXPECT_EQ(WebGet(port, "/metrics").Status, 401);
  const TWebCall call{.Path = "/metrics", .Credentials = std::make_pair("reader", "readpw")};
  std::this_thread::sleep_for(2s);
  const TWebReply first = WebFetch(port, call);
  ASSERT_EQ(first.Status, 200);
  EXPECT_EQ(first.Header("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
  const std::string studio = "slot=\"0\"";
  const std::string idle = "slot=\"1\"";
  EXPECT_EQ(Sample(first.Body, "tapevault_slot_info{slot=\"0\",name=\"Studio \\\"A\\\" \\\\ 1\"}"), 1) << first.Body;
  EXPECT_EQ(Sample(first.Body, "tapevault_slot_info{slot=\"1\",name=\"Idle\"}"), 1) << first.Body;
  EXPECT_EQ(Sample(first.Body, "tapevault_slot_enabled{" + studio + "}"), 1) << first.Body;
  EXPECT_EQ(Sample(first.Body, "tapevault_slot_enabled{" + idle + "}"), 0) << first.Body;
  EXPECT_GT(Sample(first.Body, "tapevault_slot_free_bytes{" + studio + "}"), 0) << first.Body;
  EXPECT_EQ(Sample(first.Body, "tapevault_slot_recording{" + studio + "}"), 1) << first.Body;
  EXPECT_EQ(Sample(first.Body, "tapevault_slot_recording{" + idle + "}"), 0) << first.Body;
  EXPECT_EQ(Sample(first.Body, "tapevault_slot_encoder_info{" + studio + ",kind=\"wav\"}"), 1) << first.Body;
  EXPECT_EQ(first.Body.find("tapevault_slot_encoder_info{" + idle), std::string::npos) << first.Body;
  EXPECT_GT(Sample(first.Body, "tapevault_slot_level{" + studio + ",channel=\"left\"}"), 0.1) << first.Body;
  EXPECT_LT(Sample(first.Body, "tapevault_slot_silence_seconds{" + studio + "}"), 2) << first.Body;
  EXPECT_GT(Sample(first.Body, "tapevault_uptime_seconds"), 0) << first.Body;
  for (const char* counter :
       {"dropout_seconds_total", "dropouts_total", "encoder_restarts_total", "input_reconnects_total"})
    EXPECT_EQ(Sample(first.Body, std::string("tapevault_slot_") + counter + "{" + studio + "}"), 0) << counter;
  // Every line is a comment or a sample: nothing that a scraper would refuse.
  const std::regex line(R"((# (HELP|TYPE) tapevault_\w+ .+)|(tapevault_\w+(\{[^}]*\})? [-0-9.e+]+))");
  size_t from = 0;
  for (size_t end; (end = first.Body.find('\n', from)) != std::string::npos; from = end + 1)
    EXPECT_TRUE(std::regex_match(first.Body.substr(from, end - from), line)) << first.Body.substr(from, end - from);

  const double bytes = Sample(first.Body, "tapevault_slot_written_bytes_total{" + studio + "}");
  std::this_thread::sleep_for(2s);
  const double later = Sample(WebFetch(port, call).Body, "tapevault_slot_written_bytes_total{" + studio + "}");
  // Two seconds of 16-bit stereo at 44.1 kHz are 352800 bytes; the pull pace gives or takes a little.
  EXPECT_NEAR(later - bytes, 352800, 60000);

  program->Signal(SIGTERM);
  EXPECT_EQ(program->WaitForExit(ExitTimeout), 0) << program->Output();
}
