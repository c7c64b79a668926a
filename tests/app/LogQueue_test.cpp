#include "app/LogQueue.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <thread>

namespace
{
QCoreApplication& App()
{
  static int argc = 1;
  static char name[] = "test_app";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

std::string MessageOf(const std::string& iLine)
{
  // "ddddd tt: message": the message follows the first ": ".
  return iLine.substr(iLine.find(": ") + 2);
}
} // namespace

TEST(LogQueue, KeepsTheNewest999LinesInOrder)
{
  App();
  TLogQueue log;
  for (int i = 0; i < 1000; ++i)
    log.AddLogMessage("line " + std::to_string(i));
  ASSERT_EQ(log.Lines().size(), 999u);
  EXPECT_EQ(MessageOf(log.Lines().front()), "line 1");
  EXPECT_EQ(MessageOf(log.Lines().back()), "line 999");
}

TEST(LogQueue, WorkersNeverWaitAndNoLineIsLost)
{
  App();
  TLogQueue log;
  // The controller's thread is busy (here: joining the workers) while they log: nobody may block.
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w)
    workers.emplace_back(
        [&log, w]
        {
          for (int i = 0; i < 200; ++i)
            log.AddLogMessage("worker " + std::to_string(w) + " line " + std::to_string(i));
        });
  for (std::thread& worker : workers)
    worker.join();
  QCoreApplication::processEvents();
  ASSERT_EQ(log.Lines().size(), 800u);
  std::vector<int> next(4, 0);
  for (const std::string& line : log.Lines())
  {
    int worker = -1, number = -1;
    ASSERT_EQ(std::sscanf(MessageOf(line).c_str(), "worker %d line %d", &worker, &number), 2);
    EXPECT_EQ(number, next[worker]++) << "lines of one thread stay in order";
  }
}
