#include "audio/engine/LadspaPlugin.h"
#include "slots/SlotPlugin.h"
#include "support/SlotSettingsEdit.h"
#include "support/WebClient.h"
#include "support/WebServerFixture.h"
#include "web/ControllerCall.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace fs = std::filesystem;
using TJson = nlohmann::json;

namespace
{
const TWebUser& Admin = WebAdmin;
const TWebUser& Viewer = WebViewer;
const std::string JSONType = "Content-Type: application/json";

std::string ReadFile(const fs::path& iPath)
{
  std::ifstream stream(iPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}
} // namespace

class ConfigApiTest : public TWebServerFixture
{
protected:
  ConfigApiTest() : TWebServerFixture(alNone)
  {
    fController.AddSlot("Studio");
    fController.AddSlot("Alarm");
  }

  TWebReply Get(const std::string& iPath, std::optional<std::pair<std::string, std::string>> iUser = Admin)
  {
    return WebFetch(Port(), {.Path = iPath, .Credentials = iUser});
  }

  TWebReply Post(const std::string& iPath, const std::string& iBody, std::vector<std::string> iHeaders = {JSONType},
                 std::optional<std::pair<std::string, std::string>> iUser = Admin)
  {
    return WebFetch(Port(),
                    {.Method = "POST", .Path = iPath, .Headers = iHeaders, .Body = iBody, .Credentials = iUser});
  }

  TJson SlotSettings(int iSlot = 0)
  {
    const TWebReply reply = Get("/ws/config/slots/" + std::to_string(iSlot));
    EXPECT_EQ(reply.Status, 200) << reply.Body;
    return TJson::parse(reply.Body);
  }

  std::string IniText() { return ReadFile(fController.Root() / "Tapevault.ini"); }
};

TEST_F(ConfigApiTest, ReadsSlotSettingsWithTheWordsOfTheConfigurationFile)
{
  EditSlotSettings(fController.Slot(0),
                   [&](TSlotSettings& ioSettings) { ioSettings.OutputStream.Password = "cast-secret"; });
  const TWebReply reply = Get("/ws/config/slots/0");
  ASSERT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Header("Content-Type"), "application/json");
  const TJson settings = TJson::parse(reply.Body);
  EXPECT_EQ(settings["Name"], "Studio");
  EXPECT_EQ(settings["Source"], "None");
  EXPECT_EQ(settings["Channels"], "stereo");
  EXPECT_EQ(settings["Format"], "mp3");
  EXPECT_EQ(settings["Mode"], "stereo");
  EXPECT_EQ(settings["Bitrate"], 128);
  EXPECT_EQ(settings["16bit"], "off");
  EXPECT_EQ(settings["CleanupDaysEnabled"], "on");
  EXPECT_EQ(settings["SilenceThreshold"], -30);
  EXPECT_EQ(settings["Folder"], (fController.Root() / "slot0").string());
  EXPECT_FALSE(settings.contains("StreamingPassword"));
  EXPECT_EQ(reply.Body.find("cast-secret"), std::string::npos);
  // Only what the dialog edits.
  EXPECT_FALSE(settings.contains("Enabled"));
  EXPECT_FALSE(settings.contains("ClockSource"));

  EXPECT_EQ(Get("/ws/config/slots/2").Status, 404);
  const TJson slots = TJson::parse(Get("/ws/config/slots").Body);
  ASSERT_EQ(slots.size(), 2u);
  EXPECT_EQ(slots[1]["Name"], "Alarm");
  EXPECT_EQ(slots[1]["ID"], 1);
  EXPECT_EQ(slots[1]["AlarmOnly"], false);
  EXPECT_TRUE(TJson::parse(Get("/ws/config/devices").Body).is_array());
}

