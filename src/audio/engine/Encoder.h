#pragma once
// Encoders on a mixer's output: an external program fed through its standard input, or a file written by the
// engine itself (WAV, or encoded by a codec library), optionally fed through a queue with its own thread so that the
// pulling thread never waits.

#include "audio/engine/EncoderQueue.h"
#include "audio/engine/EngineTypes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

// An encoder start failed; Code() is the engine error code, what() says what failed and why.
class TEncoderError : public std::runtime_error
{
public:
  TEncoderError(int iCode, const std::string& iText) : std::runtime_error(iText), fCode(iCode) {}
  int Code() const { return fCode; }

private:
  int fCode;
};

// Default length of the feeding queue when QueueMilliseconds is 0.
constexpr uint32_t kDefaultEncoderQueueMilliseconds = 6000;

struct TEncoderSettings
{
  uint32_t SampleRate = 44100;
  uint32_t Channels = 2;
  uint32_t Flags = 0;                      // TEncoderFlag values
  TCodecSettings Codec = {};               // with efCodecFile
  uint32_t QueueMilliseconds = 0;          // length of the feeding queue (efQueue); 0 = default
  uint32_t StopTimeoutMilliseconds = 5000; // how long Stop waits for the program to finish its file
  // Called at most once, on an engine thread (the queue's, the program watcher's, or without efQueue the
  // writing thread), when the encoder dies by itself: the program ended, its pipe broke, the file could not be
  // written. Never after Stop; possibly before Start has returned. IsActive is already false then. Must not
  // stop or destroy the encoder.
  std::function<void(int iStatus)> OnNotify = nullptr;
};

class IEncoderTarget;

class TEncoder final
{
public:
  // Starts the encoder. For a program, iCommandLine is split into arguments (no shell) and the program is
  // searched on PATH; with efWAVFile or efCodecFile it is the file's path. Throws TEncoderError.
  static std::unique_ptr<TEncoder> Start(const std::string& iCommandLine, const TEncoderSettings& iSettings);
  ~TEncoder(); // stops

  TEncoder(const TEncoder&) = delete;
  TEncoder& operator=(const TEncoder&) = delete;

  // Takes interleaved float frames (Channels per frame), on the pulling thread. With efQueue it never blocks,
  // allocates or does I/O: a full queue drops what does not fit and counts it. Without efQueue it converts and
  // writes at once (blocking I/O). Ignored once the encoder is no longer active. Must not run concurrently
  // with the destructor; concurrent Stop is fine.
  void Write(const float* iFrames, uint32_t iFrameCount);
  // Running: neither stopped nor dead.
  bool IsActive() const;
  // Closes the program's input (after the queue has been written out), waits up to StopTimeoutMilliseconds
  // for it to finish, then ends it (SIGTERM, a second later SIGKILL) and reaps it. A WAV file gets its final
  // header. Never notifies. Idempotent; callable from any thread but the notification callback.
  void Stop();
  // Frames dropped because the queue was full.
  uint64_t DroppedFrames() const;
  // The program's standard output (its encoded stream when its target is "-"). Waits up to
  // iTimeoutMilliseconds for data; returns the byte count, 0 when nothing came in time, -1 when the program
  // has ended and everything was read (or the encoder has no output, like a WAV file). Output nobody reads is
  // buffered up to a limit, then discarded, so the program never blocks on it.
  int64_t ReadOutput(void* oBuffer, size_t iSize, int iTimeoutMilliseconds = 1000);
  // A file encoder fed through a queue (efWAVFile or efCodecFile with efQueue) can go on in another file, so
  // that a file change starts no encoder, thread or queue.
  bool CanContinue() const;
  // The next file, at iPath, created now (outside any lock). Throws TEncoderError.
  std::unique_ptr<IEncoderTarget> MakeNextFile(const std::string& iPath) const;
  // A mark that, where Continue places it, ends the current file (finished on the queue's thread, between two
  // buffers) and lets the encoder go on in iNext. iFinished runs there with true, or with false when the
  // encoder died before it got there.
  TQueueMarks ContinuationMark(std::unique_ptr<IEncoderTarget> iNext, std::function<void(bool iFinished)> iFinished);
  // Places the mark between two Writes; false, leaving it, when the encoder has died.
  bool Continue(TQueueMarks& ioMark);
  // Whoever takes the output can deliver it no longer (a cast connection was lost): the encoder turns inactive
  // and notifies iStatus, once, as if it had died by itself. Never after Stop.
  void Abandon(int iStatus);

private:
  explicit TEncoder(const TEncoderSettings& iSettings);
  // Converts and writes frames to the target (without a queue); false when the target failed.
  bool WriteToTarget(const float* iFrames, size_t iFrameCount);
  // The encoder died by itself: turns inactive and notifies, once.
  void Died(int iStatus = enEncoderEnded);

  TEncoderSettings fSettings;
  size_t fBytesPerSample;
  std::unique_ptr<uint8_t[]> fConverted; // conversion buffer of direct writes (without a queue)
  std::unique_ptr<IEncoderTarget> fTarget;
  std::mutex fTargetLock; // the queue's thread swaps the target at a file change while Stop may cancel it
  std::unique_ptr<TEncoderQueue> fQueue;
  std::atomic<bool> fActive{true};
  std::timed_mutex fDirectLock; // serializes direct writes with Stop (without efQueue)
  std::mutex fStopLock;
  bool fStopped = false;
};
