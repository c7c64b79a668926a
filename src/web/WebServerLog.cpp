#include "web/WebServerLog.h"

#include "lib/DateTime.h"

#include <cstdio>

void TWebServerLog::Add(const std::string& iMessage)
{
  const std::string line = FormatLogTime(Now()) + ": " + iMessage;
  std::function<void()> onChange;
  {
    std::lock_guard lock(fMutex);
    while (fLines.size() >= cMaxLines)
      fLines.pop_front();
    fLines.push_back(line);
    onChange = fOnChange;
  }
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
  if (onChange)
    onChange();
}

std::vector<std::string> TWebServerLog::Lines() const
{
  std::lock_guard lock(fMutex);
  return std::vector<std::string>(fLines.begin(), fLines.end());
}

void TWebServerLog::SetOnChange(std::function<void()> iOnChange)
{
  std::lock_guard lock(fMutex);
  fOnChange = std::move(iOnChange);
}