TEST_F(ConfigApiTest, ChangesEachGroupStoresItAndLogsTheKeys)
{
  const std::string folder = (fController.Root() / "elsewhere").string();
  const struct
  {
    const char* Group;
    TJson Change;
    std::vector<std::string> IniLines;
  } cases[] = {
      {"input",
       {{"Source", "Stream"}, {"StreamURL", "http://127.0.0.1:9/live"}, {"Channels", "left"}, {"NominalLevel", -12}},
       {"Source=Stream", "StreamURL=http://127.0.0.1:9/live", "Channels=left", "NominalLevel=-12"}},
      {"output",
       {{"Format", "wav16"}, {"Folder", folder}, {"TimeSlotLength", 30}, {"FlatFilenames", "on"}},
       {"Format=wav16", "Folder=" + folder, "TimeSlotLength=30", "FlatFilenames=on"}},
      {"cleanup", {{"CleanupDays", 30}, {"CleanupSpaceEnabled", "off"}}, {"CleanupDays=30", "CleanupSpaceEnabled=off"}},
      {"silence",
       {{"SilenceThreshold", -40}, {"SilenceDetection", 10}, {"HTTPAlarmSilenceOK", "http://127.0.0.1:9/ok"}},
       {"SilenceThreshold=-40", "SilenceDetection=10", "HTTPAlarmSilenceOK=http://127.0.0.1:9/ok"}},
      {"streaming",
       {{"StreamingHost", "cast.example"}, {"StreamingPort", 8001}, {"StreamingPassword", "cast-secret"}},
       {"StreamingHost=cast.example", "StreamingPort=8001", "StreamingPassword=cast-secret"}},
      {"cue sheet", {{"CueSheet", "on"}}, {"CueSheet=on"}},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Group);
    const TWebReply reply = Post("/ws/config/slots/1", c.Change.dump());
    ASSERT_EQ(reply.Status, 200) << reply.Body;
    const TJson answer = TJson::parse(reply.Body);
    std::vector<std::string> keys;
    for (const auto& [key, value] : c.Change.items())
      keys.push_back(key);
    std::vector<std::string> changed = answer["Changed"];
    std::sort(changed.begin(), changed.end());
    EXPECT_EQ(changed, keys);
    const TJson settings = SlotSettings(1);
    for (const auto& [key, value] : c.Change.items())
    {
      if (key != "StreamingPassword")
      {
        EXPECT_EQ(settings[key], value) << key;
      }
    }
    const std::string ini = IniText();
    const std::string section = ini.substr(ini.find("[Slot1]"));
    for (const std::string& line : c.IniLines)
      EXPECT_NE(section.find("\n" + line + "\n"), std::string::npos) << line;
    const std::vector<std::string> log = fController.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(log.back().starts_with("Slot 2 settings changed from the web by admin: ")) << log.back();
  }
  EXPECT_EQ(fController.Slot(1).Settings().Input.Channels, rcLeft);
  EXPECT_EQ(fController.Slot(1).Settings().Output.Format, sfWAV16);
  EXPECT_EQ(fController.Slot(1).Settings().OutputStream.Password, "cast-secret");
  EXPECT_EQ(fController.Slot(0).Settings().Name, "Studio");

  // Sending the values the slot already has changes nothing and logs nothing.
  const size_t lines = fController.Log().size();
  const TWebReply same = Post("/ws/config/slots/1", R"({"CueSheet": "on"})");
  ASSERT_EQ(same.Status, 200);
  EXPECT_TRUE(TJson::parse(same.Body)["Changed"].empty());
  EXPECT_EQ(fController.Log().size(), lines);
}

