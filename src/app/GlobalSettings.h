#pragma once
// The program-wide settings of the configuration file ("General", "Webserver", "EMail", "HTTPAlarms",
// "MainWindowPosition") as plain values, so that the window and the headless service edit the same model.

#include "lib/IniFile.h"
#include "notify/EmailSettings.h"

#include <functional>
#include <optional>
#include <string>

// Access without credentials; written "none", "Admin", "ReadOnly".
enum TAnonymousAccess
{
  aaNone = 0,
  aaAdmin = 1,
  aaReadOnly = 2
};

// The window's bounds; each is applied only when stored, the rest keep the window's current values.
struct TWindowPlacement
{
  std::optional<int> Left, Top, Width, Height;
  bool Maximized = false;
};

struct TGlobalSettings
{
  // "General"
  int ColumnCount = 1;
  bool VerticalAutoSize = false;
  bool CloseConfirmation = true; // read only: false exactly for "off"

  // "Webserver"
  bool WebServerEnabled = false; // read: exactly "on"; written from the server's state
  std::string Port = "5252";
  std::string AdminUser;
  std::string AdminPasswordHash;
  std::string ReadOnlyUser;
  std::string ReadOnlyPasswordHash;
  TAnonymousAccess AnonymousAccess = aaNone;
  bool AllowProgramSettings = false; // read only, set by hand: exactly "on" lets the web change code settings
  // PEM files of HTTPS, set by hand (read, never written); both empty: plain HTTP.
  std::string CertificateFile;
  std::string KeyFile;

  // "EMail"
  std::string SMTPServer;
  std::string SMTPPort = "25";
  TEmailEncryption Encryption = eeNone; // written "none", "STARTTLS", "SSL"
  std::string User;
  std::string Password;
  std::string FromAddress;
  std::string Receipients;
  bool VerifyCertificate = true; // read: false exactly for "off"; written "on", "off"

  // "HTTPAlarms" (read only): whether https alarm calls check the server's certificate; false exactly for "off"
  bool HTTPAlarmVerifyCertificate = true;

  // "MainWindowPosition": empty when the section does not exist
  std::optional<TWindowPlacement> WindowPlacement;
};

TGlobalSettings ReadGlobalSettings(TIniFile& iIniFile);
// The mail account of the settings, as the e-mail senders take it.
TEmailSettings EmailAccount(const TGlobalSettings& iSettings);

// Writes the keys the program owns in their order, calls iWriteDeviceSections (the capture devices' sections)
// between the e-mail keys and the window placement, then brings the file to disk.
void WriteGlobalSettings(TIniFile& iIniFile, const TGlobalSettings& iSettings,
                         const std::function<void(TIniFile&)>& iWriteDeviceSections);

// The number of slots: "SlotCount" full slots followed by "AlarmSlotCount" alarm-only slots ("General"; read,
// never written). Negative counts, no slot at all or more than MaxSlotCount slots fall back to the defaults and
// leave a line for the log in Warning.
constexpr int DefaultSlotCount = 4;
constexpr int DefaultAlarmSlotCount = 0;
constexpr int MaxSlotCount = 1000;
struct TSlotCounts
{
  int Full = DefaultSlotCount;
  int AlarmOnly = DefaultAlarmSlotCount;
  std::string Warning;
};
TSlotCounts ReadSlotCounts(TIniFile& iIniFile);
