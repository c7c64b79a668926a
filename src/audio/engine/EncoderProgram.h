#pragma once
// An external encoder program: started without a shell, fed through a pipe on its standard input, its
// standard output collected for readers (a stream written to "-"), its end watched by a thread of its own.

#include "audio/engine/EncoderFd.h"
#include "audio/engine/EncoderTarget.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

class TEncoderProgram final : public IEncoderTarget
{
public:
  // Output kept for ReadOutput; what comes on top while nobody reads is discarded.
  static constexpr size_t kOutputCapacity = 1 << 20;
  // After SIGTERM, how long the program gets before SIGKILL.
  static constexpr std::chrono::seconds kTermGrace{1};

  // Starts iArguments[0] (searched on PATH) with the arguments, in a process group of its own (a terminal's
  // Ctrl+C must not cut the files short) with default signal handling. iOnEnded runs on the watcher thread
  // once the program has ended by itself or been ended. Throws TEncoderError(ecFileOpen).
  TEncoderProgram(const std::vector<std::string>& iArguments, std::function<void()> iOnEnded);
  ~TEncoderProgram() override; // ends the program at once if Finish was not called

  bool Write(const uint8_t* iData, size_t iSize) override;
  void Cancel() override;
  void Finish(std::chrono::steady_clock::time_point iDeadline) override;
  int64_t ReadOutput(void* oBuffer, size_t iSize, int iTimeoutMilliseconds) override;

private:
  void Watch();
  // Reads what the program wrote into the output buffer; false when nothing more is there now.
  bool CollectOutput();
  // Signals the program's process group while the program is not reaped (its id cannot be reused then).
  void SignalProgram(int iSignal);

  pid_t fPid = -1;
  TEncoderFd fStdin;  // our end of the program's standard input, non-blocking
  TEncoderFd fStdout; // our end of its standard output, non-blocking, used by the watcher only
  TEncoderFd fPidFd;  // readable once the program has ended
  TEncoderFd fCancel; // eventfd: readable once Cancel was called
  std::function<void()> fOnEnded;

  std::mutex fLock;
  std::condition_variable fChanged; // reaped, or output arrived or ended
  bool fReaped = false;
  std::unique_ptr<uint8_t[]> fOutput; // ring of kOutputCapacity bytes
  size_t fOutputStart = 0;
  size_t fOutputSize = 0;
  bool fOutputEnded = false;

  bool fFinished = false;
  std::thread fWatcher;
};