TEST_F(ConfigApiTest, RefusedChangeNamesTheFieldsAndChangesNothing)
{
  ASSERT_EQ(Post("/ws/config/slots/0", R"({"Name": "Studio"})").Status, 200);
  const std::string iniBefore = IniText();
  const TJson settingsBefore = SlotSettings();
  const struct
  {
    std::string Body;
    std::string Key;
    std::string Message;
  } cases[] = {
      {R"({"Name": "New", "Folder": ""})", "Folder", "Output folder must not be empty."},
      {R"({"Format": "MP3"})", "Format", "Must be one of mp3, mp2, ogg, wav16, wav32, customwav, customraw, none."},
      {R"({"Source": "Soundcard", "RecordDelay": 5000})", "RecordDelay", "Must be between 0 and 3600."},
      {R"({"CleanupDays": 0})", "CleanupDays", "Must be between 1 and 32767."},
      {R"({"SilenceThreshold": "-40"})", "SilenceThreshold", "Must be a whole number."},
      {R"({"StreamingPort": 70000})", "StreamingPort", "Must be between 0 and 65535."},
      {R"({"CueSheet": true})", "CueSheet", "Must be \"on\" or \"off\"."},
      {R"({"Source": "Stream", "StreamURL": "file:///etc/passwd"})", "StreamURL",
       "The stream URL must start with http:// or https://."},
      {R"({"Enabled": "off"})", "Enabled", "Unknown setting."},
      {R"({"Name": "Studio\nB"})", "Name", "Must not contain line breaks or control characters."},
      {R"({"Name": "Stu\u0000dio"})", "Name", "Must not contain line breaks or control characters."},
      {R"({"StreamingTitle": "\u001b[2JNews"})", "StreamingTitle",
       "Must not contain line breaks or control characters."},
      {R"(["Name"])", "", "The body must be a JSON object of settings."},
      {R"({"Name": )", "", "The body must be a JSON object of settings."},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Body);
    const TWebReply reply = Post("/ws/config/slots/0", c.Body);
    ASSERT_EQ(reply.Status, 400);
    const TJson errors = TJson::parse(reply.Body)["Errors"];
    ASSERT_EQ(errors.size(), 1u) << reply.Body;
    EXPECT_EQ(errors[0]["Key"], c.Key);
    EXPECT_EQ(errors[0]["Message"], c.Message);
    EXPECT_EQ(IniText(), iniBefore);
    EXPECT_EQ(SlotSettings(), settingsBefore);
  }
  EXPECT_EQ(fController.Slot(0).Settings().Name, "Studio");
  EXPECT_EQ(fController.Slot(0).Settings().Input.Source, rsDisabled);
}

TEST_F(ConfigApiTest, OnlyAdministratorsReadAndChange)
{
  EXPECT_EQ(Get("/ws/config/slots/0", std::nullopt).Status, 401);
  EXPECT_EQ(Post("/ws/config/slots/0", R"({"Name": "x"})", {JSONType}, std::nullopt).Status, 401);
  for (const std::string path : {"/ws/config/slots/0", "/ws/config/slots", "/ws/config/devices", "/ws/config/program"})
    EXPECT_EQ(Get(path, Viewer).Status, 403) << path;
  EXPECT_EQ(Post("/ws/config/slots/0", R"({"Name": "x"})", {JSONType}, Viewer).Status, 403);
  EXPECT_EQ(Post("/ws/config/testemail", "{}", {JSONType}, Viewer).Status, 403);
  EXPECT_EQ(TJson::parse(Get("/ws/access", Viewer).Body)["Level"], "read-only");
  EXPECT_EQ(TJson::parse(Get("/ws/access").Body)["Level"], "admin");

  // Anonymous read-only access does not reach the configuration either: the browser is asked to log in.
  fServer->Stop();
  fController.Settings.Access.AnonymousAccess = alReadOnly;
  EXPECT_EQ(Get("/ws/config/slots/0", std::nullopt).Status, 401);
  EXPECT_EQ(Post("/ws/config/program", R"({"EMail": {"User": "x"}})", {JSONType}, std::nullopt).Status, 401);
  EXPECT_EQ(fController.Slot(0).Settings().Name, "Studio");
}

TEST_F(ConfigApiTest, ChangesOnlyFromJSONBodiesOfTheServersOwnPages)
{
  const std::string own = "Origin: http://127.0.0.1:" + std::to_string(Port());
  const struct
  {
    std::vector<std::string> Headers;
    long Status;
  } cases[] = {
      {{"Content-Type: application/x-www-form-urlencoded"}, 415},
      {{"Content-Type: text/plain"}, 415},
      {{"Content-Type: multipart/form-data; boundary=x"}, 415},
      {{JSONType, "Origin: http://evil.example"}, 403},
      {{JSONType, "Origin: null"}, 403},
      {{JSONType, "Origin: http://127.0.0.1:1"}, 403},
      {{"Content-Type: application/json; charset=utf-8", own}, 200},
      {{JSONType}, 200},
  };
  int accepted = 0;
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Headers.back());
    const std::string name = "Changed " + std::to_string(accepted);
    EXPECT_EQ(Post("/ws/config/slots/0", TJson{{"Name", name}}.dump(), c.Headers).Status, c.Status);
    if (c.Status == 200)
      ++accepted;
    EXPECT_EQ(fController.Slot(0).Settings().Name, accepted ? "Changed " + std::to_string(accepted - 1) : "Studio");
  }
  // A GET never changes anything, whatever it carries.
  EXPECT_EQ(Get("/ws/config/slots/0?Name=Evil").Status, 200);
  EXPECT_EQ(Get("/ws/config/program?EMail.User=evil").Status, 200);
  EXPECT_EQ(fController.Slot(0).Settings().Name, "Changed 1");
}

