// Bodies of POST /ws/config/program. Every member taken is a known "Section.Key" with a text without control
// characters (a word of its list where it has one); what is applied reads back as given, the settings written out
// again are read back without a message and give the same settings, and the stored e-mail password goes only
// with its server and port. Web passwords are stored as hashes, never as they came.
#include "FuzzChecks.h"
#include "web/ProgramSettingsJSON.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
TWebProgramSettings Stored()
{
  TWebProgramSettings settings;
  settings.Email.SMTPServer = "smtp.example";
  settings.Email.Password = "stored";
  settings.WebServer.Access.AdminPasswordHash = "admin-hash";
  settings.WebServer.Access.ReadOnlyPasswordHash = "read-only-hash";
  return settings;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* iData, size_t iSize)
{
  std::vector<TSettingsMessage> messages;
  const TProgramSettingsChange change =
      ParseProgramSettings(std::string(reinterpret_cast<const char*>(iData), iSize), messages);
  bool newPassword = false;
  for (const std::string& key : change.Keys())
  {
    Check(key.rfind("Webserver.", 0) == 0 || key.rfind("EMail.", 0) == 0);
    newPassword = newPassword || key == "EMail.Password";
  }
  for (const TSettingsMessage& message : messages)
    Check(!message.Message.empty());

  TWebProgramSettings settings = Stored();
  change.ApplyTo(settings);
  TWebEmailSettings& email = settings.Email;
  for (const std::string* text :
       {&email.SMTPServer, &email.SMTPPort, &email.User, &email.Password, &email.FromAddress, &email.Receipients,
        &settings.WebServer.Port, &settings.WebServer.Access.AdminUser, &settings.WebServer.Access.ReadOnlyUser})
    Check(!HasControlBytes(*text));
  Check(email.Encryption == "none" || email.Encryption == "STARTTLS" || email.Encryption == "SSL");
  Check(email.VerifyCertificate == "on" || email.VerifyCertificate == "off");
  for (const std::string* hash :
       {&settings.WebServer.Access.AdminPasswordHash, &settings.WebServer.Access.ReadOnlyPasswordHash})
    Check(hash->rfind("pbkdf2-sha256$", 0) == 0 || *hash == "admin-hash" || *hash == "read-only-hash");
  const bool sameServer = email.SMTPServer == "smtp.example" && email.SMTPPort == Stored().Email.SMTPPort;
  Check(newPassword || (sameServer ? email.Password == "stored" : email.Password.empty()));

  const std::string written = ProgramSettingsToJSON(settings);
  std::vector<TSettingsMessage> againMessages;
  const TProgramSettingsChange again = ParseProgramSettings(written, againMessages);
  Check(againMessages.empty());
  TWebProgramSettings copy;
  again.ApplyTo(copy);
  Check(ProgramSettingsToJSON(copy) == written);
  return 0;
}
