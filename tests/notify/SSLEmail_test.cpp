#include "notify/AlarmEmail.h"
#include "notify/CurlEasy.h"
#include "notify/MailAddressList.h"
#include "notify/SSLEmail.h"
#include "support/SmtpServer.h"

#include <gtest/gtest.h>
#include <regex>
#include <unistd.h>

namespace
{

constexpr std::chrono::seconds MailWait{10};
const char* const User = "tapevault";
const char* const Password = "p\xC3\xA4ss word";

TSSLEmail AlarmEmail(int iPort, bool iSSL, bool iRequireTLS, const std::string& iUser = "",
                     const std::string& iPassword = "")
{
  TSSLEmail Email("127.0.0.1", iPort, iUser, iPassword);
  Email.edSSLConnection = iSSL;
  Email.edRequireTLS = iRequireTLS;
  Email.edSenderEmail = "alarm@example";
  Email.edToEmail = "ops@example.org, Night Shift <night@example.org>";
  Email.edBCCEmail = "boss@example.org";
  Email.edSubject = "Slot \"K\xC3\xBC"
                    "che\" SILENCE DETECTED (10 seconds)";
  Email.edBody = {"Host: studio", "Date/Time: 14.03.2023 12:00:00"};
  return Email;
}

TEST(SSLEmail, PlainMessageReachesEveryRecipientWithItsHeaders)
{
  TSmtpTestServer Server(stPlain);
  AlarmEmail(Server.Port(), false, false).SendEmail();

  const std::vector<TReceivedMail> Mails = Server.WaitForMails(1, MailWait);
  ASSERT_EQ(Mails.size(), 1U);
  const TReceivedMail& Mail = Mails.front();
  EXPECT_EQ(Mail.MailFrom, "alarm@example");
  EXPECT_EQ(Mail.Recipients, (std::vector<std::string>{"ops@example.org", "night@example.org", "boss@example.org"}));
  EXPECT_EQ(Mail.TLSVersion, "");
  EXPECT_EQ(Mail.Auth, "");
  EXPECT_EQ(Mail.Header("From"), "alarm@example");
  EXPECT_EQ(Mail.Header("Reply-To"), "alarm@example");
  EXPECT_EQ(Mail.Header("To"), "ops@example.org, Night Shift <night@example.org>");
  EXPECT_EQ(Mail.Header("Cc"), "");
  EXPECT_EQ(Mail.Header("Bcc"), "");
  EXPECT_EQ(Mail.Content.find("boss@"), std::string::npos);
  EXPECT_EQ(Mail.Header("Subject"), "=?UTF-8?Q?Slot_=22K=C3=BCche=22_SILENCE_DETECTED_=2810_seconds=29?=");
  EXPECT_TRUE(std::regex_match(Mail.Header("Message-ID"), std::regex("<[0-9a-f-]{36}@example>")))
      << Mail.Header("Message-ID");
  EXPECT_EQ(Mail.Header("Content-Type"), "text/plain; charset=UTF-8");
  EXPECT_FALSE(Mail.Header("Date").empty());
  EXPECT_EQ(Mail.DecodedBody(), "Host: studio\r\nDate/Time: 14.03.2023 12:00:00\r\n");
}

// The password must never reach a server whose certificate does not check out.
TEST(SSLEmail, TLSNeedsAVerifiedCertificateUnlessTheSettingIsOff)
{
  struct TCase
  {
    const char* Host;
    bool GiveCA;
    bool Verify;
    bool Accepted;
  };
  const TCase Cases[] = {
      {"127.0.0.1", false, true, false}, // the private CA is not in the system's store
      {"127.0.0.1", true, true, true},
      {"localhost", true, true, false}, // the certificate names 127.0.0.1 only
      {"localhost", false, false, true},
  };
  for (const TSmtpTestMode Mode : {stSTARTTLS, stImplicitTLS})
  {
    TSmtpTestServer Server(Mode, User, Password);
    size_t Accepted = 0;
    for (const TCase& Case : Cases)
    {
      const std::string Name = std::string(Mode == stSTARTTLS ? "STARTTLS " : "implicit TLS ") + Case.Host +
                               (Case.GiveCA ? " with the CA" : "") + (Case.Verify ? "" : " unverified");
      TSSLEmail Email = AlarmEmail(Server.Port(), true, Mode == stSTARTTLS, User, Password);
      Email.edSMTPServer = Case.Host;
      Email.edCertificate = {Case.Verify, Case.GiveCA ? Server.CAFile() : ""};
      if (Case.Accepted)
      {
        EXPECT_NO_THROW(Email.SendEmail()) << Name;
        ++Accepted;
      }
      else
      {
        try
        {
          Email.SendEmail();
          ADD_FAILURE() << Name << " was accepted";
        }
        catch (const ECurlError& Error)
        {
          EXPECT_NE(std::string(Error.what()).find("set \"VerifyCertificate\" to \"off\" in section \"EMail\""),
                    std::string::npos)
              << Name << ": " << Error.what();
        }
      }
      EXPECT_EQ(Server.AuthAttempts().size(), Accepted) << Name;
    }
    const std::vector<TReceivedMail> Mails = Server.WaitForMails(Accepted, MailWait);
    ASSERT_EQ(Mails.size(), Accepted);
    for (const TReceivedMail& Mail : Mails)
    {
      EXPECT_EQ(Mail.TLSVersion, "TLSv1.2");
      EXPECT_EQ(Mail.Auth, std::string("PLAIN ") + User);
      EXPECT_EQ(Mail.Recipients.size(), 3U);
    }
  }
}

// The server offers CRAM-MD5, LOGIN and PLAIN; libcurl alone would only try CRAM-MD5.
TEST(SSLEmail, ARefusedLoginIsTriedWithTheNextMechanismOffered)
{
  struct TCase
  {
    const char* Accepted;
    std::vector<std::string> Attempts;
  };
  const std::string Ok = std::string(" ") + User + " ok";
  const std::string Failed = std::string(" ") + User + " failed";
  const TCase Cases[] = {
      {"PLAIN", {"PLAIN" + Ok}},
      {"LOGIN", {"PLAIN" + Failed, "LOGIN" + Ok}},
      {"CRAM-MD5", {"PLAIN" + Failed, "LOGIN" + Failed, "CRAM-MD5" + Ok}},
  };
  for (const TCase& Case : Cases)
  {
    TSmtpTestServer Server(stSTARTTLS, User, Password, true, Case.Accepted);
    TSSLEmail Email = AlarmEmail(Server.Port(), true, true, User, Password);
    Email.edCertificate.CAFile = Server.CAFile();
    EXPECT_NO_THROW(Email.SendEmail()) << Case.Accepted;
    EXPECT_EQ(Server.AuthAttempts(), Case.Attempts) << Case.Accepted;
    const std::vector<TReceivedMail> Mails = Server.WaitForMails(1, MailWait);
    ASSERT_EQ(Mails.size(), 1U) << Case.Accepted;
    EXPECT_EQ(Mails[0].Auth, std::string(Case.Accepted) + " " + User);
  }
}

TEST(SSLEmail, CredentialsAuthenticateEvenInClear)
{
  TSmtpTestServer Server(stPlain, User, Password);
  AlarmEmail(Server.Port(), false, false, User, Password).SendEmail();

  const std::vector<TReceivedMail> Mails = Server.WaitForMails(1, MailWait);
  ASSERT_EQ(Mails.size(), 1U);
  EXPECT_EQ(Mails[0].TLSVersion, "");
  EXPECT_TRUE(Mails[0].Auth.ends_with(std::string(" ") + User)) << Mails[0].Auth;
}

TEST(SSLEmail, WithoutUserAndPasswordNoAuthIsSent)
{
  TSmtpTestServer Server(stSTARTTLS, User, Password, false);
  TSSLEmail Email = AlarmEmail(Server.Port(), true, true);
  Email.edCertificate.CAFile = Server.CAFile();
  Email.SendEmail();

  ASSERT_EQ(Server.WaitForMails(1, MailWait).size(), 1U);
  EXPECT_EQ(Server.AuthAttempts(), std::vector<std::string>{});
}

TEST(SSLEmail, FailuresCarryLibcurlsTextAndSendNothing)
{
  {
    // Every mechanism offered refuses it, once each; the last refusal is the error.
    TSmtpTestServer Server(stSTARTTLS, User, Password);
    TSSLEmail Email = AlarmEmail(Server.Port(), true, true, User, "wrong");
    Email.edCertificate.CAFile = Server.CAFile();
    try
    {
      Email.SendEmail();
      FAIL() << "a wrong password was accepted";
    }
    catch (const ECurlError& Error)
    {
      EXPECT_NE(std::string(Error.what()).find("535"), std::string::npos) << Error.what();
    }
    const std::string Failed = std::string(" ") + User + " failed";
    EXPECT_EQ(Server.AuthAttempts(),
              (std::vector<std::string>{"PLAIN" + Failed, "LOGIN" + Failed, "CRAM-MD5" + Failed}));
    EXPECT_TRUE(Server.Mails().empty());
  }
  {
    // A failure after a successful login is not a reason to log in again.
    TSmtpTestServer Server(stPlain, User, Password);
    TSSLEmail Email = AlarmEmail(Server.Port(), false, false, User, Password);
    Email.edToEmail = "refused@example.org";
    Email.edBCCEmail = "";
    EXPECT_THROW(Email.SendEmail(), ECurlError);
    EXPECT_EQ(Server.AuthAttempts(), std::vector<std::string>{"PLAIN " + std::string(User) + " ok"});
  }
  {
    // STARTTLS is required: a server without it never gets the message in clear.
    TSmtpTestServer Server(stPlain);
    EXPECT_THROW(AlarmEmail(Server.Port(), true, true).SendEmail(), ECurlError);
    EXPECT_TRUE(Server.Mails().empty());
  }
  {
    TSmtpTestServer Server(stPlain);
    TSSLEmail Email = AlarmEmail(Server.Port(), false, false);
    Email.edToEmail = "ops@example.org, refused@example.org";
    try
    {
      Email.SendEmail();
      FAIL() << "a refused recipient went unnoticed";
    }
    catch (const ECurlError& Error)
    {
      EXPECT_NE(std::string(Error.what()).find("550 5.1.1 Mailbox unavailable"), std::string::npos) << Error.what();
    }
    Email.edToEmail = "Ops <ops@example.org";
    EXPECT_THROW(Email.SendEmail(), EAddressListError);
    Email.edToEmail = "";
    Email.edBCCEmail = "";
    EXPECT_THROW(Email.SendEmail(), EAddressListError);
    EXPECT_TRUE(Server.Mails().empty());
  }
}

TEST(AlarmEmail, SettingsComposeHostAndTimeLines)
{
  TSmtpTestServer Server(stSTARTTLS, User, Password);
  TEmailSettings Settings{"127.0.0.1", std::to_string(Server.Port()), eeSTARTTLS,        User,
                          Password,    "alarm@example.com",           "ops@example.org", {true, Server.CAFile()}};
  SendAlarmEmail(Settings, "Slot \"Studio\" SILENCE OK", false, [](const std::string& iLine) { FAIL() << iLine; });
  Settings.Certificate = {false, ""};
  SendTestEmail(Settings);

  const std::vector<TReceivedMail> Mails = Server.WaitForMails(2, MailWait);
  ASSERT_EQ(Mails.size(), 2U);
  EXPECT_EQ(Mails[0].Header("Subject"), "Slot \"Studio\" SILENCE OK");
  EXPECT_EQ(Mails[1].Header("Subject"), "Test from Tapevault");
  EXPECT_EQ(Mails[0].TLSVersion, "TLSv1.2");
  char Host[256] = {};
  gethostname(Host, sizeof(Host) - 1);
  const std::string Body = Mails[0].DecodedBody();
  EXPECT_TRUE(Body.starts_with("Host: " + std::string(Host) + "\r\nDate/Time: ")) << Body;
  EXPECT_TRUE(std::regex_search(Body, std::regex("Date/Time: .*\\d\\d:\\d\\d:\\d\\d\r\n$"))) << Body;
}

TEST(AlarmEmail, UnreachableServerLogsTheAlarmAndThrowsTheTest)
{
  TEmailSettings Settings{
      "127.0.0.1", std::to_string(FreeLoopbackPort()), eeNone, "", "", "alarm@example.com", "ops@example.org", {}};
  std::vector<std::string> Lines;
  SendAlarmEmail(Settings, "Slot \"Studio\" SILENCE OK", false,
                 [&](const std::string& iLine) { Lines.push_back(iLine); });
  ASSERT_EQ(Lines.size(), 1U);
  EXPECT_TRUE(Lines[0].starts_with("Error sending e-mail: ")) << Lines[0];
  EXPECT_GT(Lines[0].size(), std::string("Error sending e-mail: ").size());
  EXPECT_THROW(SendTestEmail(Settings), ECurlError);
}

} // namespace
