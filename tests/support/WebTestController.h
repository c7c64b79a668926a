#pragma once
// The controller side of the web server for tests, benchmarks and fuzz targets: real slots in a temporary
// root folder (configuration file, slot folders, recordings databases), the switch requests the server posts,
// the program's log and the settings the server starts with. Header-only, so that programs outside the test
// library can use it too.

#include "SlotSettingsEdit.h"
#include "lib/SimpleSQLInterface.h"
#include "slots/SlotInfo.h"
#include "web/WebController.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Server settings that differ from the defaults only in who may do what.
inline TWebServerSettings AccessOnly(TAccessSettings iAccess)
{
  TWebServerSettings settings;
  settings.Access = std::move(iAccess);
  return settings;
}

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
  // The e-mail part of the program settings (the web server part is Settings).
  TWebProgramSettings Program;

  TWebTestController()
  {
    char pattern[] = "/tmp/tapevault-web-XXXXXX";
    if (!::mkdtemp(pattern))
      throw std::runtime_error("cannot create a temporary folder");
    fRoot = pattern;
    fIniFile = std::make_unique<TIniFile>((fRoot / "Tapevault.ini").string());
  }
  ~TWebTestController() override
  {
    fSlots.clear();
    std::error_code ignored;
    std::filesystem::remove_all(fRoot, ignored);
  }
  TWebTestController(const TWebTestController&) = delete;
  TWebTestController& operator=(const TWebTestController&) = delete;

  const std::filesystem::path& Root() const { return fRoot; }

  // A new slot with its folder in the root folder ("slot<n>").
  TSlotInfo& AddSlot(const std::string& iName, TRecordSource iSource = rsDisabled, const std::string& iURL = "")
  {
    const int index = static_cast<int>(fSlots.size());
    auto slot = std::make_unique<TSlotInfo>(*fIniFile, index, false);
    EditSlotSettings(*slot,
                     [&](TSlotSettings& ioSettings)
                     {
                       ioSettings.Name = iName;
                       ioSettings.Output.Folder = (fRoot / ("slot" + std::to_string(index))).string();
                       ioSettings.Input.Source = iSource;
                       ioSettings.Input.StreamURL = iURL;
                     });
    fSlots.push_back(std::move(slot));
    return *fSlots.back();
  }

  // A row with exact stored texts; returns its id.
  static int AddRecording(TSlotInfo& iSlot, const std::string& iStartTime, std::optional<double> iDuration,
                          const std::string& iFileName)
  {
    const ISQLConnectionRef connection = iSlot.GetDatabaseConnection();
    const auto insert = connection->PrepareStatement(
        "INSERT INTO recordings (starttime, duration, filename) VALUES (:start, :duration, :file)");
    insert->SetStringByName("start", iStartTime);
    if (iDuration)
      insert->SetFloatByName("duration", *iDuration);
    else
      insert->SetNullByName("duration", ftFloat);
    insert->SetStringByName("file", iFileName);
    insert->ExecuteUpdatePrepared();
    return static_cast<int>(connection->LastInsertRowID());
  }

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
  // The test's own thread stands in for the controller's: posted work runs at once, one piece at a time.
  void PostToControllerThread(std::function<void()> iWork) override
  {
    std::lock_guard lock(fControllerMutex);
    iWork();
  }
  TWebProgramSettings ProgramSettings() const override
  {
    TWebProgramSettings result = Program;
    result.WebServer = Settings;
    return result;
  }
  TSlotSettingsOutcome ApplySlotSettings(int iSlot, const TSlotSettings& iSettings,
                                         const TSettingsEditor& iEditor) override
  {
    return ::ApplySlotSettings(Slot(iSlot), iSettings, iEditor,
                               [this](const std::string& iMessage) { AddLogMessage(iMessage); });
  }
  void ChangeProgramSettings(const TWebProgramSettings& iSettings) override
  {
    Settings = iSettings.WebServer;
    Program = iSettings;
  }
  std::string SendTestEmail(const TWebEmailSettings& iSettings) override
  {
    std::lock_guard lock(fMutex);
    fTestEmails.push_back(iSettings);
    return "sent";
  }
  std::vector<TWebEmailSettings> TestEmails() const
  {
    std::lock_guard lock(fMutex);
    return fTestEmails;
  }

  // Runs the queued switches as the controller's thread does: numbers outside the table are ignored.
  void ProcessSwitches()
  {
    std::vector<TSwitch> pending;
    {
      std::lock_guard lock(fMutex);
      pending.swap(fPending);
    }
    for (const TSwitch& request : pending)
      if (request.Slot >= 0 && request.Slot < SlotCount())
        Slot(request.Slot).SetEnabled(request.Start);
  }
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
    fPending.push_back(iSwitch);
  }

  std::filesystem::path fRoot;
  std::unique_ptr<TIniFile> fIniFile;
  std::vector<std::unique_ptr<TSlotInfo>> fSlots;
  mutable std::mutex fMutex;
  std::vector<TSwitch> fSwitches;
  std::vector<TSwitch> fPending;
  std::vector<std::string> fLog;
  std::vector<bool> fStateChanges;
  std::vector<TWebEmailSettings> fTestEmails;
  std::mutex fControllerMutex;
};
