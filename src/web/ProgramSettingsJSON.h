#pragma once
// The program's settings in JSON, as the sections "Webserver" and "EMail" of the configuration file hold them:
// {"Webserver": {"Port", "AdminUser", "ReadOnlyUser", "AnonymousAccess"}, "EMail": {"SMTPServer", "SMTPPort",
// "Encryption", "User", "FromAddress", "Receipients"}}. The passwords ("AdminPassword", "ReadOnlyPassword",
// "EMail" "Password") are accepted but never written out; the web passwords are stored as their hashes.

#include "web/SlotSettingsJSON.h"
#include "web/WebController.h"

#include <string>
#include <vector>

std::string ProgramSettingsToJSON(const TWebProgramSettings& iSettings);

// The members of a request body, checked; messages name their key as "Section.Key".
struct TProgramSettingsChange
{
  struct TMember
  {
    std::string Key;
    std::function<void(TWebProgramSettings&)> Apply;
  };
  std::vector<TMember> Members;

  // A change of the SMTP server or port without a new password clears the stored one.
  void ApplyTo(TWebProgramSettings& ioSettings) const;
  // "Section.Key" of every member, in the order received.
  std::vector<std::string> Keys() const;
};

TProgramSettingsChange ParseProgramSettings(const std::string& iBody, std::vector<TSettingsMessage>& oMessages);
