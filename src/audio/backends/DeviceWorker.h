#pragma once
// One thread per running device: it opens the device, pumps its buffers until it is told to stop, and reopens
// the device when it fails while running (unplugged, sound server restarted), so that a 24/7 recording recovers
// by itself. Backends derive from it and implement the four steps below; all of them run on the worker thread
// except Interrupt.

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class TDeviceWorker
{
public:
  TDeviceWorker(const TDeviceWorker&) = delete;
  TDeviceWorker& operator=(const TDeviceWorker&) = delete;
  virtual ~TDeviceWorker();

  // The reason the device stopped delivering, empty while it works (cleared again once a reopen succeeded).
  std::string LastError() const;

protected:
  explicit TDeviceWorker(std::string iThreadName);

  // Starts the thread, which opens the device; returns once it runs, or throws the EAudioDeviceError of Open.
  // Derived constructors call it last.
  void Start();
  // Makes Pump return, closes the device and joins the thread. Derived destructors call it first.
  void Stop();
  bool StopRequested() const;

  // Opens and starts the device; throws EAudioDeviceError with the step and the backend's reason.
  virtual void Open() = 0;
  // Moves data until StopRequested() (returns "") or until the device fails (returns the reason).
  virtual std::string Pump() = 0;
  // Releases everything Open acquired. Must cope with a device that already failed.
  virtual void Close() noexcept = 0;
  // Called from another thread while the device is open, after StopRequested() became true: wakes a Pump that
  // sleeps without a time-out. Backends whose Pump polls with a short time-out need not override it.
  virtual void Interrupt() noexcept {}

private:
  enum TStartState
  {
    ssPending,
    ssRunning,
    ssFailed
  };

  void Run();
  bool TryOpen();
  void CloseDevice();
  void SetError(std::string iError);
  // Sleeps the pause between reopening attempts; false when asked to stop meanwhile.
  bool WaitBeforeRetry();

  std::string fThreadName;
  std::thread fThread;
  mutable std::mutex fMutex;
  std::condition_variable fCondition;
  TStartState fStartState = ssPending;
  bool fStopRequested = false;
  bool fOpen = false;
  std::string fError;
};
