#include "notify/EmailAlarmSender.h"
#include "support/SmtpServer.h"
#include "support/Wait.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace
{
struct TLines
{
  std::mutex Lock;
  std::vector<std::string> Lines;
  TLogProc Proc()
  {
    return [this](const std::string& iLine)
    {
      std::lock_guard guard(Lock);
      Lines.push_back(iLine);
    };
  }
  std::vector<std::string> Copy()
  {
    std::lock_guard guard(Lock);
    return Lines;
  }
};

TEmailSettings Settings(int iPort)
{
  TEmailSettings settings;
  settings.Server = "127.0.0.1";
  settings.Port = std::to_string(iPort);
  settings.From = "alarm@example";
  settings.Recipients = "ops@example.org";
  return settings;
}
} // namespace

TEST(EmailAlarmSender, SendsQueuedAlarmsInOrder)
{
  TSmtpTestServer server(stPlain);
  TLines log;
  TEmailAlarmSender sender(log.Proc());
  sender.Start();
  sender.QueueAlarmEmail(Settings(server.Port()), "Slot \"A\" SILENCE DETECTED (2 seconds)");
  sender.QueueAlarmEmail(Settings(server.Port()), "Slot \"A\" SILENCE OK");

  const std::vector<TReceivedMail> mails = server.WaitForMails(2, std::chrono::seconds(20));
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].Header("Subject"), "Slot \"A\" SILENCE DETECTED (2 seconds)");
  EXPECT_EQ(mails[1].Header("Subject"), "Slot \"A\" SILENCE OK");
  EXPECT_TRUE(log.Copy().empty());
}

TEST(EmailAlarmSender, AnUnreachableServerNeverHoldsUpTheCaller)
{
  TLines log;
  {
    TEmailAlarmSender sender(log.Proc());
    sender.Start();
    // A port nobody listens on: the failure is logged by the worker, the caller returns at once.
    const auto start = std::chrono::steady_clock::now();
    sender.QueueAlarmEmail(Settings(1), "Slot \"A\" SILENCE DETECTED (2 seconds)");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    WaitUntil([&] { return !log.Copy().empty(); }, std::chrono::seconds(10));
  }
  const std::vector<std::string> lines = log.Copy();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("Error sending e-mail: ", 0), 0u) << lines[0];
}
