#include "app/GlobalSettings.h"

#include "lib/Errors.h"

#include <array>

namespace
{
const std::string General = "General";
const std::string Webserver = "Webserver";
const std::string EMail = "EMail";
const std::string HTTPAlarms = "HTTPAlarms";
const std::string Window = "MainWindowPosition";

constexpr std::array<const char*, 3> AccessWords{"none", "Admin", "ReadOnly"};
constexpr std::array<const char*, 3> EncryptionWords{"none", "STARTTLS", "SSL"};

// The index of iText among iWords, compared with case; 0 (none) for anything else.
template <size_t N> int ChoiceOf(const std::array<const char*, N>& iWords, const std::string& iText)
{
  for (size_t i = 1; i < N; ++i)
    if (iText == iWords[i])
      return static_cast<int>(i);
  return 0;
}

std::optional<int> OptionalInteger(TIniFile& iIniFile, const char* iKey)
{
  if (!iIniFile.ValueExists(Window, iKey))
    return std::nullopt;
  // A value that is no number keeps the window's current bound, as a missing one does.
  constexpr int32_t noNumber = INT32_MIN;
  const int32_t value = iIniFile.ReadInteger(Window, iKey, noNumber);
  return value == noNumber ? std::nullopt : std::optional<int>(value);
}
} // namespace

TGlobalSettings ReadGlobalSettings(TIniFile& iIniFile)
{
  TGlobalSettings result;
  result.ColumnCount = iIniFile.ReadInteger(General, "ColumnCount", 1);
  result.VerticalAutoSize = iIniFile.ReadBool(General, "VerticalAutoSize", false);
  result.CloseConfirmation = iIniFile.ReadString(General, "CloseConfirmation", "on") != "off";

  result.WebServerEnabled = iIniFile.ReadString(Webserver, "Enabled", "off") == "on";
  result.Port = iIniFile.ReadString(Webserver, "Port", "5252");
  result.AdminUser = iIniFile.ReadString(Webserver, "AdminUser", "");
  result.AdminPasswordHash = iIniFile.ReadString(Webserver, "AdminPassword", "");
  result.ReadOnlyUser = iIniFile.ReadString(Webserver, "ReadOnlyUser", "");
  result.ReadOnlyPasswordHash = iIniFile.ReadString(Webserver, "ReadOnlyPassword", "");
  result.AllowProgramSettings = iIniFile.ReadString(Webserver, "AllowProgramSettings", "off") == "on";
  result.AnonymousAccess =
      static_cast<TAnonymousAccess>(ChoiceOf(AccessWords, iIniFile.ReadString(Webserver, "AnonymousAccess", "")));
  result.CertificateFile = iIniFile.ReadString(Webserver, "CertificateFile", "");
  result.KeyFile = iIniFile.ReadString(Webserver, "KeyFile", "");

  result.SMTPServer = iIniFile.ReadString(EMail, "SMTPServer", "");
  result.SMTPPort = iIniFile.ReadString(EMail, "SMTPPort", "25");
  result.Encryption =
      static_cast<TEmailEncryption>(ChoiceOf(EncryptionWords, iIniFile.ReadString(EMail, "Encryption", "")));
  result.User = iIniFile.ReadString(EMail, "User", "");
  result.Password = iIniFile.ReadString(EMail, "Password", "");
  result.FromAddress = iIniFile.ReadString(EMail, "FromAddress", "");
  result.Receipients = iIniFile.ReadString(EMail, "Receipients", "");
  result.VerifyCertificate = iIniFile.ReadString(EMail, "VerifyCertificate", "on") != "off";

  result.HTTPAlarmVerifyCertificate = iIniFile.ReadString(HTTPAlarms, "VerifyCertificate", "on") != "off";

  if (iIniFile.SectionExists(Window))
  {
    TWindowPlacement placement;
    placement.Left = OptionalInteger(iIniFile, "Left");
    placement.Top = OptionalInteger(iIniFile, "Top");
    placement.Width = OptionalInteger(iIniFile, "Width");
    placement.Height = OptionalInteger(iIniFile, "Height");
    placement.Maximized = iIniFile.ReadBool(Window, "Maximized", false);
    result.WindowPlacement = placement;
  }
  return result;
}