TEST_F(ConfigApiTest, ProgramSettingsKeepPasswordsWriteOnly)
{
  fController.Program.Email = {"smtp.example", "587", "STARTTLS", "mailer", "mail-secret", "logger@example", "a@x"};
  // The viewer's password in the older stored form (MD5, "secret"), as files written before keep it.
  fController.Settings.Access.ReadOnlyPasswordHash = "AE0CC17B0772C53EA6F33517AEFA31F4";
  const TAccessSettings access = fController.Settings.Access;
  const std::string before = Get("/ws/config/program").Body;
  const TJson settings = TJson::parse(before);
  EXPECT_EQ(settings["Webserver"]["AdminUser"], "admin");
  EXPECT_EQ(settings["Webserver"]["AnonymousAccess"], "none");
  EXPECT_EQ(settings["EMail"]["Encryption"], "STARTTLS");
  EXPECT_EQ(settings["EMail"]["Receipients"], "a@x");
  EXPECT_EQ(settings["EMail"]["VerifyCertificate"], "on");
  for (const std::string& secret :
       std::vector<std::string>{"mail-secret", access.AdminPasswordHash, access.ReadOnlyPasswordHash})
    EXPECT_EQ(before.find(secret), std::string::npos) << secret;
  EXPECT_FALSE(settings["Webserver"].contains("AdminPassword"));
  EXPECT_FALSE(settings["EMail"].contains("Password"));

  const TWebReply changed =
      Post("/ws/config/program", R"({"Webserver": {"ReadOnlyPassword": "new-viewer", "AnonymousAccess": "ReadOnly"},
                                     "EMail": {"Password": "new-mail", "Encryption": "SSL",
                                               "VerifyCertificate": "off"}})");
  ASSERT_EQ(changed.Status, 200) << changed.Body;
  const std::string stored = fController.Settings.Access.ReadOnlyPasswordHash;
  EXPECT_TRUE(stored.starts_with("pbkdf2-sha256$")) << "a changed password is stored in the new form: " << stored;
  EXPECT_TRUE(PasswordMatches("new-viewer", stored));
  EXPECT_EQ(fController.Settings.Access.AdminPasswordHash, access.AdminPasswordHash);
  EXPECT_EQ(fController.Settings.Access.AnonymousAccess, alReadOnly);
  EXPECT_EQ(fController.Program.Email.Password, "new-mail");
  EXPECT_EQ(fController.Program.Email.Encryption, "SSL");
  EXPECT_EQ(fController.Program.Email.VerifyCertificate, "off");
  const std::string after = Get("/ws/config/program").Body;
  for (const std::string& secret : std::vector<std::string>{"new-mail", "new-viewer", stored})
    EXPECT_EQ(after.find(secret), std::string::npos) << secret;
  EXPECT_EQ(fController.Log().back(),
            "Program settings changed from the web by admin: EMail.Encryption, EMail.Password, "
            "EMail.VerifyCertificate, Webserver.AnonymousAccess, Webserver.ReadOnlyPassword");

  const TWebReply refused =
      Post("/ws/config/program", R"({"Webserver": {"AnonymousAccess": "admin", "AdminUser": "x"}, "Mail": {},
                                     "EMail": {"VerifyCertificate": "no"}})");
  ASSERT_EQ(refused.Status, 400);
  const TJson errors = TJson::parse(refused.Body)["Errors"];
  ASSERT_EQ(errors.size(), 3u) << refused.Body;
  EXPECT_EQ(errors[0]["Key"], "EMail.VerifyCertificate");
  EXPECT_EQ(errors[1]["Key"], "Mail");
  EXPECT_EQ(errors[2]["Key"], "Webserver.AnonymousAccess");
  EXPECT_EQ(fController.Settings.Access.AdminUser, "admin");

  const TWebReply test = Post("/ws/config/testemail", "{}");
  ASSERT_EQ(test.Status, 200) << test.Body;
  EXPECT_EQ(TJson::parse(test.Body)["Message"], "sent");
  ASSERT_EQ(fController.TestEmails().size(), 1u);
  EXPECT_EQ(fController.TestEmails()[0].Password, "new-mail");
  EXPECT_EQ(fController.TestEmails()[0].VerifyCertificate, "off");
}

