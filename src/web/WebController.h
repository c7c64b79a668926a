#pragma once
// What the web server needs from the controller that owns it. The controller implements this; the server
// never changes a slot itself: start and stop requests are queued into the controller's thread.

#include "slots/SlotSettingsCheck.h"
#include "web/WebAccess.h"

#include <functional>
#include <string>

class TSlotInfo;

struct TWebServerSettings
{
  // "port", ":port" or "address:port"
  std::string Port = "5252";
  TAccessSettings Access;
  // Whether the web may change settings that run code (encoder programs and options, custom formats, plug-in
  // libraries outside the LADSPA folders): set by hand in the configuration file only.
  bool AllowProgramSettings = false;
  // PEM files of HTTPS; both empty: plain HTTP.
  std::string CertificateFile;
  std::string KeyFile;
};

// The e-mail account of the alarms (section "EMail"), as the configuration pages edit it.
struct TWebEmailSettings
{
  std::string SMTPServer;
  std::string SMTPPort = "25";
  std::string Encryption = "none"; // "none", "STARTTLS", "SSL"
  std::string User;
  std::string Password;
  std::string FromAddress;
  std::string Receipients;
  std::string VerifyCertificate = "on"; // "on", "off": with encryption, check the server's certificate
};

// The program's settings that the browser's configuration page edits. The web passwords are held as the hashes
// the configuration file stores.
struct TWebProgramSettings
{
  TWebServerSettings WebServer;
  TWebEmailSettings Email;
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

  // Queues iWork into the controller's thread and returns at once; queued pieces run in order. Settings of the
  // slots and of the program are read and changed only there.
  virtual void PostToControllerThread(std::function<void()> iWork) = 0;
  // On the controller's thread: the program's settings, and storing changed ones (written to the configuration
  // file at once; the web server takes its own at its next start).
  virtual TWebProgramSettings ProgramSettings() const = 0;
  // On the controller's thread: applies iSettings to slot iSlot (ApplySlotSettings of SlotSettingsCheck.h).
  virtual TSlotSettingsOutcome ApplySlotSettings(int iSlot, const TSlotSettings& iSettings,
                                                 const TSettingsEditor& iEditor) = 0;
  virtual void ChangeProgramSettings(const TWebProgramSettings& iSettings) = 0;
  // On the calling thread: sends the test e-mail with these settings; throws with the reason when it fails,
  // returns the confirmation for the user.
  virtual std::string SendTestEmail(const TWebEmailSettings& iSettings) = 0;
};
