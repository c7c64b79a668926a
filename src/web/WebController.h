#pragma once
// What the web server needs from the controller that owns it. The controller implements this; the server
// never changes a slot itself: start and stop requests are queued into the controller's thread.

#include "web/WebAccess.h"

#include <string>

class TSlotInfo;

struct TWebServerSettings
{
  // "port", ":port" or "address:port"
  std::string Port = "5252";
  TAccessSettings Access;
};

class IWebController
{
public:
  virtual ~IWebController() = default;

  // The slot table, fixed while the server runs.
  virtual int SlotCount() const = 0;
  virtual TSlotInfo& Slot(int iIndex) const = 0;
  // Queue switching slot iSlot (from 0) on or off; the controller ignores numbers outside its table. Never
  // waits for the switch.
  virtual void PostSlotStart(int iSlot) = 0;
  virtual void PostSlotStop(int iSlot) = 0;
  // The program's log; callable from any thread.
  virtual void AddLogMessage(const std::string& iMessage) = 0;

  // Read at every start of the server and kept until the next one.
  virtual TWebServerSettings WebServerSettings() const = 0;
  // After every start and stop: the controller writes its global settings, whose "Enabled" follows the server.
  virtual void WebServerStateChanged(bool iActive) = 0;
};
