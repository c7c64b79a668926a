#pragma once
// The application controller: owns the slots, the timers that drive them (rotation, silence alarms, titles),
// the log, the alarm senders and the web server. The desktop window is a view over it; the headless service is
// the same controller without a window. Everything that decides something runs on the controller's thread.

#include "app/GlobalSettings.h"
#include "app/LogQueue.h"
#include "web/WebController.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TSlotInfo;
class TEmailAlarmSender;
class THTTPAlarmSender;
class TWebServer;

class TLoggerMain : public QObject, public IWebController
{
  Q_OBJECT
public:
  // Reads the global settings; builds nothing yet. The root folder and configuration file must be ready.
  explicit TLoggerMain(QObject* iParent = nullptr);
  // Frees the alarm worker, then every slot in order (each finishes its file and writes its section), then
  // the log.
  ~TLoggerMain() override;

  // Creates, initialises and attaches every slot, starts the alarm worker and the timers.
  void Start();
  // The close steps: writes the global settings and stops the web server.
  void Close();

  // Writes the global keys from the settings model and brings the file to disk.
  void FlushGlobalConfig();
  TGlobalSettings& Settings() { return fSettings; }

  // Slot switch from any thread: queued into the controller's thread; numbers outside the table are ignored.
  void PostSlotStart(int iSlot) override;
  void PostSlotStop(int iSlot) override;

  // The one log path, callable from any thread.
  void AddLogMessage(const std::string& iMessage) override;
  TLogQueue& Log() { return fLog; }

  int SlotCount() const override { return static_cast<int>(fSlotInfo.size()); }
  TSlotInfo& Slot(int iIndex) const override { return *fSlotInfo.at(static_cast<size_t>(iIndex)); }
  TWebServerSettings WebServerSettings() const override;
  void WebServerStateChanged(bool iActive) override;
  void PostToControllerThread(std::function<void()> iWork) override;
  TWebProgramSettings ProgramSettings() const override;
  // The one way the slot dialog and the web change a slot's settings (ApplySlotSettings of SlotSettingsCheck.h).
  TSlotSettingsOutcome ApplySlotSettings(int iSlot, const TSlotSettings& iSettings,
                                         const TSettingsEditor& iEditor) override;
  void ChangeProgramSettings(const TWebProgramSettings& iSettings) override;
  std::string SendTestEmail(const TWebEmailSettings& iSettings) override;

  // Starts the web server as the "Start Server" button does; false and the reason in oError on failure.
  bool StartWebServer(std::string& oError);
  void StopWebServer();
  TWebServer* WebServer() { return fWebServer.get(); }

signals:
  // A second start on the same root folder asked to come to the front.
  void RestoreRequested();

private:
  void HandleSlotStart(unsigned iSlot);
  void HandleSlotStop(unsigned iSlot);
  void SwitchSlot(unsigned iSlot, bool iEnabled);
  void timTimerTimer();
  // Starts slot iSlot's next file when its time slot has ended.
  void RotateIfDue(size_t iSlot);
  void ScheduleBoundaryTick();
  void timSilenceDetectionTimer();
  void timStreamTitleTimer();
  void SendAlarmEmail(const std::string& iText);
  // Runs iWrites (which must not throw) with the configuration file's writes held back, then writes the file
  // once; its errors are logged.
  void WriteConfigOnce(const std::function<void()>& iWrites);

  TGlobalSettings fSettings;
  TLogQueue fLog;
  int fFullSlotCount = 0;
  int fAlarmSlotCount = 0;
  std::vector<std::unique_ptr<TSlotInfo>> fSlotInfo;
  // Per slot: the first rotation check after start has run (a slot that is not aligned starts its first
  // file at once).
  std::vector<bool> fFirstRotationDone;
  std::unique_ptr<THTTPAlarmSender> fHTTPAlarmSender;
  // Alarm e-mails go out from a worker, so that a mail server's time-outs never delay the rotation.
  std::unique_ptr<TEmailAlarmSender> fEmailAlarmSender;
  std::unique_ptr<TWebServer> fWebServer;
  // Set by Close: the web server's stop then leaves the stored "Enabled" as it was written before.
  bool fClosing = false;
  // When Close ran: the slots' workers get a share of the program's end bound from then on.
  std::optional<std::chrono::steady_clock::time_point> fCloseTime;
  QTimer timTimer;
  QTimer timSilenceDetection;
  QTimer timStreamTitle;
};