TEST_F(ConfigApiTest, SettingsThatRunCodeAreLockedUnlessTheConfigurationFileAllowsThem)
{
  const std::string evil = (fController.Root() / "evil.so").string();
  std::ofstream(evil) << "not a library";
  const struct
  {
    std::string Body;
    std::vector<std::string> Locked;
  } cases[] = {
      {R"({"Format": "customraw", "EncoderOptions": "sh -c \"id > /tmp/owned; cat >/dev/null\""})",
       {"Format", "EncoderOptions"}},
      {R"({"Format": "customwav"})", {"Format"}},
      {R"({"Name": "Harmless", "EncoderFilename": "/bin/sh"})", {"EncoderFilename"}},
      {R"({"EncoderOptions": "-b 320"})", {"EncoderOptions"}},
      {R"({"WinampPlugin": ")" + evil + R"(:x"})", {"WinampPlugin"}},
      {R"({"WinampPlugin": "/usr/lib/ladspa/../../../)" + evil.substr(1) + R"(:x"})", {"WinampPlugin"}},
  };
  const std::string iniBefore = IniText();
  const TJson settingsBefore = SlotSettings();
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.Body);
    const TWebReply reply = Post("/ws/config/slots/0", c.Body);
    ASSERT_EQ(reply.Status, 403) << reply.Body;
    const TJson answer = TJson::parse(reply.Body);
    std::vector<std::string> keys;
    for (const TJson& error : answer["Errors"])
      keys.push_back(error["Key"]);
    EXPECT_EQ(keys, c.Locked);
    for (const std::string& key : c.Locked)
      EXPECT_NE(answer["Error"].get<std::string>().find(key), std::string::npos) << answer["Error"];
    EXPECT_EQ(IniText(), iniBefore);
    EXPECT_EQ(SlotSettings(), settingsBefore);
  }
  EXPECT_EQ(fController.Slot(0).Settings().Name, "Studio");
  // The page learns what to show read-only.
  const TJson access = TJson::parse(Get("/ws/access").Body);
  EXPECT_EQ(access["Locked"]["Settings"], (TJson{"EncoderOptions", "EncoderFilename"}));
  EXPECT_EQ(access["Locked"]["Formats"], (TJson{"customwav", "customraw"}));

  // Plug-ins of the LADSPA folders stay open, and take effect at once.
  for (const char* plugin : {"amp.so:amp_mono", "/usr/lib/ladspa/amp.so:amp_mono"})
  {
    const TWebReply reply = Post("/ws/config/slots/0", TJson{{"WinampPlugin", plugin}}.dump());
    ASSERT_EQ(reply.Status, 200) << reply.Body;
    ASSERT_NE(fController.Slot(0).SoundPlugin().Plugin(), nullptr) << plugin;
    EXPECT_EQ(fController.Slot(0).SoundPlugin().Plugin()->Path(), "/usr/lib/ladspa/amp.so");
  }

  // The hand-set switch opens them all.
  fServer->Stop();
  fController.Settings.AllowProgramSettings = true;
  EXPECT_FALSE(TJson::parse(Get("/ws/access").Body).contains("Locked"));
  const TWebReply allowed = Post("/ws/config/slots/0", cases[0].Body);
  ASSERT_EQ(allowed.Status, 200) << allowed.Body;
  EXPECT_EQ(fController.Slot(0).Settings().Output.Format, sfCustomRaw);
  EXPECT_EQ(fController.Slot(0).Settings().Output.EncoderOptions, "sh -c \"id > /tmp/owned; cat >/dev/null\"");
}

