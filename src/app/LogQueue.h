#pragma once
// The one log path of the program. Any thread hands a line over without waiting; the controller's thread
// stamps it with the time of the hand-off, keeps the newest lines for the message list and writes each to
// standard output. Order is kept and no line is lost, and because nobody waits, no thread can dead-lock
// against the controller while it waits for a worker.

#include <QObject>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class TLogQueue : public QObject
{
  Q_OBJECT
public:
  static constexpr size_t MaxLines = 999;

  explicit TLogQueue(QObject* iParent = nullptr);
  ~TLogQueue() override;

  // Callable from any thread.
  void AddLogMessage(const std::string& iMessage);
  // Moves every pending line into the list; runs on the controller's thread.
  void HandleLogPending();

  // The message list, oldest first ("ddddd tt: message").
  const std::deque<std::string>& Lines() const { return fLines; }

signals:
  void LinesAdded();

private:
  std::mutex fPendingLock;
  std::vector<std::string> fPendingLogMessages;
  bool fDrainPosted = false;
  std::deque<std::string> fLines;
};
