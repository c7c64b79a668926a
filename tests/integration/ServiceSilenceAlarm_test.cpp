// Silence alarms of the running service, end to end: a tone on a PulseAudio sink stops and starts again; the
// slot listening to the sink's monitor logs the two alarm lines, calls the HTTP server of the test and sends
// e-mails through aiosmtpd (in clear, by STARTTLS with authentication, with implicit TLS). An SMTP server that
// cannot be reached costs an error line, and the alarm state changes anyway.

#include "ServiceTestRoot.h"
#include "support/HttpTestServer.h"
#include "support/SmtpServer.h"
#include "support/Wait.h"

#include <csignal>
#include <gtest/gtest.h>
#include <regex>

namespace
{
using namespace servicetest;

const std::string DetectedLine = "Slot \"Studio\" SILENCE DETECTED (2 seconds)";
const std::string OKLine = "Slot \"Studio\" SILENCE OK";
constexpr std::chrono::seconds AlarmTimeout{15};

struct TAlarmConfig
{
  std::string DetectedURL;
  std::string OKURL;
  int SMTPPort = 0;
  std::string Encryption = "none";
  std::string User;
  std::string Password;
};

// The test's SMTP server has a certificate of a private CA, which the program is told to accept unchecked.
std::string AlarmConfiguration(const TServiceRoot& iRoot, const TAlarmConfig& iConfig)
{
  return "[General]\nSlotCount=1\n\n"
         "[EMail]\nSMTPServer=127.0.0.1\nVerifyCertificate=off\nSMTPPort=" +
         std::to_string(iConfig.SMTPPort) + "\nEncryption=" + iConfig.Encryption + "\nUser=" + iConfig.User +
         "\nPassword=" + iConfig.Password +
         "\nFromAddress=tapevault@example.org\nReceipients=Night Shift <ops@example.org>\n\n"
         "[Slot0]\nName=Studio\nSource=Soundcard\nDevice=PULSE:studio.monitor\nFormat=wav16\nFolder=" +
         iRoot / "Studio" +
         "\nCleanupSpaceEnabled=off\nSilenceDetection=2\nSendEmailSilenceDetected=on\nSendEmailSilenceOK=on\n"
         "HTTPAlarmSilenceDetected=" +
         iConfig.DetectedURL + "\nHTTPAlarmSilenceOK=" + iConfig.OKURL + "\n";
}

// Runs the service on a slot hearing the sink "studio" while a tone plays, stops the tone until the silence alarm
// comes, then plays it again until the alarm ends. Returns the program, still running, for the checks.
std::unique_ptr<TProgramRunner> RunSilenceAndSoundAgain(TPulseServer& iPulse, const TServiceRoot& iRoot)
{
  auto tone = iPulse.PlayTone("studio", 440, 60);
  auto program = iRoot.Start(&iPulse);
  EXPECT_TRUE(program->WaitForLine(StartedPattern, StartTimeout)) << program->Output();
  EXPECT_TRUE(program->WaitForLine("Studio: Encoding to file ", StartTimeout)) << program->Output();
  // While the tone plays, the slot hears sound: no alarm.
  std::this_thread::sleep_for(3s);
  EXPECT_TRUE(program->MatchingLines("SILENCE").empty()) << program->Output();

  tone.reset();
  EXPECT_TRUE(program->WaitForLine(LogLinePattern(DetectedLine), AlarmTimeout)) << program->Output();
  tone = iPulse.PlayTone("studio", 440, 60);
  EXPECT_TRUE(program->WaitForLine(LogLinePattern(OKLine), AlarmTimeout)) << program->Output();
  return program;
}

// The messages of the log lines about alarms and their sending, in order.
std::vector<std::string> AlarmMessages(const TProgramRunner& iProgram)
{
  static const std::regex timeStamp("^.*?: ");
  std::vector<std::string> result;
  for (const std::string& line : iProgram.Lines())
  {
    const std::string message = std::regex_replace(line, timeStamp, "", std::regex_constants::format_first_only);
    for (const char* start :
         {"Slot \"", "Making alarm call", "Error executing HTTP alarm call", "Error sending e-mail"})
      if (message.starts_with(start))
        result.push_back(message);
  }
  return result;
}

void ExpectStopsCleanly(TProgramRunner& iProgram)
{
  iProgram.Signal(SIGTERM);
  EXPECT_EQ(iProgram.WaitForExit(ExitTimeout), 0) << iProgram.Output();
}

struct TMailCase
{
  const char* Name;
  TSmtpTestMode Mode;
  const char* Encryption;
  const char* User;
  const char* Password;
};

void PrintTo(const TMailCase& iCase, std::ostream* oStream)
{
  *oStream << iCase.Name;
}

class ServiceSilenceAlarm : public testing::TestWithParam<TMailCase>
{
};

TEST_P(ServiceSilenceAlarm, LogsCallsAndMailsBothTransitions)
{
  const TMailCase& mailCase = GetParam();
  TPulseServer pulse({"studio"});
  ASSERT_NO_THROW(pulse.Start());
  THttpTestServer http;
  TSmtpTestServer smtp(mailCase.Mode, mailCase.User, mailCase.Password);
  TServiceRoot root;
  TAlarmConfig config{http.URL("/alarm/detected?slot=Studio"),
                      http.URL("/alarm/ok?slot=Studio"),
                      smtp.Port(),
                      mailCase.Encryption,
                      mailCase.User,
                      mailCase.Password};
  root.WriteConfig(AlarmConfiguration(root, config));

  const auto program = RunSilenceAndSoundAgain(pulse, root);
  const std::vector<TReceivedRequest> requests = http.WaitForRequests(2, AlarmTimeout);
  const std::vector<TReceivedMail> mails = smtp.WaitForMails(2, AlarmTimeout);
  ExpectStopsCleanly(*program);

  // Each transition once, its HTTP call queued right after its line; nothing failed.
  const std::vector<std::string> expected = {DetectedLine, "Making alarm call to " + config.DetectedURL, OKLine,
                                             "Making alarm call to " + config.OKURL};
  const std::vector<std::string> messages = AlarmMessages(*program);
  EXPECT_EQ(messages, expected) << program->Output();
  EXPECT_EQ(program->MatchingLines("SILENCE").size(), 2U) << program->Output();

  ASSERT_EQ(requests.size(), 2U);
  EXPECT_EQ(requests[0].Path, "/alarm/detected?slot=Studio");
  EXPECT_EQ(requests[1].Path, "/alarm/ok?slot=Studio");
  for (const TReceivedRequest& request : requests)
    EXPECT_TRUE(
        std::regex_match(request.UserAgent, std::regex(R"(Mozilla/5\.0 \(compatible; Tapevault/\d+\.\d+\.\d+\.\d+\))")))
        << request.UserAgent;

  ASSERT_EQ(mails.size(), 2U);
  EXPECT_EQ(mails[0].Header("Subject"), DetectedLine);
  EXPECT_EQ(mails[1].Header("Subject"), OKLine);
  for (const TReceivedMail& mail : mails)
  {
    EXPECT_EQ(mail.MailFrom, "tapevault@example.org");
    EXPECT_EQ(mail.Recipients, std::vector<std::string>{"ops@example.org"});
    EXPECT_EQ(mail.Header("To"), "Night Shift <ops@example.org>");
    EXPECT_EQ(mail.TLSVersion, mailCase.Mode == stPlain ? "" : "TLSv1.2");
    EXPECT_EQ(mail.Auth.empty(), std::string(mailCase.User).empty()) << mail.Auth;
    if (!mail.Auth.empty())
    {
      EXPECT_TRUE(mail.Auth.ends_with(std::string(" ") + mailCase.User)) << mail.Auth;
    }
    const std::string body = mail.DecodedBody();
    EXPECT_NE(body.find("Host: "), std::string::npos) << body;
    EXPECT_NE(body.find("Date/Time: "), std::string::npos) << body;
  }
}

INSTANTIATE_TEST_SUITE_P(MailServers, ServiceSilenceAlarm,
                         testing::Values(TMailCase{"Plain", stPlain, "none", "", ""},
                                         TMailCase{"STARTTLSWithAuth", stSTARTTLS, "STARTTLS", "tapevault",
                                                   "night shift"},
                                         TMailCase{"ImplicitTLS", stImplicitTLS, "SSL", "", ""}),
                         [](const testing::TestParamInfo<TMailCase>& iInfo) { return iInfo.param.Name; });

TEST(ServiceSilenceAlarmMailFailure, UnreachableServerIsLoggedAndTheAlarmStateChangesAnyway)
{
  TPulseServer pulse({"studio"});
  ASSERT_NO_THROW(pulse.Start());
  TServiceRoot root;
  root.WriteConfig(AlarmConfiguration(root, {"", "", FreeLoopbackPort(), "none", "", ""}));

  const auto program = RunSilenceAndSoundAgain(pulse, root);
  ASSERT_TRUE(WaitUntil([&] { return program->MatchingLines("Error sending e-mail: ").size() >= 2; }, AlarmTimeout))
      << program->Output();
  ExpectStopsCleanly(*program);

  // One failed e-mail per transition, each right after its alarm line; no repeated alarm, no HTTP call.
  const std::vector<std::string> messages = AlarmMessages(*program);
  ASSERT_EQ(messages.size(), 4U) << program->Output();
  EXPECT_EQ(messages[0], DetectedLine);
  EXPECT_TRUE(messages[1].starts_with("Error sending e-mail: ")) << messages[1];
  EXPECT_GT(messages[1].size(), std::string("Error sending e-mail: ").size()) << "no error text";
  EXPECT_EQ(messages[2], OKLine);
  EXPECT_TRUE(messages[3].starts_with("Error sending e-mail: ")) << messages[3];
}

} // namespace
