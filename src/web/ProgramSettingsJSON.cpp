#include "web/ProgramSettingsJSON.h"

#include "lib/PersistentStorage.h"
#include "web/WebText.h"

#include <nlohmann/json.hpp>
#include <optional>

namespace
{
using TJson = nlohmann::json;

// One key: where its text lives (nothing for the anonymous level, which travels as its word), the words it may hold
// (none: any text), whether it is written out and whether it is a web password (stored as its hash).
struct TKey
{
  const char* Section;
  const char* Name;
  std::string& (*Field)(TWebProgramSettings&);
  std::vector<std::string> Words;
  bool WriteOnly = false;
  bool Hashed = false;
};

const std::vector<std::string> AccessWords{"none", "Admin", "ReadOnly"};

const std::vector<TKey>& Keys()
{
  static const std::vector<TKey> keys{
      {"Webserver", "Port", [](TWebProgramSettings& s) -> std::string& { return s.WebServer.Port; }, {}},
      {"Webserver",
       "AdminUser",
       [](TWebProgramSettings& s) -> std::string& { return s.WebServer.Access.AdminUser; },
       {}},
      {"Webserver",
       "AdminPassword",
       [](TWebProgramSettings& s) -> std::string& { return s.WebServer.Access.AdminPasswordHash; },
       {},
       true,
       true},
      {"Webserver",
       "ReadOnlyUser",
       [](TWebProgramSettings& s) -> std::string& { return s.WebServer.Access.ReadOnlyUser; },
       {}},
      {"Webserver",
       "ReadOnlyPassword",
       [](TWebProgramSettings& s) -> std::string& { return s.WebServer.Access.ReadOnlyPasswordHash; },
       {},
       true,
       true},
      {"Webserver", "AnonymousAccess", nullptr, AccessWords},
      {"EMail", "SMTPServer", [](TWebProgramSettings& s) -> std::string& { return s.Email.SMTPServer; }, {}},
      {"EMail", "SMTPPort", [](TWebProgramSettings& s) -> std::string& { return s.Email.SMTPPort; }, {}},
      {"EMail",
       "Encryption",
       [](TWebProgramSettings& s) -> std::string& { return s.Email.Encryption; },
       {"none", "STARTTLS", "SSL"}},
      {"EMail", "User", [](TWebProgramSettings& s) -> std::string& { return s.Email.User; }, {}},
      {"EMail", "Password", [](TWebProgramSettings& s) -> std::string& { return s.Email.Password; }, {}, true},
      {"EMail", "FromAddress", [](TWebProgramSettings& s) -> std::string& { return s.Email.FromAddress; }, {}},
      {"EMail", "Receipients", [](TWebProgramSettings& s) -> std::string& { return s.Email.Receipients; }, {}},
      {"EMail",
       "VerifyCertificate",
       [](TWebProgramSettings& s) -> std::string& { return s.Email.VerifyCertificate; },
       {"on", "off"}},
  };
  return keys;
}

const TKey* FindKey(const std::string& iSection, const std::string& iName)
{
  for (const TKey& key : Keys())
    if (key.Section == iSection && key.Name == iName)
      return &key;
  return nullptr;
}

std::optional<std::string> CheckValue(const TKey& iKey, const TJson& iValue)
{
  if (!iValue.is_string())
    return "Must be a text.";
  if (HasControlCharacters(iValue.get<std::string>()))
    return ControlCharactersMessage;
  if (iKey.Words.empty())
    return std::nullopt;
  std::string words;
  for (const std::string& word : iKey.Words)
  {
    if (iValue.get<std::string>() == word)
      return std::nullopt;
    words += (words.empty() ? "" : ", ") + word;
  }
  return "Must be one of " + words + ".";
}

std::function<void(TWebProgramSettings&)> Applier(const TKey& iKey, const std::string& iText)
{
  if (iKey.Hashed)
    return [&iKey, hash = PasswordHash(iText)](TWebProgramSettings& ioSettings) { iKey.Field(ioSettings) = hash; };
  if (!iKey.Field)
    return [iText](TWebProgramSettings& ioSettings)
    {
      for (size_t i = 0; i < AccessWords.size(); ++i)
        if (AccessWords[i] == iText)
          ioSettings.WebServer.Access.AnonymousAccess = static_cast<TAccessLevel>(i);
    };
  return [&iKey, iText](TWebProgramSettings& ioSettings) { iKey.Field(ioSettings) = iText; };
}
} // namespace

std::string ProgramSettingsToJSON(const TWebProgramSettings& iSettings)
{
  TWebProgramSettings settings = iSettings;
  auto root = std::make_shared<TPersistentObject>();
  std::shared_ptr<TPersistentObject> section;
  std::string sectionName;
  for (const TKey& key : Keys())
  {
    if (key.Section != sectionName)
    {
      sectionName = key.Section;
      section = std::make_shared<TPersistentObject>();
      root->SetObject(sectionName, section);
    }
    if (!key.WriteOnly)
      section->SetString(key.Name,
                         key.Field ? key.Field(settings)
                                   : AccessWords.at(static_cast<size_t>(settings.WebServer.Access.AnonymousAccess)));
  }
  return root->AsJSon(true, true);
}

void TProgramSettingsChange::ApplyTo(TWebProgramSettings& ioSettings) const
{
  const TWebEmailSettings old = ioSettings.Email;
  bool newPassword = false;
  for (const TMember& member : Members)
  {
    member.Apply(ioSettings);
    newPassword = newPassword || member.Key == "EMail.Password";
  }
  // Otherwise pointing the account at a server of one's own and sending the test e-mail would reveal it.
  if ((ioSettings.Email.SMTPServer != old.SMTPServer || ioSettings.Email.SMTPPort != old.SMTPPort) && !newPassword)
    ioSettings.Email.Password.clear();
}

std::vector<std::string> TProgramSettingsChange::Keys() const
{
  std::vector<std::string> keys;
  for (const TMember& member : Members)
    keys.push_back(member.Key);
  return keys;
}

TProgramSettingsChange ParseProgramSettings(const std::string& iBody, std::vector<TSettingsMessage>& oMessages)
{
  TProgramSettingsChange change;
  const TJson body = TJson::parse(iBody, nullptr, false);
  if (!body.is_object())
  {
    oMessages.push_back({"", "The body must be a JSON object of settings."});
    return change;
  }
  for (const auto& [sectionName, section] : body.items())
  {
    if (sectionName != "Webserver" && sectionName != "EMail")
    {
      oMessages.push_back({sectionName, "Unknown section."});
      continue;
    }
    if (!section.is_object())
    {
      oMessages.push_back({sectionName, "Must be an object of settings."});
      continue;
    }
    for (const auto& [name, value] : section.items())
    {
      const std::string fullName = sectionName + "." + name;
      const TKey* key = FindKey(sectionName, name);
      if (!key)
        oMessages.push_back({fullName, "Unknown setting."});
      else if (std::optional<std::string> message = CheckValue(*key, value))
        oMessages.push_back({fullName, *message});
      else
        change.Members.push_back({fullName, Applier(*key, value.get<std::string>())});
    }
  }
  return change;
}