void WriteGlobalSettings(TIniFile& iIniFile, const TGlobalSettings& iSettings,
                         const std::function<void(TIniFile&)>& iWriteDeviceSections)
{
  iIniFile.WriteInteger(General, "ColumnCount", iSettings.ColumnCount);
  iIniFile.WriteBool(General, "VerticalAutoSize", iSettings.VerticalAutoSize);

  iIniFile.WriteString(Webserver, "Enabled", iSettings.WebServerEnabled ? "on" : "off");
  iIniFile.WriteString(Webserver, "Port", iSettings.Port);
  iIniFile.WriteString(Webserver, "AdminUser", iSettings.AdminUser);
  iIniFile.WriteString(Webserver, "ReadOnlyUser", iSettings.ReadOnlyUser);
  iIniFile.WriteString(Webserver, "AdminPassword", iSettings.AdminPasswordHash);
  iIniFile.WriteString(Webserver, "ReadOnlyPassword", iSettings.ReadOnlyPasswordHash);
  iIniFile.WriteString(Webserver, "AnonymousAccess", AccessWords.at(iSettings.AnonymousAccess));

  iIniFile.WriteString(EMail, "SMTPServer", iSettings.SMTPServer);
  iIniFile.WriteString(EMail, "SMTPPort", iSettings.SMTPPort);
  iIniFile.WriteString(EMail, "User", iSettings.User);
  iIniFile.WriteString(EMail, "Password", iSettings.Password);
  iIniFile.WriteString(EMail, "FromAddress", iSettings.FromAddress);
  iIniFile.WriteString(EMail, "Receipients", iSettings.Receipients);
  iIniFile.WriteString(EMail, "Encryption", EncryptionWords.at(iSettings.Encryption));
  iIniFile.WriteString(EMail, "VerifyCertificate", iSettings.VerifyCertificate ? "on" : "off");

  if (iWriteDeviceSections)
    iWriteDeviceSections(iIniFile);

  if (iSettings.WindowPlacement)
  {
    const TWindowPlacement& placement = *iSettings.WindowPlacement;
    const std::pair<const char*, std::optional<int>> bounds[] = {
        {"Left", placement.Left}, {"Top", placement.Top}, {"Width", placement.Width}, {"Height", placement.Height}};
    for (const auto& [key, value] : bounds)
      if (value)
        iIniFile.WriteInteger(Window, key, *value);
    iIniFile.WriteBool(Window, "Maximized", placement.Maximized);
  }
  iIniFile.UpdateFile();
}

TSlotCounts ReadSlotCounts(TIniFile& iIniFile)
{
  TSlotCounts result;
  const int full = iIniFile.ReadInteger(General, "SlotCount", DefaultSlotCount);
  const int alarmOnly = iIniFile.ReadInteger(General, "AlarmSlotCount", DefaultAlarmSlotCount);
  const int64_t total = static_cast<int64_t>(full) + alarmOnly;
  if (full < 0 || alarmOnly < 0 || total < 1 || total > MaxSlotCount)
  {
    result.Warning = Format("Invalid slot counts (SlotCount %d, AlarmSlotCount %d): using %d slots and %d "
                            "alarm-only slots",
                            full, alarmOnly, DefaultSlotCount, DefaultAlarmSlotCount);
    return result;
  }
  result.Full = full;
  result.AlarmOnly = alarmOnly;
  return result;
}

TEmailSettings EmailAccount(const TGlobalSettings& iSettings)
{
  TEmailSettings email;
  email.Server = iSettings.SMTPServer;
  email.Port = iSettings.SMTPPort;
  email.Encryption = iSettings.Encryption;
  email.User = iSettings.User;
  email.Password = iSettings.Password;
  email.From = iSettings.FromAddress;
  email.Recipients = iSettings.Receipients;
  email.Certificate.Verify = iSettings.VerifyCertificate;
  return email;
}
