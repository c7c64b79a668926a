#pragma once
// What a slot counts while it runs, for people: the metrics endpoint, the log, the window.

#include <atomic>
#include <cstdint>
#include <string>

// A copy of a slot's cumulative counters, since the slot was created.
struct TSlotCounters
{
  uint64_t BytesWritten = 0;           // audio handed to the file encoders (16-bit samples as the programs get them)
  double DropoutSeconds = 0;           // input audio lost: dropped by the push stream or missing (silence in its place)
  uint64_t DropoutCount = 0;           // separate dropouts
  uint64_t EncoderRestarts = 0;        // new files after an encoder died or could not start
  uint64_t InputReconnects = 0;        // the input came back after it was lost
  uint64_t InputXruns = 0;             // late process cycles of the input's JACK server while the slot used it
  double EncoderDroppedSeconds = 0;    // audio the file encoders' queues had no room for (of the files ended)
  uint64_t StreamDroppedBytes = 0;     // outgoing stream output the server did not take in time
  uint64_t StreamDroppedListeners = 0; // listeners of the built-in stream server dropped for falling behind
};

// The live counters: written on the controller's thread, read from any thread without a lock.
struct TSlotCounterSet
{
  std::atomic<uint64_t> FinishedBytes{0}; // of the files already ended
  std::atomic<double> DropoutSeconds{0};
  std::atomic<uint64_t> DropoutCount{0};
  std::atomic<uint64_t> EncoderRestarts{0};
  std::atomic<uint64_t> InputReconnects{0};
  std::atomic<uint64_t> InputXruns{0};
  std::atomic<double> EncoderDroppedSeconds{0};
};

// The last values of the engine's counters the controller's pass has seen, and the state of an outage.
struct TInputWatch
{
  uint64_t Attachment = 0; // the input these values belong to (TSlotInput::TSource)
  uint32_t Channel = 0;    // its channel; a stream's changes when it reconnects
  int64_t CheckedAt = 0;   // tick count of the last pass
  uint64_t DroppedBytes = 0;
  uint64_t SilenceFrames = 0;
  uint64_t ConsumedFrames = 0;
  uint64_t Xruns = 0;
  bool Delivered = false; // the input has delivered audio (silence before its first data is no dropout)
  bool Lost = false;
  int64_t LostSince = 0;     // tick count
  double PendingSeconds = 0; // silence inserted that is not reported yet (reported once audio flows again)
};
