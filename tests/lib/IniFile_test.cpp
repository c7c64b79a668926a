#include "lib/IniFile.h"
#include "support/SettingsTempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace
{
class IniFileTest : public ::testing::Test
{
protected:
  TSettingsTempFolder fFolder;
  std::string fFile = fFolder / "Tapevault.ini";
};

TEST_F(IniFileTest, MissingFileGivesDefaultsAndTheFirstWriteCreatesIt)
{
  TIniFile ini(fFile);
  EXPECT_EQ(ini.ReadString("General", "Name", "x"), "x");
  EXPECT_EQ(ini.ReadInteger("General", "ColumnCount", 7), 7);
  EXPECT_FALSE(ini.SectionExists("General"));
  ini.UpdateFile();
  EXPECT_FALSE(TSettingsTempFolder::Exists(fFile));
  ini.WriteString("General", "Name", "News");
  EXPECT_EQ(TSettingsTempFolder::ReadFile(fFile), "[General]\nName=News\n");
}

TEST_F(IniFileTest, NamesMatchWithoutCaseAndTheFirstOccurrenceWins)
{
  TSettingsTempFolder::WriteFile(fFile, "[general]\nCOLUMNCOUNT = 3 \nColumnCount=4\n[GENERAL]\nOther=1\n");
  TIniFile ini(fFile);
  EXPECT_EQ(ini.ReadString("General", "columncount", ""), "3");
  EXPECT_TRUE(ini.ValueExists("GeNeRaL", "ColumnCount"));
  EXPECT_FALSE(ini.ValueExists("General", "Other"));
  ini.WriteInteger("General", "ColumnCount", 5);
  EXPECT_EQ(TSettingsTempFolder::ReadFile(fFile), "[general]\nCOLUMNCOUNT=5\nColumnCount=4\n[GENERAL]\nOther=1\n");
}

TEST_F(IniFileTest, IntegerAndBoolReadings)
{
  struct TCase
  {
    const char* Text;
    int32_t Expected;
  };
  const TCase cases[] = {{"12", 12},         {"-5", -5},   {"+7", 7},   {" 42 ", 42},
                         {"12abc", -1},      {"", -1},     {"abc", -1}, {"2147483647", 2147483647},
                         {"2147483648", -1}, {"0x10", -1}, {"1.5", -1}, {"+-3", -1},
                         {"-", -1},          {"- 3", -1}};
  TIniFile ini(fFile);
  for (const TCase& c : cases)
  {
    ini.WriteString("S", "K", c.Text);
    EXPECT_EQ(ini.ReadInteger("S", "K", -1), c.Expected) << "'" << c.Text << "'";
  }
  const std::pair<const char*, bool> bools[] = {{"1", true}, {"0", false}, {"2", true}, {"-1", true}, {"yes", false}};
  for (const auto& [text, expected] : bools)
  {
    ini.WriteString("S", "B", text);
    EXPECT_EQ(ini.ReadBool("S", "B", false), expected) << text;
  }
  ini.WriteBool("S", "B", true);
  EXPECT_EQ(ini.ReadString("S", "B", ""), "1");
}

TEST_F(IniFileTest, ForeignLinesKeepTheirTextAndOrder)
{
  const std::string original = "; written by hand\n"
                               "\n"
                               "[General]\n"
                               "  ColumnCount = 2   \n"
                               "# a note about the next key\n"
                               "Custom=kept as is ; not a comment\n"
                               "\n"
                               "; comment at the end of General\n"
                               "[Slot0]\n"
                               "ExtraSleep=250\n"
                               "junk line without equals\n";
  TSettingsTempFolder::WriteFile(fFile, original);
  TIniFile ini(fFile);
  EXPECT_EQ(ini.ReadString("General", "Custom", ""), "kept as is ; not a comment");
  ini.WriteInteger("General", "ColumnCount", 3);
  ini.WriteString("General", "VerticalAutoSize", "0");
  ini.WriteString("Slot0", "Name", "News");
  ini.WriteString("EMail", "SMTPPort", "25");
  EXPECT_EQ(TSettingsTempFolder::ReadFile(fFile), "; written by hand\n"
                                                  "\n"
                                                  "[General]\n"
                                                  "ColumnCount=3\n"
                                                  "# a note about the next key\n"
                                                  "Custom=kept as is ; not a comment\n"
                                                  "VerticalAutoSize=0\n"
                                                  "\n"
                                                  "; comment at the end of General\n"
                                                  "[Slot0]\n"
                                                  "ExtraSleep=250\n"
                                                  "Name=News\n"
                                                  "junk line without equals\n"
                                                  "\n"
                                                  "[EMail]\n"
                                                  "SMTPPort=25\n");
  ini.DeleteKey("General", "custom");
  ini.DeleteKey("General", "Missing");
  EXPECT_EQ(TSettingsTempFolder::ReadFile(fFile).find("Custom="), std::string::npos);
}

TEST_F(IniFileTest, ByteOrderMarkAndWindowsLineBreaksSurvive)
{
  TSettingsTempFolder::WriteFile(fFile, "\xEF\xBB\xBF[General]\r\nColumnCount=2\r\n");
  TIniFile ini(fFile);
  EXPECT_EQ(ini.ReadInteger("General", "ColumnCount", 0), 2);
  ini.WriteInteger("General", "ColumnCount", 4);
  EXPECT_EQ(TSettingsTempFolder::ReadFile(fFile), "\xEF\xBB\xBF[General]\r\nColumnCount=4\r\n");
}

TEST_F(IniFileTest, WritesReachTheFileAtOnceByReplacingIt)
{
  TSettingsTempFolder::WriteFile(fFile, "[General]\nColumnCount=2\n");
  chmod(fFile.c_str(), 0640);
  struct stat before;
  ASSERT_EQ(stat(fFile.c_str(), &before), 0);
  TIniFile ini(fFile);
  ini.WriteInteger("General", "ColumnCount", 2); // unchanged: the file is left alone
  struct stat unchanged;
  ASSERT_EQ(stat(fFile.c_str(), &unchanged), 0);
  EXPECT_EQ(unchanged.st_ino, before.st_ino);

  ini.WriteInteger("General", "ColumnCount", 3);
  EXPECT_EQ(TIniFile(fFile).ReadInteger("General", "ColumnCount", 0), 3);
  struct stat after;
  ASSERT_EQ(stat(fFile.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino) << "written to a new file and renamed over the old one";
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(fFolder.Path()))
    ++entries;
  EXPECT_EQ(entries, 1u) << "no temporary file left behind";
}

TEST_F(IniFileTest, ALinkedConfigurationStaysALink)
{
  const std::string real = fFolder / "real.ini";
  TSettingsTempFolder::WriteFile(real, "[General]\nColumnCount=2\n");
  std::filesystem::create_symlink(real, fFile);
  TIniFile ini(fFile);
  ini.WriteInteger("General", "ColumnCount", 3);
  EXPECT_TRUE(std::filesystem::is_symlink(fFile));
  EXPECT_EQ(TSettingsTempFolder::ReadFile(real), "[General]\nColumnCount=3\n");
}

TEST_F(IniFileTest, ChangesMadeByOthersAreReadAndKept)
{
  TIniFile ini(fFile);
  ini.WriteString("General", "ColumnCount", "1");
  TSettingsTempFolder::WriteFile(fFile, "[General]\nColumnCount=1\nByHand=yes\n");
  EXPECT_EQ(ini.ReadString("General", "ByHand", ""), "yes");
  ini.WriteString("General", "ColumnCount", "2");
  EXPECT_EQ(TSettingsTempFolder::ReadFile(fFile), "[General]\nColumnCount=2\nByHand=yes\n");
}

TEST_F(IniFileTest, AFailedWriteReportsTheFileAndKeepsTheValue)
{
  TSettingsTempFolder::WriteFile(fFolder / "plain", "not a folder");
  const std::string file = fFolder / "plain/Tapevault.ini";
  TIniFile ini(file);
  try
  {
    ini.WriteString("General", "ColumnCount", "2");
    FAIL() << "no error";
  }
  catch (const EIniFileError& e)
  {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + file);
  }
  EXPECT_EQ(ini.ReadString("General", "ColumnCount", ""), "2");
  EXPECT_THROW(ini.UpdateFile(), EIniFileError);
}

TEST_F(IniFileTest, TextThatCannotBeStoredInALineIsRefused)
{
  TIniFile ini(fFile);
  ini.WriteString("General", "Name", "old");
  EXPECT_THROW(ini.WriteString("General", "Name", "two\nlines"), EIniFileError);
  EXPECT_THROW(ini.WriteString("General", "Name", "carriage\rreturn"), EIniFileError);
  EXPECT_THROW(ini.WriteString("General", "A=B", "x"), EIniFileError);
  EXPECT_THROW(ini.WriteString("General", "", "x"), EIniFileError);
  EXPECT_THROW(ini.WriteString("General", ";Note", "x"), EIniFileError);
  EXPECT_THROW(ini.WriteString("Gen]eral", "Name", "x"), EIniFileError);
  EXPECT_EQ(TSettingsTempFolder::ReadFile(fFile), "[General]\nName=old\n");
}
} // namespace
