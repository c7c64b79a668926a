#pragma once
// The input of a slot whose source is an internet stream: a thread of its own ("StreamThread Slot n") opens the
// URL, adds the stream to the slot mixer as its only source and keeps it there, reconnecting about once a second
// when the stream ends (the server closed it, it stalled for the engine's time-out, its audio was not taken) or an
// attempt fails; the mixer records silence meanwhile. Slots connect independently, each attempt bounded by the
// engine, so a dead or hostile server costs no other slot anything. Destroying the input ends the thread
// promptly, also during an attempt; its stream leaves the mixer.

#include "lib/SimpleThread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TInputStream
{
public:
  struct TEvents
  {
    // New metadata text of the stream (on the stream's reader thread), and right after each connection.
    std::function<void(const std::string& iMetadata)> Metadata;
    // A connection was made: the first of this input, or a reconnection after the stream was lost.
    std::function<void(bool iFirst)> Connected;
    // A stream that played was lost, with the log line that says why.
    std::function<void(const std::string& iWhy)> Lost;
  };

  // Starts the thread at once.
  TInputStream(int iSlotIndex, uint32_t iMixer, std::string iURL, TEvents iEvents);
  ~TInputStream();
  TInputStream(const TInputStream&) = delete;
  TInputStream& operator=(const TInputStream&) = delete;

  // "Connecting...", "Reconnecting...", "No data for n s, reconnecting..." or the engine's error text of the last
  // attempt; kept while connected.
  std::string Status() const;
  // The open stream's handle; 0 while not connected.
  uint32_t Channel() const { return fChannel.load(); }

private:
  void Loop(TSimpleThread& iThread);
  bool Connect();
  void FreeChannel();
  void SetStatus(const std::string& iStatus);

  const uint32_t fMixer;
  const std::string fURL;
  const TEvents fEvents;
  std::atomic<bool> fStopping{false};
  std::atomic<uint32_t> fChannel{0};
  std::atomic<bool> fDownloadEnded{false};
  bool fConnectedOnce = false;
  std::string fStatus; // under the process-wide status lock
  std::unique_ptr<TSimpleThread> fThread;
};
