#pragma once
// How the alarm senders report: one finished log line at a time, handed to the controller's log, which takes
// lines from any thread.

#include <functional>
#include <string>

using TLogProc = std::function<void(const std::string& iLine)>;
