#pragma once
// The live state of every slot as server-sent events (/ws/events) for the browser's monitor. One thread builds
// the event from the slots' published status snapshots ten times a second while anyone listens, and every
// listener's connection only copies the newest one: a hundred monitors read no slot lock and cost the program
// one event's work per tenth of a second.

#include "web/WebResponse.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class IWebController;

class TSlotEvents
{
public:
  static constexpr std::chrono::milliseconds Interval{100};

  explicit TSlotEvents(IWebController& iController);
  ~TSlotEvents(); // Stop()

  TSlotEvents(const TSlotEvents&) = delete;
  TSlotEvents& operator=(const TSlotEvents&) = delete;

  // The body of one listener's answer: a retry time for the browser's reconnection, then every new event.
  TStreamBody Subscribe();
  // Ends every listener's answer and the thread (when the web server stops).
  void Stop();

  // One event: "data: " and a JSON array with an object per slot, then an empty line.
  std::string BuildEvent();

private:
  struct TListener;
  void Run();
  // Waits for an event newer than ioSeen; empty once stopped.
  std::string NextFor(uint64_t& ioSeen);
  void Unsubscribe();

  IWebController& fController;
  std::mutex fMutex;
  std::condition_variable fChanged;
  std::shared_ptr<const std::string> fEvent;
  uint64_t fSequence = 0;
  int fListeners = 0;
  bool fStopping = false;
  std::thread fThread;
  // Free space of the slots' folders, asked at most every few seconds (a file system call per slot).
  std::vector<double> fFreeBytes;
  std::chrono::steady_clock::time_point fFreeBytesAsked{};
};
