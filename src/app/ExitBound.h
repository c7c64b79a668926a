#pragma once
// The bound on the program's end: once a close was requested by a signal, the process ends at the latest after
// a fixed time, whatever still runs (a database that does not answer, an encoder program or a device that does
// not let go). What must survive is on disk by then: the settings, and what the index could not take is in the
// slots' journals.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class TExitBound
{
public:
  explicit TExitBound(std::chrono::milliseconds iBound);
  // A program that ended in time stops the clock.
  ~TExitBound();
  TExitBound(const TExitBound&) = delete;
  TExitBound& operator=(const TExitBound&) = delete;

  // Starts the clock; later calls change nothing.
  void Arm();
  // Writes iLine as a log line to standard output and ends the process at once with exit code 0, without
  // running destructors: threads still busy with what they hold are not waited for.
  [[noreturn]] static void EndProcess(const std::string& iLine);

private:
  std::chrono::milliseconds fBound;
  std::mutex fLock;
  std::condition_variable fChanged;
  bool fDisarmed = false;
  std::thread fThread;
};