TEST_F(ConfigApiTest, StoredPasswordsDoNotFollowTheirServerElsewhere)
{
  fController.Program.Email = {"smtp.example", "587", "STARTTLS", "mailer", "mail-secret", "logger@example", "a@x"};
  ASSERT_EQ(Post("/ws/config/program", R"({"EMail": {"User": "other"}})").Status, 200);
  EXPECT_EQ(fController.Program.Email.Password, "mail-secret");
  for (const char* change : {R"({"EMail": {"SMTPPort": "2525"}})", R"({"EMail": {"SMTPServer": "evil.example"}})"})
  {
    fController.Program.Email.Password = "mail-secret";
    ASSERT_EQ(Post("/ws/config/program", change).Status, 200) << change;
    EXPECT_EQ(fController.Program.Email.Password, "") << change;
  }
  ASSERT_EQ(Post("/ws/config/program", R"({"EMail": {"SMTPServer": "new.example", "Password": "new"}})").Status, 200);
  EXPECT_EQ(fController.Program.Email.Password, "new");

  TSlotInfo& slot = fController.Slot(0);
  ASSERT_EQ(
      Post("/ws/config/slots/0", R"({"StreamingHost": "cast.example", "StreamingPassword": "cast-secret"})").Status,
      200);
  ASSERT_EQ(Post("/ws/config/slots/0", R"({"StreamingPort": 8002, "StreamingMountPoint": "/b"})").Status, 200);
  EXPECT_EQ(slot.Settings().OutputStream.Password, "cast-secret");
  ASSERT_EQ(Post("/ws/config/slots/0", R"({"StreamingHost": "evil.example"})").Status, 200);
  EXPECT_EQ(slot.Settings().OutputStream.Password, "");
}

// A controller whose thread never comes to the posted work.
class TStuckController : public TWebTestController
{
public:
  void PostToControllerThread(std::function<void()> iWork) override { Posted.push_back(std::move(iWork)); }
  std::vector<std::function<void()>> Posted;
};

TEST(ControllerCall, WorkNotTakenUpInTimeIsDroppedAndNeverRuns)
{
  TStuckController controller;
  bool ran = false;
  EXPECT_FALSE(RunOnControllerThread(
      controller, [&] { ran = true; }, std::chrono::milliseconds(50)));
  ASSERT_EQ(controller.Posted.size(), 1u);
  controller.Posted[0]();
  EXPECT_FALSE(ran);
}

TEST_F(ConfigApiTest, TheSchemaServesTheKeyTableToAdministrators)
{
  EXPECT_EQ(Get("/ws/config/schema", std::nullopt).Status, 401);
  EXPECT_EQ(Get("/ws/config/schema", Viewer).Status, 403);
  const TWebReply reply = Get("/ws/config/schema");
  ASSERT_EQ(reply.Status, 200);
  const TJson keys = TJson::parse(reply.Body)["Keys"];

  // Every edited key of the table in its order, the read-only and hand-tuning keys not at all.
  std::vector<std::string> expected;
  for (const TSlotSettingKey& key : SlotSettingKeys())
    if (key.Edited())
      expected.push_back(key.Key);
  std::vector<std::string> served;
  for (const TJson& row : keys)
    served.push_back(row["Key"]);
  EXPECT_EQ(served, expected);

  auto row = [&](const std::string& iKey)
  {
    for (const TJson& candidate : keys)
      if (candidate["Key"] == iKey)
        return candidate;
    return TJson();
  };
  struct TCase
  {
    const char* Key;
    const char* Member;
    TJson Value;
  };
  const TCase cases[] = {
      {"Name", "DefaultFrom", "Slot <number>"},
      {"Name", "Kind", "text"},
      {"StreamingGenre", "Effect", "none"},
      {"Device", "Effect", "restart input"},
      {"Bitrate", "Effect", "new file"},
      {"Bitrate", "Default", 128},
      {"WinampPluginControls", "Effect", "reload plug-in"},
      {"EncoderOptions", "RunsCode", "any change"},
      {"Format", "RunsCode", "custom format"},
      {"WinampPlugin", "RunsCode", "plug-in outside the LADSPA folders"},
      {"Format", "Kind", "word"},
      {"Format", "Default", "mp3"},
      {"Channels", "Choices", {"stereo", "left", "right"}},
      {"StreamingPort", "Min", 0},
      {"StreamingPort", "Max", 65535},
      {"RecordDelay", "Max", 3600},
      {"TimeSlotLength", "DefaultFrom", "General/TimeSlotLength"},
      {"StreamingPassword", "WriteOnly", true},
      {"CueSheet", "Kind", "switch"},
      {"CueSheet", "Default", "off"},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(row(c.Key)[c.Member], c.Value) << c.Key << " " << c.Member;
  EXPECT_EQ(row("Samplerate")["Suggestions"].size(), SamplerateChoices().size());
  EXPECT_FALSE(row("Name").contains("Min"));
}
