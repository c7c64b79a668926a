#pragma once
// The input side of a slot: the client stream of a capture device or an incoming internet stream, attached to
// the slot mixer as its only source. Attaching and detaching run on the controller's thread; request threads,
// the window and the slot's own checks read copies. The lock is held only to swap or copy: opening a device
// client, freeing it and ending a stream's thread happen outside it, so a reader never waits for them.

#include "slots/InputStream.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class TDeviceInfoWithClients;

// How a device client is opened (the slot's input settings).
struct TDeviceOpening
{
  uint32_t SampleRate = 44100;
  bool Use16Bit = false;
  bool ASIOWorkaround = false;
  int ExtraSleep = 0; // milliseconds between opening the client and adding it to the mixer
};

class TSlotInput
{
public:
  TSlotInput() = default;
  ~TSlotInput() { Detach(); }
  TSlotInput(const TSlotInput&) = delete;
  TSlotInput& operator=(const TSlotInput&) = delete;

  // Opens a client of iDevice and adds it to iMixer, replacing nothing: the caller detached the previous input.
  // Throws ESlotError with the failing step's message; nothing stays attached then.
  void AttachDevice(TDeviceInfoWithClients& iDevice, const std::string& iDeviceID, uint32_t iMixer,
                    const TDeviceOpening& iOpening);
  // Starts an incoming stream of iURL into iMixer (its thread connects and reconnects by itself).
  void AttachStream(int iSlotIndex, uint32_t iMixer, const std::string& iURL, TInputStream::TEvents iEvents);
  // Remembers the URL a stream input was asked for, also when it could not start.
  void SetStreamURL(std::string iURL);
  // Takes the device client out of the mixer and frees it, and ends the stream's thread; idempotent.
  void Detach();

  // The device attached, or none; devices live until the program ends.
  TDeviceInfoWithClients* Device() const;
  // The settings' name of the device attached; empty while none.
  std::string DeviceID() const;
  // The device client's engine handle; 0 while none.
  uint32_t Channel() const;
  // The URL of the last stream input asked for; kept after it is detached.
  std::string StreamURL() const;
  // The stream input's status text while it is not connected; empty while connected or without a stream.
  std::string StreamStatus() const;
  // The connected stream's engine handle; 0 while none.
  uint32_t StreamChannel() const;

  // What feeds the mixer: the device client or the connected stream (0 while none), and the number of the
  // attachment it belongs to. A stream keeps its number across reconnections; every attach and detach changes it.
  struct TSource
  {
    uint32_t Channel = 0;
    uint64_t Attachment = 0;
  };
  TSource Source() const;

private:
  struct TAttached
  {
    TDeviceInfoWithClients* Device = nullptr;
    uint32_t Channel = 0;
    std::string DeviceID;
    std::unique_ptr<TInputStream> Stream;
  };

  mutable std::mutex fLock;
  TAttached fAttached;
  uint64_t fAttachment = 0;
  std::string fStreamURL;
};
