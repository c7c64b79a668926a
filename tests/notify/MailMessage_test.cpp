#include "notify/AlarmEmail.h"
#include "notify/MailMessage.h"
#include "notify/MimeEncoding.h"

#include <gtest/gtest.h>
#include <regex>

namespace
{

TEST(MailMessage, MessageIDDomainFollowsTheSenderAddress)
{
  const std::pair<const char*, const char*> Cases[] = {
      {"alarm@example", "example"},    {"alarm@example.com", "example.com"},
      {"alarm@first@second", "first"}, {"alarm", "UNKNOWN"},
      {"alarm@", "UNKNOWN"},           {"", "UNKNOWN"}};
  for (const auto& [Sender, Domain] : Cases)
    EXPECT_EQ(MessageIDDomain(Sender), Domain) << Sender;
}

TEST(MailMessage, MessageIDIsANewLowerCaseGUIDAtTheDomain)
{
  const std::string First = NewMessageID("alarm@example");
  EXPECT_TRUE(std::regex_match(First, std::regex("<[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"
                                                 "@example>")))
      << First;
  EXPECT_NE(First, NewMessageID("alarm@example"));
  EXPECT_TRUE(NewMessageID("alarm").ends_with("@UNKNOWN>"));
}

TEST(MailMessage, DateIsRFC5322LocalTimeWithOffset)
{
  // TZ is Europe/Berlin for the tests: 2023-03-14 11:00:00 UTC is noon there, in winter time.
  EXPECT_EQ(FormatMailDate(1678791600), "Tue, 14 Mar 2023 12:00:00 +0100");
  EXPECT_EQ(FormatMailDate(1689328800), "Fri, 14 Jul 2023 12:00:00 +0200");
}

TEST(MailMessage, HeadersAreEncodedSoNothingCanBeInjected)
{
  EXPECT_EQ(EncodeHeaderText("Slot \"Studio\" SILENCE OK", 9), "Slot \"Studio\" SILENCE OK");
  EXPECT_EQ(EncodeHeaderText("Slot \"K\xC3\xBC"
                             "che\" SILENCE OK",
                             9),
            "=?UTF-8?Q?Slot_=22K=C3=BCche=22_SILENCE_OK?=");
  EXPECT_EQ(EncodeHeaderText("a\r\nBcc: x@y.z", 9), "=?UTF-8?Q?a=0D=0ABcc=3A_x=40y=2Ez?=");
  // Long or non-ASCII text becomes several words of at most 75 characters, never splitting a character.
  std::string Umlauts(40, 'a');
  for (int Count = 0; Count < 30; ++Count)
    Umlauts += "\xC3\xBC";
  const std::string Long = EncodeHeaderText(Umlauts, 9);
  EXPECT_EQ(Long.find("\xC3"), std::string::npos);
  EXPECT_EQ(Long.find("=C3?="), std::string::npos);
  for (size_t Start = 0, End; Start != std::string::npos; Start = End == std::string::npos ? End : End + 3)
  {
    End = Long.find("\r\n ", Start);
    EXPECT_LE(Long.substr(Start, End - Start).size(), 75U);
  }
  EXPECT_EQ(EncodeDisplayName("Bob Smith"), "Bob Smith");
  EXPECT_EQ(EncodeDisplayName("Smith, \"Bob\""), "\"Smith, \\\"Bob\\\"\"");
  EXPECT_EQ(EncodeDisplayName("J\xC3\xBCrgen"), "=?UTF-8?Q?J=C3=BCrgen?=");
}

TEST(MailMessage, BodyIsQuotedPrintable)
{
  EXPECT_EQ(EncodeQuotedPrintable("Host: k\xC3\xBC"
                                  "che\r\nDate/Time: 1=1 "),
            "Host: k=C3=BCche\r\nDate/Time: 1=3D1=20");
  const std::string Long = EncodeQuotedPrintable(std::string(200, 'x'));
  EXPECT_EQ(Long.find("\r\n"), 76U);
  EXPECT_EQ(Long.substr(75, 3), "=\r\n");
}

TEST(MailMessage, MessageHasTheHeadersAndTheBodyLines)
{
  TMailMessage Message;
  Message.From = {"", "alarm@example.com"};
  Message.To = {{"", "a@example.com"}, {"Bob", "b@example.com"}};
  Message.Subject = "Test from Tapevault";
  Message.Body = {"Host: studio", "Date/Time: 14.03.2023 12:00:00"};
  Message.MessageID = "<id@example.com>";
  Message.Date = 1678791600;
  EXPECT_EQ(BuildMailMessage(Message), "Date: Tue, 14 Mar 2023 12:00:00 +0100\r\n"
                                       "From: alarm@example.com\r\n"
                                       "Reply-To: alarm@example.com\r\n"
                                       "To: a@example.com,\r\n Bob <b@example.com>\r\n"
                                       "Subject: Test from Tapevault\r\n"
                                       "Message-ID: <id@example.com>\r\n"
                                       "MIME-Version: 1.0\r\n"
                                       "Content-Type: text/plain; charset=UTF-8\r\n"
                                       "Content-Transfer-Encoding: quoted-printable\r\n"
                                       "\r\n"
                                       "Host: studio\r\n"
                                       "Date/Time: 14.03.2023 12:00:00\r\n");
}

TEST(AlarmEmail, PortIs25WhenEmptyOrNotANumber)
{
  const std::pair<const char*, int> Cases[] = {{"", 25}, {"abc", 25}, {"25x", 25}, {"587", 587}, {"2525", 2525}};
  for (const auto& [Text, Port] : Cases)
    EXPECT_EQ(EmailPort(Text), Port) << Text;
}

} // namespace
