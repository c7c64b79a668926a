#include "app/LogQueue.h"

#include "lib/DateTime.h"

#include <QThread>
#include <cstdio>

TLogQueue::TLogQueue(QObject* iParent) : QObject(iParent) {}

TLogQueue::~TLogQueue()
{
  HandleLogPending();
}

void TLogQueue::AddLogMessage(const std::string& iMessage)
{
  bool post = false;
  {
    std::lock_guard lock(fPendingLock);
    fPendingLogMessages.push_back(iMessage);
    post = !fDrainPosted;
    fDrainPosted = true;
  }
  if (QThread::currentThread() == thread())
    HandleLogPending();
  else if (post)
    QMetaObject::invokeMethod(this, &TLogQueue::HandleLogPending, Qt::QueuedConnection);
}

void TLogQueue::HandleLogPending()
{
  std::vector<std::string> pending;
  {
    std::lock_guard lock(fPendingLock);
    pending.swap(fPendingLogMessages);
    fDrainPosted = false;
  }
  if (pending.empty())
    return;
  const std::string time = FormatLogTime(Now());
  for (const std::string& message : pending)
  {
    std::string line = time + ": " + message;
    std::fprintf(stdout, "%s\n", line.c_str());
    fLines.push_back(std::move(line));
  }
  std::fflush(stdout);
  while (fLines.size() > MaxLines)
    fLines.pop_front();
  emit LinesAdded();
}
