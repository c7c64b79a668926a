#pragma once
// The outgoing stream of a slot: a second encoder on the slot mixer, last in its chain, whose output goes to an
// Icecast or Shoutcast server (cast mode) or to listeners of a server of its own (internal server mode). A
// thread of its own ("StreamingThread Slot n") keeps it up while the slot and streaming are on: it connects,
// notices lost connections (at once through the encoder's notification, else within a second), reconnects,
// retries a failed connection after 5 seconds, and disconnects when streaming is switched off. Cast connections
// of all slots take turns. Status, message and connected-since are under a lock of this class; titles are sent
// by the streaming thread, so a slow server never delays the controller or the stream input that hands them
// over. Settings are copied at each pass; a running stream keeps the ones it was connected with.

#include "audio/engine/EngineTypes.h"
#include "lib/SimpleThread.h"
#include "slots/EncoderCommand.h"
#include "slots/OutputStreamText.h"
#include "slots/SlotSettings.h"
#include "slots/SlotTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// What the streaming thread copies of the slot's settings at every pass.
struct TOutputStreamSettings
{
  bool Active = false; // slot enabled and streaming enabled
  TSlotSettings::TOutputStream Stream;
  TEncoderCommandSettings Encoder;
  int EncoderQueueLength = 6000; // milliseconds
};

// What the outgoing stream lost since the slot started, and the listeners of the built-in server now.
struct TOutputStreamCounts
{
  uint64_t DroppedBytes = 0;
  uint64_t DroppedListeners = 0;
  uint32_t Listeners = 0;
};

class TOutputStream
{
public:
  struct TEvents
  {
    std::function<TOutputStreamSettings()> Settings;
    // The incoming stream's current title, sent first when titles are forwarded.
    std::function<std::string()> IncomingTitle;
    // A line for the slot's log (the slot puts its name in front).
    std::function<void(const std::string& iMessage)> Log;
  };

  // Starts the thread at once. iMixer outlives this object.
  TOutputStream(int iSlotIndex, uint32_t iMixer, TEvents iEvents);
  // Ends the thread (after an attempt under way) and stops the encoder.
  ~TOutputStream();
  TOutputStream(const TOutputStream&) = delete;
  TOutputStream& operator=(const TOutputStream&) = delete;

  // Makes the thread look at its state now (the slot's input or switch changed).
  void Wake();

  TStreamingStatus Status() const;
  // The host while connecting, the server address while connected, the error text after a failure.
  std::string Message() const;
  // MillisecondClock value of the moment the stream connected; -1 while it is not connected.
  int64_t ActiveSince() const;
  // Any thread; never waits for a connection attempt.
  TOutputStreamCounts Counts() const;

  // Reads the first line of the title file iFilename when the file changed since it was last read; a new
  // title goes to the stream while it is connected. A missing file keeps the title.
  void UpdateTitleFromFile(const std::string& iFilename);
  // Sends the title last read from the title file.
  void SendStreamingTitle();
  // Sends an incoming stream's title (when titles are forwarded).
  void ForwardTitle(const std::string& iTitle);

private:
  void StreamingLoop(TSimpleThread& iThread);
  // Connects; false after a failure (status ssError, logged).
  bool Connect(const TOutputStreamSettings& iSettings, TSimpleThread& iThread);
  uint32_t StartEncoder(const TOutputStreamSettings& iSettings);
  void Disconnect();
  void SetStreamingStatus(TStreamingStatus iStatus, const std::string& iMessage);
  void EncoderNotify(uint32_t iStatus);
  // Logs what the stream lost since the last report: at most once a minute, or at once with iNow.
  void ReportOutputLosses(bool iNow);
  void QueueTitle(const std::string& iTitle);
  void SendQueuedTitle();

  const uint32_t fMixer;
  const TEvents fEvents;

  mutable std::mutex fLock;
  TStreamingStatus fStreamingStatus = ssDisabled;
  std::string fStreamingMessage;
  int64_t fStreamingActiveSince = -1;
  uint32_t fStreamingEncoder = 0;   // changed only by the streaming thread
  TOutputStreamCounts fEndedCounts; // of the encoders stopped before the current one
  std::optional<std::string> fQueuedTitle;
  TEncodeOutputInfo fReportedOutput; // of the current encoder; only the streaming thread uses these two
  uint64_t fOutputReportedAt = 0;    // MillisecondClock

  std::mutex fTitleLock; // the title file's state, read by the controller's timer
  std::string fStreamingCurrentTitle;
  std::optional<int64_t> fStreamingCurrentTitleFileAge; // nanoseconds of the modification time

  std::mutex fWakeLock;
  bool fWaking = true; // false once the destructor began
  std::unique_ptr<TSimpleThread> fStreamingThread;
};
