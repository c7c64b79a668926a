#pragma once
// The web server's own log, which the settings page shows: at most 1000 lines, each the local date and time,
// ": " and the message. Every line also goes to standard output.

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class TWebServerLog
{
public:
  static constexpr size_t cMaxLines = 1000;

  void Add(const std::string& iMessage);
  std::vector<std::string> Lines() const;
  // Called after every new line (on the thread that added it).
  void SetOnChange(std::function<void()> iOnChange);

private:
  mutable std::mutex fMutex;
  std::deque<std::string> fLines;
  std::function<void()> fOnChange;
};
