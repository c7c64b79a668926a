#pragma once
// The controller side of the web server for tests: a slot table of real slots, the switch requests the
// server posts, the program's log and the settings the server starts with.

#include "web/WebController.h"

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

class TWebTestController : public IWebController
{
public:
  struct TSwitch
  {
    bool Start;
    int Slot;
    bool operator==(const TSwitch&) const = default;
  };

  TWebServerSettings Settings;

  int SlotCount() const override { return static_cast<int>(fSlots.size()); }
  TSlotInfo& Slot(int iIndex) const override { return *fSlots.at(static_cast<size_t>(iIndex)); }
  void PostSlotStart(int iSlot) override { Post({true, iSlot}); }
  void PostSlotStop(int iSlot) override { Post({false, iSlot}); }
  void AddLogMessage(const std::string& iMessage) override
  {
    std::lock_guard lock(fMutex);
    fLog.push_back(iMessage);
  }
  TWebServerSettings WebServerSettings() const override { return Settings; }
  void WebServerStateChanged(bool iActive) override
  {
    std::lock_guard lock(fMutex);
    fStateChanges.push_back(iActive);
  }

  // The test owns the slots; they must outlive the server.
  void AddSlot(TSlotInfo& iSlot) { fSlots.push_back(&iSlot); }
  std::vector<TSwitch> Switches() const
  {
    std::lock_guard lock(fMutex);
    return fSwitches;
  }
  std::vector<std::string> Log() const
  {
    std::lock_guard lock(fMutex);
    return fLog;
  }
  std::vector<bool> StateChanges() const
  {
    std::lock_guard lock(fMutex);
    return fStateChanges;
  }

private:
  void Post(TSwitch iSwitch)
  {
    std::lock_guard lock(fMutex);
    fSwitches.push_back(iSwitch);
  }

  std::vector<TSlotInfo*> fSlots;
  mutable std::mutex fMutex;
  std::vector<TSwitch> fSwitches;
  std::vector<std::string> fLog;
  std::vector<bool> fStateChanges;
};
