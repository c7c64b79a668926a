#include "app/GlobalSettings.h"
#include "app/TapevaultGlobals.h"
#include "lib/TapevaultTools.h"
#include "support/SettingsTempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace
{
TEST(RootFolderTest, TheOptionAndItsPath)
{
  const std::string cwd = std::filesystem::current_path().string();
  const std::string base = "/base/Brendle/Tapevault/";
  struct TCase
  {
    std::vector<std::string> Arguments;
    std::string Expected;
  };
  const TCase cases[] = {
      {{}, base},
      {{"-rootfolder", "/srv/tv"}, "/srv/tv/"},
      {{"-rootfolder", "/srv/tv/"}, "/srv/tv/"},
      {{"-rootfolder"}, base},
      {{"-headless", "-rootfolder"}, base},
      {{"-rootfolder", "/a", "-rootfolder", "/b"}, "/b/"},
      {{"-ROOTFOLDER", "/a"}, base},
      {{"-rootfolder", "rel/dir"}, cwd + "/rel/dir/"},
      {{"-rootfolder", "/a/./b/../c"}, "/a/c/"},
      {{"-rootfolder", "-rootfolder", "/x"}, "/x/"},
  };
  for (const TCase& c : cases)
  {
    std::string arguments;
    for (const std::string& a : c.Arguments)
      arguments += a + " ";
    EXPECT_EQ(DetermineRootFolder("/base/Brendle/Tapevault", c.Arguments), c.Expected) << arguments;
  }
}

TEST(RootFolderTest, InitializeCreatesTheFolderAndOpensTheConfiguration)
{
  TSettingsTempFolder folder;
  const std::string root = folder / "deep/root";
  const char* argv[] = {"/usr/bin/tapevault", "-rootfolder", root.c_str(), "-headless"};
  SetArguments(4, argv);
  InitializeGlobals();
  EXPECT_EQ(RootFolder(), root + "/");
  EXPECT_TRUE(std::filesystem::is_directory(root));
  EXPECT_EQ(ConfigFile().FileName(), root + "/Tapevault.ini");
  EXPECT_FALSE(TSettingsTempFolder::Exists(root + "/Tapevault.ini"));
}

class GlobalSettingsTest : public ::testing::Test
{
protected:
  TSettingsTempFolder fFolder;
  std::string fFile = fFolder / "Tapevault.ini";
};

TEST_F(GlobalSettingsTest, NoFileGivesTheDefaultsAndTheFlushWritesThemInOrder)
{
  TIniFile ini(fFile);
  const TGlobalSettings settings = ReadGlobalSettings(ini);
  EXPECT_EQ(settings.ColumnCount, 1);
  EXPECT_FALSE(settings.VerticalAutoSize);
  EXPECT_TRUE(settings.CloseConfirmation);
  EXPECT_FALSE(settings.WebServerEnabled);
  EXPECT_EQ(settings.Port, "5252");
  EXPECT_EQ(settings.SMTPPort, "25");
  EXPECT_EQ(settings.Encryption, eeNone);
  EXPECT_TRUE(settings.VerifyCertificate);
  EXPECT_TRUE(settings.HTTPAlarmVerifyCertificate);
  EXPECT_EQ(settings.AnonymousAccess, aaNone);
  EXPECT_FALSE(settings.WindowPlacement.has_value());

  WriteGlobalSettings(ini, settings, [](TIniFile& iIni) { iIni.WriteInteger("JACKDevice0", "BufferSize", 0); });
  EXPECT_EQ(TSettingsTempFolder::ReadFile(fFile),
            "[General]\nColumnCount=1\nVerticalAutoSize=0\n\n"
            "[Webserver]\nEnabled=off\nPort=5252\nAdminUser=\nReadOnlyUser=\n"
            "AdminPassword=\nReadOnlyPassword=\nAnonymousAccess=none\n\n"
            "[EMail]\nSMTPServer=\nSMTPPort=25\nUser=\nPassword=\n"
            "FromAddress=\nReceipients=\nEncryption=none\nVerifyCertificate=on\n\n"
            "[JACKDevice0]\nBufferSize=0\n");
}

TEST_F(GlobalSettingsTest, ChoicesAreReadWithCaseAndWrittenAsWords)
{
  struct TCase
  {
    const char* Access;
    const char* Encryption;
    TAnonymousAccess ExpectedAccess;
    TEmailEncryption ExpectedEncryption;
    const char* WrittenAccess;
    const char* WrittenEncryption;
  };
  const TCase cases[] = {
      {"Admin", "STARTTLS", aaAdmin, eeSTARTTLS, "Admin", "STARTTLS"},
      {"ReadOnly", "SSL", aaReadOnly, eeSSL, "ReadOnly", "SSL"},
      {"admin", "ssl", aaNone, eeNone, "none", "none"},
      {"READONLY", "starttls", aaNone, eeNone, "none", "none"},
      {"none", "none", aaNone, eeNone, "none", "none"},
  };
  for (const TCase& c : cases)
  {
    TSettingsTempFolder::WriteFile(fFile, std::string("[Webserver]\nAnonymousAccess=") + c.Access +
                                              "\n[EMail]\nEncryption=" + c.Encryption + "\n");
    TIniFile ini(fFile);
    const TGlobalSettings settings = ReadGlobalSettings(ini);
    EXPECT_EQ(settings.AnonymousAccess, c.ExpectedAccess) << c.Access;
    EXPECT_EQ(settings.Encryption, c.ExpectedEncryption) << c.Encryption;
    WriteGlobalSettings(ini, settings, nullptr);
    EXPECT_EQ(ini.ReadString("Webserver", "AnonymousAccess", ""), c.WrittenAccess);
    EXPECT_EQ(ini.ReadString("EMail", "Encryption", ""), c.WrittenEncryption);
  }
}

TEST_F(GlobalSettingsTest, SwitchTextsOfTheGlobalSections)
{
  const std::tuple<const char*, const char*, bool, bool> cases[] = {
      {"off", "on", false, true}, {"OFF", "On", true, false}, {"no", "1", true, false}};
  // The certificate checks follow the rule of CloseConfirmation: only "off" turns them off.
  for (const auto& [confirmation, enabled, expectedConfirmation, expectedEnabled] : cases)
  {
    TSettingsTempFolder::WriteFile(fFile, std::string("[General]\nCloseConfirmation=") + confirmation +
                                              "\n[Webserver]\nEnabled=" + enabled +
                                              "\n[EMail]\nVerifyCertificate=" + confirmation +
                                              "\n[HTTPAlarms]\nVerifyCertificate=" + confirmation + "\n");
    TIniFile ini(fFile);
    const TGlobalSettings settings = ReadGlobalSettings(ini);
    EXPECT_EQ(settings.CloseConfirmation, expectedConfirmation) << confirmation;
    EXPECT_EQ(settings.WebServerEnabled, expectedEnabled) << enabled;
    EXPECT_EQ(settings.VerifyCertificate, expectedConfirmation) << confirmation;
    EXPECT_EQ(EmailAccount(settings).Certificate.Verify, expectedConfirmation) << confirmation;
    EXPECT_EQ(settings.HTTPAlarmVerifyCertificate, expectedConfirmation) << confirmation;
    WriteGlobalSettings(ini, settings, nullptr);
    EXPECT_EQ(ini.ReadString("General", "CloseConfirmation", ""), confirmation) << "never written";
    EXPECT_EQ(ini.ReadString("HTTPAlarms", "VerifyCertificate", ""), confirmation) << "never written";
    EXPECT_EQ(ini.ReadString("EMail", "VerifyCertificate", ""), expectedConfirmation ? "on" : "off");
  }
}

TEST_F(GlobalSettingsTest, TheHTTPSFilesAreReadAndNeverWritten)
{
  TSettingsTempFolder::WriteFile(fFile, "[Webserver]\nCertificateFile= /etc/tv/cert.pem \nKeyFile=/etc/tv/key.pem\n");
  TIniFile ini(fFile);
  TGlobalSettings settings = ReadGlobalSettings(ini);
  EXPECT_EQ(settings.CertificateFile, "/etc/tv/cert.pem");
  EXPECT_EQ(settings.KeyFile, "/etc/tv/key.pem");
  settings.CertificateFile.clear();
  WriteGlobalSettings(ini, settings, nullptr);
  EXPECT_EQ(ini.ReadString("Webserver", "CertificateFile", ""), "/etc/tv/cert.pem") << "set by hand only";
  EXPECT_EQ(ini.ReadString("Webserver", "KeyFile", ""), "/etc/tv/key.pem");
}

TEST_F(GlobalSettingsTest, AWindowPlacementWithOnlyLeftKeepsTheOtherBounds)
{
  TSettingsTempFolder::WriteFile(fFile, "[MainWindowPosition]\nLeft=120\nTop=abc\n");
  TIniFile ini(fFile);
  TGlobalSettings settings = ReadGlobalSettings(ini);
  ASSERT_TRUE(settings.WindowPlacement.has_value());
  EXPECT_EQ(settings.WindowPlacement->Left, 120);
  EXPECT_FALSE(settings.WindowPlacement->Top.has_value());
  EXPECT_FALSE(settings.WindowPlacement->Width.has_value());
  EXPECT_FALSE(settings.WindowPlacement->Maximized);
  settings.WindowPlacement->Maximized = true;
  WriteGlobalSettings(ini, settings, nullptr);
  EXPECT_EQ(ini.ReadString("MainWindowPosition", "Left", ""), "120");
  EXPECT_EQ(ini.ReadString("MainWindowPosition", "Top", ""), "abc");
  EXPECT_FALSE(ini.ValueExists("MainWindowPosition", "Width"));
  EXPECT_EQ(ini.ReadString("MainWindowPosition", "Maximized", ""), "1");
}

TEST_F(GlobalSettingsTest, SlotCounts)
{
  struct TCase
  {
    const char* Lines;
    int Full;
    int AlarmOnly;
    bool Warned;
  };
  const TCase cases[] = {
      {"", 4, 0, false},
      {"SlotCount=2\nAlarmSlotCount=1\n", 2, 1, false},
      {"SlotCount=0\nAlarmSlotCount=2\n", 0, 2, false},
      {"SlotCount=abc\n", 4, 0, false},
      {"SlotCount=0\n", 4, 0, true},
      {"SlotCount=-1\nAlarmSlotCount=3\n", 4, 0, true},
      {"SlotCount=2\nAlarmSlotCount=-2\n", 4, 0, true},
      {"SlotCount=2147483647\nAlarmSlotCount=1\n", 4, 0, true},
  };
  for (const TCase& c : cases)
  {
    TSettingsTempFolder::WriteFile(fFile, std::string("[General]\n") + c.Lines);
    TIniFile ini(fFile);
    const TSlotCounts counts = ReadSlotCounts(ini);
    EXPECT_EQ(counts.Full, c.Full) << c.Lines;
    EXPECT_EQ(counts.AlarmOnly, c.AlarmOnly) << c.Lines;
    EXPECT_EQ(!counts.Warning.empty(), c.Warned) << c.Lines << counts.Warning;
  }
}
} // namespace
